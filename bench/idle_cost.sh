#!/usr/bin/env bash
# Processor time of the program left idle on its main screen, as a share of one core:
# the battery bench's simulated battery at the time scale given, in the script display.
#   bench/idle_cost.sh [BATTEST] [SECONDS] [SCALE]   (default build/battest, 20 s, 1)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export BATTEST=$(realpath "${1:-$repo/build/battest}")
seconds=${2:-20}
scale=${3:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TERMSIM_PORT11_LINK=$work/port11 TERMSIM_PROPS=$work/props TERMSIM_DISPLAY=script

cd "$work"
# The program waits, then the end of its input ends it.
(printf 'wait %d\n' "$((seconds * 1000))" | "$repo/scripts/run" --battery=sim --scale="$scale" \
  >/dev/null 2>&1) &
sleep 1
pid=$(pgrep -n -f "$BATTEST" || true)
[ -n "$pid" ] || { echo "the program did not start" >&2; exit 1; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks "$pid")
start=$(date +%s%N)
sleep $((seconds - 3))
after=$(ticks "$pid")
end=$(date +%s%N)
wait
awk -v t=$((after - before)) -v hz="$hz" -v ns=$((end - start)) -v scale="$scale" \
  'BEGIN { cpu = t / hz; wall = ns / 1e9; printf "idle at scale %d: %.3f s of processor time in %.1f s, %.2f %% of a core\n", scale, cpu, wall, 100 * cpu / wall }'
