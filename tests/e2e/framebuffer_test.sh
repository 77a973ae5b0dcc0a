#!/usr/bin/env bash
# The real program on the framebuffer display: a file-backed framebuffer twice the
# screen's size at 32 bits a pixel, keys written as input events to a pipe, a made-up
# battery. It draws the main screen; Backspace starts an upload that rb, attached to
# port 11's pseudo-terminal, completes; the summary, and after Enter the main screen, are
# on the framebuffer pixel for pixel as the renderer draws them (its pictures come from
# Print Screen). A framebuffer that cannot be opened ends the program at once, in one line.
source "$(dirname "$0")/lib.sh"
command -v rb >/dev/null || fail "lrzsz's rb is not installed (Debian package lrzsz)"
: "${FB_COMPARE:?FB_COMPARE must name the fb_compare program}"

# --- A framebuffer that cannot be opened: status 1 and one sentence, nothing more.
status=0
(cd "$work" && TERMSIM_DISPLAY=fb TERMSIM_FB=$work/none/fb0 TERMSIM_INPUT=/dev/null \
  timeout 20 "$BATTEST" </dev/null >"$work/refused.out" 2>"$work/refused.err") || status=$?
[ "$status" = 1 ] || fail "with no framebuffer battest exited with status $status"
expect_line "$work/refused.err" \
  "termsim: The framebuffer $work/none/fb0 named by TERMSIM_FB cannot be opened: No such file or directory."
[ "$(grep -cv '^termsim: port 11 is' "$work/refused.err")" = 1 ] ||
  { cat "$work/refused.err"; fail "more than the one sentence on the framebuffer"; }

# --- The upload on the framebuffer.
power=$work/power
make_supply "$power" battery Battery present=1 capacity=70 \
  voltage_max=4200000 voltage_min=3400000 voltage_now=3950000
make_supply "$power" AC Mains online=0
in_power_namespace "$power" true  # skips the test where no namespace can be made

mkdir -p "$work/props" "$work/rx" "$work/shots" "$work/run/data"
echo T42 >"$work/props/ro.fac.mach"
printf '14.10.2017 12:00:00 4200000 3400000 3950000 68%% 68%%\r\n' >"$work/run/data/report.txt"
mkfifo "$work/keys"
exec 3<>"$work/keys"  # held open: the program never sees its keys end

export TERMSIM_DISPLAY=fb TERMSIM_FB=$work/fb:660x500:32 TERMSIM_INPUT=$work/keys \
  TERMSIM_SCREENSHOTS=$work/shots TERMSIM_PORT11_LINK=$work/port11
(cd "$work/run" && in_power_namespace "$power" sh -c 'echo $$ >"$0"; exec "$@"' \
  "$work/battest.pid" timeout 120 "$BATTEST" </dev/null >"$work/battest.out" 2>"$work/battest.err") &
job=$!
cleanup_hooks+=("kill \$(cat $work/battest.pid) 2>/dev/null")

# key CODE: the Linux key CODE pressed and let go, as struct input_event records.
time_bytes=$(( $(getconf LONG_BIT) / 4 ))  # struct timeval: two longs
le() {  # le VALUE BYTES: VALUE little-endian, as printf escapes
  local value=$1 bytes=$2 out="" i
  for ((i = 0; i < bytes; i++)); do out+=$(printf '\\%03o' $(( (value >> (8 * i)) & 255 ))); done
  printf '%s' "$out"
}
event() { printf '%s%s%s%s' "$(le 0 "$time_bytes")" "$(le "$1" 2)" "$(le "$2" 2)" "$(le "$3" 4)"; }
key() {
  local records
  records=$(event 1 "$1" 1)$(event 0 0 0)$(event 1 "$1" 0)$(event 0 0 0)
  printf "$records" >&3
}
KEY_BACKSPACE=14 KEY_ENTER=28 KEY_SYSRQ=99

# shoot: Print Screen; waits for the picture; $shot is its path without .png.
shots=0
shoot() {
  shots=$((shots + 1))
  key $KEY_SYSRQ
  shot=$work/shots/screen-$shots
  for _ in $(seq 300); do
    [ -e "$shot.png" ] && return
    kill -0 "$job" 2>/dev/null || { cat "$work/battest.err"; fail "battest ended"; }
    sleep 0.1
  done
  fail "no screenshot $shot.png"
}
# shown LINE: takes pictures until one shows LINE (a whole line of its text), then checks that
# the framebuffer holds that picture. The clock may turn between the picture and the
# check: a second picture then decides.
shown() {
  for _ in $(seq 200); do
    shoot
    if grep -qxF -- "$1" "$shot.txt"; then
      "$FB_COMPARE" "$TERMSIM_FB" "$shot.png" && return
      shoot
      "$FB_COMPARE" "$TERMSIM_FB" "$shot.png" || fail "the framebuffer differs from $shot.png"
      return
    fi
    sleep 0.2
  done
  fail "the screen never showed '$1'"
}

wait_until test -e "$TERMSIM_PORT11_LINK" || fail "port 11's pseudo-terminal did not appear"
shown "РЕЖИМ: БАТАРЕЯ"
expect_line "$shot.txt" "KELDRAN Oct 14 2017"
expect_line "$shot.txt" "3950000"
cp "$work/run/data/report.txt" "$work/sent.txt"

(cd "$work/rx" && exec timeout 90 rb <"$TERMSIM_PORT11_LINK" >"$TERMSIM_PORT11_LINK" 2>"$work/rb.err") &
rb_pid=$!
cleanup_hooks+=("kill $rb_pid 2>/dev/null")
key $KEY_BACKSPACE
rb_status=0
wait "$rb_pid" || rb_status=$?
[ "$rb_status" = 0 ] || { cat "$work/rb.err"; fail "rb exited with status $rb_status"; }

shown "ВЫГРУЖЕНО 1 ФАЙЛОВ"
expect_line "$shot.txt" "USB СОЕДИНЕНИЕ"
received=$(ls "$work/rx")
cmp "$work/sent.txt" "$work/rx/$received" || fail "the received file differs from the log"

key $KEY_ENTER
shown 0  # the main screen, refreshed: the log's size
expect_line "$shot.txt" "KELDRAN Oct 14 2017"
[ "$(grep -A1 -xF '[UPLOAD]' "$shot.txt" | tail -n 1)" = 0 ] ||
  { cat "$shot.txt"; fail "the log size does not read 0 after the upload"; }
[ ! -e "$work/run/data/report.txt" ] || fail "the log was not deleted"

kill "$(cat "$work/battest.pid")"
wait "$job" || true
echo "framebuffer: ok"
