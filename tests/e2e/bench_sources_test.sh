#!/usr/bin/env bash
# The run command's battery sources. The laptop source on a made-up PC with a battery
# BAT0 and a mains supply: the main screen shows BAT0's voltage between its design
# limits. The source chosen without an option, and bad options refused. The simulated
# battery from full to empty at 3600 times: a log line every 10 minutes above 40 % and
# every minute at or below by the log's own clock, and a voltage that never rises.
source "$(dirname "$0")/lib.sh"
run=$(cd "$(dirname "$0")/../.." && pwd)/scripts/run
export BATTEST TERMSIM_PORT11_LINK=$work/port11

# A PC's power supplies as the kernel shows them: entries linking into a device tree.
pc=$work/pc
make_supply "$pc/devices" BAT0 Battery present=1 capacity=60 status=Discharging \
  voltage_now=11800000 voltage_min_design=10800000 voltage_max_design=12600000
make_supply "$pc/devices" AC Mains online=0
mkdir -p "$pc/class"
ln -s "$pc/devices/BAT0" "$pc/class/BAT0"
ln -s "$pc/devices/AC" "$pc/class/AC"

# --- The laptop source, asked for, then chosen without an option.
mkdir -p "$work/laptop"
(cd "$work/laptop" && printf 'waitfor 30000 11800000\nscreen\n' |
  in_power_namespace "$pc/class" "$run" --battery=laptop >"$work/laptop.out" 2>"$work/laptop.err") ||
  { cat "$work/laptop.err"; fail "the laptop source did not run"; }
expect_line "$work/laptop.out" "Battery: laptop (asked for)"
expect_line "$work/laptop.out" "Maximum voltage from BAT0's design value."
# A bench without a terminal model gives its terminal one, for the uploads' names.
expect_line "$work/laptop.out" "Terminal model: BENCH, set in $TERMSIM_PROPS/ro.fac.mach (echo MODEL > that file for another)."
[ "$(cat "$TERMSIM_PROPS/ro.fac.mach")" = BENCH ] || fail "no model BENCH in the property store"
last_screen "$work/laptop.out" >"$work/laptop.screen"
expect_line "$work/laptop.screen" "РЕЖИМ: БАТАРЕЯ"
# Maximum, present and minimum voltage, in that order.
[ "$(grep -xE '[0-9]{7,8}' "$work/laptop.screen" | tr '\n' ' ')" = "12600000 11800000 10800000 " ] ||
  { cat "$work/laptop.screen"; fail "the screen does not show BAT0 between its design limits"; }
expect_line "$work/laptop.screen" "55%"
(cd "$work/laptop" && printf 'screen\n' | in_power_namespace "$pc/class" "$run" >"$work/auto.out" 2>&1)
[ "$(head -n 1 "$work/auto.out")" = "Battery: laptop (this PC has a battery, BAT0, and no terminal's battery files)" ] ||
  { cat "$work/auto.out"; fail "the laptop source was not chosen for a PC with a battery"; }

# --- Bad options: a clear message and a non-zero status, nothing started.
refused() {  # MESSAGE ARGS...
  local message=$1 status=0
  shift
  (cd "$work/laptop" && in_power_namespace "$work/nothing" "$run" "$@" </dev/null >"$work/bad.out" 2>&1) ||
    status=$?
  [ "$status" = 2 ] || { cat "$work/bad.out"; fail "'$*' gave status $status, not 2"; }
  expect_text "$work/bad.out" "$message"
}
mkdir -p "$work/nothing"

# --- The machine's own supplies asked for where there is no battery: said in one line.
(cd "$work/laptop" && printf 'screen\n' |
  in_power_namespace "$work/nothing" "$run" --battery=real >"$work/real.out" 2>&1) ||
  { cat "$work/real.out"; fail "the real source did not run"; }
expect_text "$work/real.out" "Nothing at /sys/class/power_supply/battery: the program will show and log 0 V"

# --- Help: the usage and what each option does, on standard output, status 0.
"$run" --help >"$work/help.out" 2>&1 || fail "--help gave status $?"
expect_line "$work/help.out" "usage: $run [--battery=real|laptop|sim] [--scale=N] [--scenario=FILE]"
expect_text "$work/help.out" "--scenario=FILE    timed events for the simulated battery"

refused "--battery=solar: not a battery source (real, laptop or sim)" --battery=solar
refused "--battery=laptop: this PC has no battery" --battery=laptop
refused "--scale=6O: expected a whole number of times faster" --scale=6O
refused "--scale=0: expected a whole number" --scale=0
printf 'at 1h unplug\nat noon plug\n' >"$work/bad-scenario"
refused "TERMSIM_BATTERY_SCENARIO=$work/bad-scenario: line 2: expected" --battery=sim "--scenario=$work/bad-scenario"
refused "--scenario=$work/nothing: not a regular file" --battery=sim "--scenario=$work/nothing"

# --- The simulated battery from full to empty, ten hours in ten seconds.
mkdir -p "$work/sim"
(cd "$work/sim" && printf 'wait 11000\n' |
  in_power_namespace "$work/nothing" "$run" --battery=sim --scale=3600 >"$work/sim.out" 2>"$work/sim.err") ||
  { cat "$work/sim.err"; fail "the simulated battery did not run"; }
expect_line "$work/sim.out" "Battery: sim (asked for), time 3600 times faster"
log=$work/sim/data/report.txt
# At this scale a millisecond of real time is 3.6 s of the program's: the program
# decides on a line by its ticks and reads the clock for the stamp a moment later, so a
# line held back there (a busy machine) has a stamp late by that moment, its gap long and
# the next one short by as much. So most gaps, not all, must be the cadence's, and a gap
# shorter than its cadence must follow one longer by as much: the two together are not
# shorter than their two cadences; the first gap, whose first line's lateness no earlier
# gap shows, may be short by any amount. The program may write its first lines before the
# monitor's first reading: voltage 0, no voltage at all, at the ten-minute cadence.
# After a reading none may say 0.
awk '
  function short(name, cadence) {
    if (gap >= cadence - 10 || NR == 2) return
    if (gap + prev_gap >= cadence + prev_cadence - 10) return
    print "line " NR ": " gap " s, " name ", after a gap of " prev_gap " s"; bad = 1
  }
  { split($2, t, ":"); if (NR > 1 && $1 != day) offset += 86400; s = offset + t[1] * 3600 + t[2] * 60 + t[3] }
  { unread = !read_once && $5 + 0 == 0 }
  $5 + 0 == 0 && read_once { print "line " NR ": no voltage after a reading"; bad = 1 }
  $5 + 0 != 0 { read_once = 1 }
  NR > 1 {
    gap = s - last
    cadence = gap >= 590 ? 600 : 60  # where the battery crossed 40 %: either
    if (prev_unread) {
      cadence = 600; short("under 10 minutes after a line before the first reading", 600)
    } else if (prev_filtered + 0 > 40 && $7 + 0 > 40) {
      cadence = 600; short("under 10 minutes", 600)
      high++; if (gap <= 700) high_on_time++
    }
    if (prev_now + 0 != 0 && prev_filtered + 0 <= 40) {
      cadence = 60; short("under a minute", 60)
      low++; if (gap <= 90) low_on_time++
    }
    if (prev_now + 0 != 0 && $5 + 0 > prev_now + 0) { print "line " NR ": the voltage rose to " $5; bad = 1 }
  }
  { last = s; prev_gap = gap; prev_cadence = cadence; prev_filtered = $7; prev_now = $5; prev_unread = unread; day = $1 }
  END {
    printf "%d gaps above 40 %%, %d of them about 10 min; %d at 40 %% or less, %d of them about 1 min\n", high, high_on_time, low, low_on_time
    if (high < 30 || high_on_time < 0.8 * high) bad = 1
    if (low < 150 || low_on_time < 0.8 * low) bad = 1
    exit bad
  }
' "$log" >"$work/sim.check" || { cat "$work/sim.check"; head -n 5 "$log"; fail "the simulated discharge's log is off"; }
cat "$work/sim.check"
tail -n 1 "$log" | grep -q ' 3400000 0% 0%' || { tail -n 3 "$log"; fail "the battery did not end empty"; }
echo "bench sources: ok ($(wc -l <"$log") log lines over the simulated discharge)"
