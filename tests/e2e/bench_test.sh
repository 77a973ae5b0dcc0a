#!/usr/bin/env bash
# The battery bench as a person uses it, in a terminal (tmux): the run command with the
# simulated battery at 600 times. The voltage falls, the mode reaches РАЗРЯЖЕНО, the
# indicator turns to the low colour and log lines come a minute apart by the log's
# clock; the mains key gives ВНЕШНЕЕ ПИТАНИЕ; Backspace uploads the log to rb attached
# at the path the screen shows; Ctrl-C ends the program and gives the terminal back.
source "$(dirname "$0")/lib.sh"
command -v tmux >/dev/null || fail "tmux is not installed (Debian package tmux)"
command -v rb >/dev/null || fail "lrzsz's rb is not installed (Debian package lrzsz)"
run=$(cd "$(dirname "$0")/../.." && pwd)/scripts/run
export BATTEST

# Six minutes short of the low mark: 48 % of a ten-hour battery, 40 % 48 min later.
printf 'at 0 charge 48%%\n' >"$work/scenario"
dir=$work/bench
mkdir -p "$dir" "$work/rx" "$work/props"
in_power_namespace "$work/rx" true  # skips here when no namespace can be made
in_tmux bench "$dir" "$run" --battery=sim --scale=600 "--scenario=$work/scenario"
pane_shows bench "KELDRAN Oct 14 2017"
pane_shows bench "F2: mains"
pane_shows bench "РЕЖИМ: РАЗРЯЖЕНО"
# The status line (the first row) has the indicator's fill in the low colour, 0xF800.
indicator_low() { tmux_cmd capture-pane -e -p -t bench | head -n 1 | grep -qF '48;2;255;0;0'; }
wait_until indicator_low || fail "the indicator is not in the low colour"
# Some twenty minutes of the program's time at the low cadence.
log=$dir/data/report.txt
low_lines() { [ "$(awk '$5 + 0 != 0 && $7 + 0 <= 40' "$log" | wc -l)" -ge 20 ]; }
wait_until low_lines || { cat "$log"; fail "no twenty log lines at 40 % or less"; }
awk '
  { split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3]; if (s < last) s += 86400 }
  NR > 1 && $7 + 0 <= 40 && prev + 0 <= 40 { gaps++; if (s - last >= 50 && s - last <= 90) minute++ }
  NR > 1 && $5 + 0 < now + 0 { fell = 1 }
  { last = s; prev = $7; now = $5 }
  END { if (!fell || gaps < 5 || minute < 0.8 * gaps) { print "fell " fell ", " minute " of " gaps " gaps a minute"; exit 1 } }
' "$log" || { cat "$log"; fail "the log does not show a falling voltage at the one-minute cadence"; }

tmux_cmd send-keys -t bench F2
pane_shows bench "РЕЖИМ: ВНЕШНЕЕ ПИТАНИЕ"

# rb at the path the screen shows, started first; then Backspace.
link=$(tmux_cmd capture-pane -p -t bench | grep -o 'rb <[^ ]*' | head -n 1 | cut -c5-)
[ -n "$link" ] && [ -e "$link" ] || { tmux_cmd capture-pane -p -t bench; fail "the screen shows no port to attach to"; }
start_rb_traced bench "$work/rx" "$link"
wait_until rb_asked bench || fail "rb never asked for a file"
cp "$log" "$work/before-upload.txt"
tmux_cmd send-keys -t bench BSpace
pane_shows bench "ВЫГРУЖЕНО 1 ФАЙЛОВ"
wait "$rb_pid" || { cat "$work/bench.rb.err"; fail "rb failed"; }
received=$(ls "$work/rx")
# The refresh that takes the key may add a line before the upload starts.
cmp -n "$(stat -c %s "$work/before-upload.txt")" "$work/before-upload.txt" "$work/rx/$received" ||
  fail "the received file is not the log"
[ "$(( $(wc -l <"$work/rx/$received") - $(wc -l <"$work/before-upload.txt") ))" -le 1 ] ||
  fail "the received file is not the log as it was at UPLOAD"
tmux_cmd send-keys -t bench Enter

tmux_cmd send-keys -t bench C-c
[ "$(exit_status bench)" = 0 ] || fail "the program did not end with status 0"
terminal_given_back bench
echo "bench: ok"
