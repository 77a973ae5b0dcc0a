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

# A display that is not one is refused, in the host's words, before anything is shown.
status=0
(cd "$dir" && TERMSIM_DISPLAY=foo timeout 20 "$BATTEST" </dev/null >"$work/foo.out" 2>"$work/foo.err") ||
  status=$?
[ "$status" = 2 ] || fail "TERMSIM_DISPLAY=foo gave status $status, not 2"
expect_line "$work/foo.err" "termsim: TERMSIM_DISPLAY=foo is not a display (terminal, script, fb)"
[ ! -s "$work/foo.out" ] || { cat "$work/foo.out"; fail "TERMSIM_DISPLAY=foo showed something"; }
echo "startup: ok"
