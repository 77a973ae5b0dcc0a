#!/usr/bin/env bash
# The whole upload through the real program: UPLOAD sends the battery log over port 11
# (a pseudo-terminal) to lrzsz's rb, the summary tells of it, the log is gone and the
# xcb property is back; and with no receiver, a cancel ends in the error summary with
# the log untouched.
source "$(dirname "$0")/lib.sh"
command -v rb >/dev/null || fail "lrzsz's rb is not installed (Debian package lrzsz)"

model=T42
mkdir -p "$work/props" "$work/rx"
echo "$model" >"$work/props/ro.fac.mach"
echo 1 >"$work/props/persist.sys.xcb.enable"

# start_battest DIR: battest in DIR with its input and output on the coprocess BT.
start_battest() {
  export TERMSIM_PORT11_LINK=$work/port11
  rm -f "$TERMSIM_PORT11_LINK"
  coproc BT { cd "$1" && exec timeout 120 "$BATTEST" 2>"$work/battest.err"; }
  bt_pid=$BT_PID
  cleanup_hooks+=("kill $bt_pid 2>/dev/null")
  bt_in=${BT[1]}
  bt_out=${BT[0]}
}
say() { printf '%s\n' "$@" >&$bt_in; }
# screen_now OUT: asks for the screen and waits until battest has printed it.
screen_now() {
  say "screen"
  : >"$1"
  local line
  while IFS= read -r -t 90 line <&$bt_out; do
    [ "$line" = "--" ] && return
    printf '%s\n' "$line" >>"$1"
  done
  fail "battest printed no screen"
}
# finish_battest OUT: ends battest's input and collects everything it printed.
finish_battest() {
  eval "exec $bt_in>&-"
  cat <&$bt_out >"$1"
  local status=0
  wait "$bt_pid" || status=$?
  [ "$status" = 0 ] || fail "battest exited with status $status"
}
wait_for_port() {
  for _ in $(seq 100); do [ -e "$TERMSIM_PORT11_LINK" ] && return; sleep 0.1; done
  fail "port 11's pseudo-terminal did not appear"
}

# --- A successful upload to rb.
dir=$work/ok
mkdir -p "$dir/data"
printf '14.10.2017 12:00:00 4200000 3400000 3800000 50%% 50%%\r\n' >"$dir/data/report.txt"
head -c 3000 /dev/urandom | base64 >>"$dir/data/report.txt"

start_battest "$dir"
say "wait 300"
screen_now "$work/first.screen"
# The first refresh has added its line by now; this is the log the upload sends.
cp "$dir/data/report.txt" "$work/sent.txt"
size=$(stat -c %s "$work/sent.txt")
say "key 8"
wait_for_port
(cd "$work/rx" && exec timeout 90 rb <"$TERMSIM_PORT11_LINK" >"$TERMSIM_PORT11_LINK" 2>"$work/rb.err") &
rb_pid=$!
cleanup_hooks+=("kill $rb_pid 2>/dev/null")
say "waitfor 60000 ВЫГРУЖЕНО 1 ФАЙЛОВ"
screen_now "$work/summary.screen"
say "key 13" "wait 500"
screen_now "$work/main.screen"
finish_battest "$work/ok.out"
rb_status=0
wait "$rb_pid" || rb_status=$?
[ "$rb_status" = 0 ] || { cat "$work/rb.err"; fail "rb exited with status $rb_status"; }

expect_line "$work/summary.screen" "USB СОЕДИНЕНИЕ"
received=$(ls "$work/rx")
[[ $received =~ ^r_${model}_[0-9]{12}\.txt$ ]] || fail "unexpected remote name '$received'"
expect_line "$work/summary.screen" "ВЫГРУЖЕН $size БАЙТ: $received"
expect_line "$work/summary.screen" "ВЫГРУЖЕНО 1 ФАЙЛОВ"
cmp "$work/sent.txt" "$work/rx/$received" || fail "the received file differs from the log"
[ ! -e "$dir/data/report.txt" ] || fail "the log was not deleted"
expect_line "$work/main.screen" "KELDRAN Oct 14 2017"
[ "$(grep -A1 -xF '[UPLOAD]' "$work/main.screen" | tail -n 1)" = 0 ] ||
  { cat "$work/main.screen"; fail "the log size does not read 0 after the upload"; }
[ "$(cat "$work/props/persist.sys.xcb.enable")" = 1 ] || fail "persist.sys.xcb.enable was not restored"
[ ! -e /tmp/msg.tmp ] || fail "the message file was left behind"

# --- No receiver: cancel during the wait gives the error summary and keeps the log.
dir=$work/cancel
mkdir -p "$dir/data"
cp "$work/sent.txt" "$dir/data/report.txt"
start_battest "$dir"
say "wait 300"
screen_now "$work/first.screen"
cp "$dir/data/report.txt" "$work/kept.txt"
say "key 8" "wait 1000" "key 27" "waitfor 40000 ОШИБКА"
screen_now "$work/cancel.screen"
finish_battest "$work/cancel.out"
expect_line "$work/cancel.screen" "ОШИБКА"
expect_text "$work/cancel.screen" "СБОЙ -5 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)"
cmp "$work/kept.txt" "$dir/data/report.txt" || fail "the log changed after a failed upload"
[ "$(cat "$work/props/persist.sys.xcb.enable")" = 1 ] || fail "persist.sys.xcb.enable was not restored"
echo "upload: ok"
