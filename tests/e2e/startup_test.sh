#!/usr/bin/env bash
# Start-up: the main screen comes up, ./data is made, and a second start behaves the same.
source "$(dirname "$0")/lib.sh"

dir=$work/run
mkdir -p "$dir"
for pass in first second; do
  run_script "$dir" 'wait 300\nscreen\n' "$work/$pass.out"
  last_screen "$work/$pass.out" >"$work/$pass.screen"
  expect_line "$work/$pass.screen" "KELDRAN Oct 14 2017"
  expect_text "$work/$pass.screen" "РЕЖИМ:"
  expect_line "$work/$pass.screen" "[UPLOAD]"
  [ -d "$dir/data" ] || fail "./data was not created on the $pass start"
done
echo "startup: ok"
