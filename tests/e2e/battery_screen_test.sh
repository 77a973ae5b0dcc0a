#!/usr/bin/env bash
# The live main screen, the indicator and the battery log over a made-up power supply.
source "$(dirname "$0")/lib.sh"

battery_tree() {  # TREE MAINS_ONLINE
  make_supply "$1" battery Battery present=1 capacity=50 \
    voltage_max=4200000 voltage_min=3400000 voltage_now=3800000
  make_supply "$1" AC Mains online="$2"
}

# On battery: 3.8 V between 3.4 V and 4.2 V is 50 %, which the display curve shows as 5 %.
battery_tree "$work/on-battery" 0
mkdir -p "$work/run1"
(cd "$work/run1" && printf 'waitfor 30000 3800000\nwait 600\nscreen\n' |
  in_power_namespace "$work/on-battery" timeout 60 "$BATTEST" >"$work/battery.out" 2>"$work/battery.err")
last_screen "$work/battery.out" >"$work/battery.screen"
for line in "РЕЖИМ: БАТАРЕЯ" 4200000 3800000 3400000 50% 5%; do
  expect_line "$work/battery.screen" "$line"
done
[ "$(grep -cxF '50%' "$work/battery.screen")" = 2 ] || fail "linear and filtered percent should both read 50%"
grep -qE '^status: .* \| 5$' "$work/battery.screen" || { cat "$work/battery.screen"; fail "indicator does not show 5"; }

log=$work/run1/data/report.txt
[ -f "$log" ] || fail "no battery log after the first refresh"
[ "$(wc -l <"$log")" = 1 ] || { cat -A "$log"; fail "the log should hold one line"; }
grep -qaE $'^[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} -?[0-9]+ -?[0-9]+ -?[0-9]+ [0-9]+% [0-9]+%\r$' "$log" ||
  { cat -A "$log"; fail "malformed log line"; }
expect_line "$work/battery.screen" "$(stat -c %s "$log")"

# On mains power the mode says so and the indicator shows no number.
battery_tree "$work/on-mains" 1
mkdir -p "$work/run2"
(cd "$work/run2" && printf 'waitfor 30000 ВНЕШНЕЕ ПИТАНИЕ\nscreen\n' |
  in_power_namespace "$work/on-mains" timeout 60 "$BATTEST" >"$work/mains.out" 2>"$work/mains.err")
last_screen "$work/mains.out" >"$work/mains.screen"
expect_line "$work/mains.screen" "РЕЖИМ: ВНЕШНЕЕ ПИТАНИЕ"
grep -qE '^status: .* \| ?$' "$work/mains.screen" || { cat "$work/mains.screen"; fail "indicator shows a number on mains"; }
echo "battery screen: ok"
