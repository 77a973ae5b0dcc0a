#!/usr/bin/env bash
# The whole upload through the real program: UPLOAD sends the battery log over port 11
# (a pseudo-terminal) to lrzsz's rb, started before UPLOAD or after it; the summary
# tells of it, the log is gone and the xcb property is back. A receiver that asked and
# then went away ends in the time-out summary, and with no receiver a cancel ends in the
# error summary; the log stays untouched both times.
source "$(dirname "$0")/lib.sh"
command -v rb >/dev/null || fail "lrzsz's rb is not installed (Debian package lrzsz)"

model=T42
mkdir -p "$work/props"
echo "$model" >"$work/props/ro.fac.mach"
echo 1 >"$work/props/persist.sys.xcb.enable"

# new_run NAME: a working directory $dir with a log of about 2 KB, and battest started
# in it; $work/NAME.sent is the log as the upload will find it.
new_run() {
  dir=$work/$1
  mkdir -p "$dir/data"
  printf '14.10.2017 12:00:00 4200000 3400000 3800000 50%% 50%%\r\n' >"$dir/data/report.txt"
  head -c 1500 /dev/urandom | base64 >>"$dir/data/report.txt"
  start_battest "$dir"
  say "wait 300"
  screen_now "$work/$1.first"
  # The first refresh has added its line by now; this is the log the upload sends.
  cp "$dir/data/report.txt" "$work/$1.sent"
}
# start_rb NAME: rb on port 11 in a directory of its own, $work/NAME.rx.
start_rb() {
  mkdir -p "$work/$1.rx"
  start_rb_traced "$1" "$work/$1.rx" "$TERMSIM_PORT11_LINK"
}
# expect_uploaded NAME: the summary, the received file and what is left after a success.
expect_uploaded() {
  local screen=$work/$1.summary received
  expect_line "$screen" "USB СОЕДИНЕНИЕ"
  received=$(ls "$work/$1.rx")
  [[ $received =~ ^r_${model}_[0-9]{12}\.txt$ ]] || fail "unexpected remote name '$received'"
  expect_line "$screen" "ВЫГРУЖЕН $(stat -c %s "$work/$1.sent") БАЙТ: $received"
  expect_line "$screen" "ВЫГРУЖЕНО 1 ФАЙЛОВ"
  cmp "$work/$1.sent" "$work/$1.rx/$received" || fail "the received file differs from the log"
  [ ! -e "$dir/data/report.txt" ] || fail "the log was not deleted"
  local status=0
  wait "$rb_pid" || status=$?
  [ "$status" = 0 ] || { cat "$work/$1.rb.err"; fail "rb exited with status $status"; }
}
expect_property_restored() {
  [ "$(cat "$work/props/persist.sys.xcb.enable")" = 1 ] || fail "persist.sys.xcb.enable was not restored"
}

# --- rb started first, as the README says: it has asked before UPLOAD and is answered.
new_run first
start_rb first
wait_until rb_asked first || fail "rb never asked for a file"
start=$(now_ms)
say "key 8" "waitfor 60000 ВЫГРУЖЕНО 1 ФАЙЛОВ"
screen_now "$work/first.summary"
echo "rb started first: summary $(( $(now_ms) - start )) ms after UPLOAD"
say "key 13" "wait 500"
screen_now "$work/first.main"
finish_battest "$work/first.out"
expect_uploaded first
expect_line "$work/first.main" "KELDRAN Oct 14 2017"
[ "$(grep -A1 -xF '[UPLOAD]' "$work/first.main" | tail -n 1)" = 0 ] ||
  { cat "$work/first.main"; fail "the log size does not read 0 after the upload"; }
expect_property_restored
[ ! -e "$message_file" ] || fail "the message file was left behind"

# --- rb started a second after UPLOAD.
new_run later
start=$(now_ms)
say "key 8" "wait 1000"
screen_now "$work/later.wait"
start_rb later
say "waitfor 60000 ВЫГРУЖЕНО 1 ФАЙЛОВ"
screen_now "$work/later.summary"
echo "rb started after UPLOAD: summary $(( $(now_ms) - start )) ms after UPLOAD"
finish_battest "$work/later.out"
expect_uploaded later
expect_property_restored

# --- rb asked, then went away before UPLOAD: block 0 goes unanswered, the time-out.
new_run gone
start_rb gone
wait_until rb_asked gone || fail "rb never asked for a file"
kill "$rb_pid"
wait "$rb_pid" 2>/dev/null || true
say "key 8" "waitfor 60000 ОШИБКА"
screen_now "$work/gone.summary"
finish_battest "$work/gone.out"
expect_line "$work/gone.summary" "ОШИБКА"
expect_text "$work/gone.summary" "СБОЙ -3 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)"
cmp "$work/gone.sent" "$dir/data/report.txt" || fail "the log changed after a failed upload"
expect_property_restored

# --- No receiver: cancel during the wait gives the error summary and keeps the log.
new_run cancel
say "key 8" "wait 1000" "key 27" "waitfor 40000 ОШИБКА"
screen_now "$work/cancel.summary"
finish_battest "$work/cancel.out"
expect_line "$work/cancel.summary" "ОШИБКА"
expect_text "$work/cancel.summary" "СБОЙ -5 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)"
cmp "$work/cancel.sent" "$dir/data/report.txt" || fail "the log changed after a failed upload"
expect_property_restored
echo "upload: ok"
