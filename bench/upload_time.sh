#!/usr/bin/env bash
# Seconds from UPLOAD to the summary on screen, for a 2 KB and a 1 MiB log sent to
# lrzsz's rb, started first on the program's own pseudo-terminal as the README says.
#   bench/upload_time.sh [BATTEST] [RUNS]      (default build/battest, 3 runs)
set -euo pipefail
battest=$(realpath "${1:-build/battest}")
runs=${2:-3}
command -v rb >/dev/null || { echo "rb (Debian package lrzsz) is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# once SIZE: one upload of a log of SIZE bytes; prints the seconds it took.
once() {
  local dir=$work/run rx=$work/rx
  rm -rf "$dir" "$rx" "$work/props"
  mkdir -p "$dir/data" "$rx" "$work/props"
  head -c "$1" /dev/urandom | base64 -w 76 | head -c "$1" >"$dir/data/report.txt"
  export TERMSIM_DISPLAY=script TERMSIM_PROPS=$work/props TERMSIM_PORT11_LINK=$work/port11
  coproc BT { cd "$dir" && exec "$battest" 2>/dev/null; }
  local in=${BT[1]} out=${BT[0]} pid=$BT_PID line
  printf 'wait 300\nscreen\n' >&"$in"
  while IFS= read -r line <&"$out" && [ "$line" != "--" ]; do :; done
  (cd "$rx" && exec rb <"$work/port11" >"$work/port11" 2>/dev/null) &
  local rb=$!
  sleep 0.5  # rb has asked by now
  local start end
  start=$(date +%s%N)
  printf 'key 8\nwaitfor 600000 ФАЙЛОВ\nscreen\n' >&"$in"
  while IFS= read -r line <&"$out" && [ "$line" != "--" ]; do :; done
  end=$(date +%s%N)
  exec {in}>&-
  wait "$pid" || true
  wait "$rb" || true
  awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }'
}

for size in 2048 1048576; do
  printf '%8d bytes:' "$size"
  for _ in $(seq "$runs"); do printf ' %s s' "$(once "$size")"; done
  echo
done
