#!/usr/bin/env bash
# board_uploads.sh OUTDIR [N]: N uploads (default 30) of a day's log on the emulated ARM
# board (scripts/board-lib.sh), one after the other, to lrzsz's rb on the PC's side of
# the board's USB gadget link: rb started before UPLOAD in every other upload, and after
# the program has opened its port in the others. For each it counts rb's time-outs
# waiting for a block (a block lost to rb's clearing of its input), and with the
# receiver's clock (bench/receiver_clock.cpp, built for the board) loaded into rb it
# times how long rb took from writing each answer to clearing its input.
# Writes OUTDIR/console.log, rb-I.err for each upload, clock.txt, port11.trace (the
# program's trace of its port) and figures.txt.
# Exit status 0 when every upload arrived whole, 1 otherwise, 77 when the board's
# packages are missing. BOARD_BATTEST: the armhf battest (default
# build-arm-release/battest, built when missing); BOARD_CXX: the armhf C++ compiler
# (default arm-linux-gnueabihf-g++).
set -euo pipefail
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: bench/board_uploads.sh OUTDIR [N]" >&2; exit 2; }
source "$(dirname "$0")/../scripts/board-lib.sh"
uploads=${2:-30}
if ! missing=$(board_missing); then
  echo "board_uploads: skipped: missing Debian packages: $missing" >&2
  exit 77
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
share=$out/share
rm -rf "$share" "$out"/rb-*.err "$out/clock.txt" "$out/figures.txt" "$out/console.log"
mkdir -p "$share/ctl"
: >"$share/port11.trace"  # the program's trace of port 11, kept as OUTDIR/port11.trace
fail() { echo "board_uploads: $*" >&2; exit 1; }

battest=${BOARD_BATTEST:-$board_repo/build-arm-release/battest}
if [ ! -x "$battest" ]; then
  (cd "$board_repo" && cmake --preset arm-release >/dev/null &&
    cmake --build --preset arm-release --target battest) || fail "cannot build the armhf battest"
fi
board=$(dirname "$battest")/board
board_build "$battest" "$board" || fail "cannot make the board's initramfs"
"${BOARD_CXX:-arm-linux-gnueabihf-g++}" -std=c++17 -O2 -shared -fPIC -Wl,--as-needed \
  -o "$share/receiver_clock.so" "$board_repo/bench/receiver_clock.cpp" -ldl ||
  fail "cannot build the receiver's clock for the board"
# A day of battery log lines, as the program writes them; put back before each upload.
for ((i = 0; i < 144; i++)); do
  printf '14.10.2017 %02d:%02d:00 4200000 3400000 %d %d%% %d%%\r\n' \
    $((i / 6)) $((i % 6 * 10)) $((4190000 - i * 1000)) $((98 - i / 4)) $((98 - i / 4))
done >"$share/report.txt"

private=$(mktemp -d)
qemu_pid=
trap '[ -z "$qemu_pid" ] || kill "$qemu_pid" 2>/dev/null || true; rm -rf "$private"' EXIT
monitor=$private/monitor
mapfile -t args < <(board_qemu_args "$board" "$share" test)
qemu-system-arm "${args[@]}" -display none \
  -chardev "file,id=console,path=$out/console.log" -serial chardev:console \
  -monitor "unix:$monitor,server=on,wait=off" </dev/null >"$out/qemu.log" 2>&1 &
qemu_pid=$!

alive() { kill -0 "$qemu_pid" 2>/dev/null || fail "the emulator has ended (see $out/qemu.log)"; }
# key NAME: a key pressed and let go on the board's keyboard.
key() {
  alive
  printf 'sendkey %s\n' "$1" | socat -t 5 - "UNIX-CONNECT:$monitor" >/dev/null 2>&1 ||
    fail "the monitor did not take a key"
}
# wait_file PATH TENTHS: until PATH exists, at most TENTHS tenths of a second.
wait_file() {
  local n=0
  until [ -e "$1" ]; do
    n=$((n + 1)); [ $n -le "$2" ] || return 1
    alive
    sleep 0.1
  done
}
# board_sh SCRIPT: runs SCRIPT in the board's shell and waits for it (2 minutes at most);
# its status is the function's, its output in $share/ctl/N.out.
commands=0
board_sh() {
  commands=$((commands + 1))
  printf '%s\n' "$1" >"$share/ctl/$commands.sh.part"
  mv "$share/ctl/$commands.sh.part" "$share/ctl/$commands.sh"
  wait_file "$share/ctl/$commands.rc" 1200 || fail "the board did not carry out: $1"
  return "$(cat "$share/ctl/$commands.rc")"
}
# shows TEXT...: Print Screen until the program's picture has a line that is one of the
# TEXTs (a minute at most).
shots=0
shows() {
  local tries text
  for tries in $(seq 60); do
    shots=$((shots + 1))
    key print
    wait_file "$share/shots/screen-$shots.txt" 50 || { shots=$((shots - 1)); continue; }
    for text in "$@"; do grep -qxF -- "$text" "$share/shots/screen-$shots.txt" && return 0; done
    sleep 0.5
  done
  return 1
}

n=0
until grep -q 'board: ready for commands' "$out/console.log" 2>/dev/null; do
  n=$((n + 1)); [ $n -le 1800 ] || fail "the board did not come up within 180 s"
  alive
  sleep 0.1
done
shows "KELDRAN Oct 14 2017" || fail "the main screen never showed"

# rb on the PC's side of the link, in the background; /share/rb-I.done gets its status,
# its start and end (the board's uptime) and whether the file arrived as the log.
rb_script() {
  echo "rm -rf /rx && mkdir /rx && cd /rx &&
    (read a b </proc/uptime
     LD_PRELOAD=/share/receiver_clock.so RECEIVER_CLOCK_LOG=/share/clock.txt \
       rb -v -t 20 </dev/ttyACM0 >/dev/ttyACM0 2>/share/rb-$1.err; s=\$?
     read c d </proc/uptime; same=0; cmp -s /rx/* /share/report.txt && same=1
     echo \"\$s \$a \$c \$same\" >/share/rb-$1.part; mv /share/rb-$1.part /share/rb-$1.done) &"
}
opened='pid=$(pidof battest) && n=0 &&
  until ls -l /proc/$pid/fd 2>/dev/null | grep -q /dev/ttyGS0; do
    n=$((n + 1)); [ $n -le 150 ] || exit 1; sleep 0.1
  done'

passed=0
: >"$out/uploads.txt"
for i in $(seq "$uploads"); do
  board_sh 'cp /share/report.txt /run/battest/data/report.txt' || fail "upload $i: no log put back"
  if [ $((i % 2)) = 1 ]; then
    board_sh "$(rb_script "$i")" || fail "upload $i: rb did not start"
    sleep 1
    key backspace
  else
    key backspace
    board_sh "$opened && $(rb_script "$i")" || fail "upload $i: the program did not open its port"
  fi
  wait_file "$share/rb-$i.done" 1800 || fail "upload $i: rb did not end within 180 s"
  read -r status start end same <"$share/rb-$i.done"
  cp "$share/rb-$i.err" "$out/rb-$i.err"
  timeouts=$(tr '\r' '\n' <"$out/rb-$i.err" | grep -c TIMEOUT || true)
  [ "$status $same" = "0 1" ] && passed=$((passed + 1))
  awk -v i="$i" -v s="$status" -v same="$same" -v a="$start" -v c="$end" -v t="$timeouts" \
    -v first=$([ $((i % 2)) = 1 ] && echo before || echo after) 'BEGIN {
    printf "upload %d (rb started %s UPLOAD): rb status %d, file %s, %.2f s, rb time-outs %d\n",
      i, first, s, same ? "whole" : "NOT whole", c - a, t }' | tee -a "$out/uploads.txt"
  # Back to the main screen for the next upload, from the summary or the error screen
  # (not from the wait screen, whose title is the summary's: Enter there is lost).
  shows "ВЫГРУЖЕНО 1 ФАЙЛОВ" "ОШИБКА" || fail "upload $i: no summary shown"
  key ret
  shows "KELDRAN Oct 14 2017" || fail "upload $i: the main screen did not come back"
done
cp "$share/clock.txt" "$out/clock.txt" 2>/dev/null || : >"$out/clock.txt"
cp "$share/port11.trace" "$out/port11.trace"

{
  echo "uploads: $passed of $uploads arrived whole with rb ending well (status 0)"
  awk '{ t += $(NF) } END { printf "rb'"'"'s time-outs waiting for a block: %d in all\n", t }' "$out/uploads.txt"
  awk '{ print ($4 - $1) / 1000 }' "$out/clock.txt" | sort -g | awk '
    { v[NR] = $1 } END {
      if (NR == 0) { print "rb'"'"'s answers: none timed"; exit }
      p99 = int(NR * 0.99 + 0.5); if (p99 < 1) p99 = 1
      printf "rb from writing an answer to clearing its input: median %.1f us, 99th percentile %.1f us, largest %.1f us (%d answers)\n",
        v[int((NR + 1) / 2)], v[p99], v[NR], NR }'
  awk '$5 > 0 { n++ } END { printf "answers whose clearing threw bytes away: %d\n", n + 0 }' "$out/clock.txt"
} | tee "$out/figures.txt"
[ "$passed" = "$uploads" ]
