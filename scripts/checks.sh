# Helpers of the scripted checks (scripts/package-check, scripts/seam-check). Sourced.

checks_passed=0 checks_failed=0

# check NAME COMMAND...: runs COMMAND, says "ok: NAME" or "FAIL: NAME", and counts it.
# COMMAND runs where set -e does not stop it: it fails by its own last status.
check() {
  local name=$1; shift
  if "$@"; then
    echo "ok: $name"
    checks_passed=$((checks_passed + 1))
  else
    echo "FAIL: $name" >&2
    checks_failed=$((checks_failed + 1))
  fi
}

# checks_summary: the closing line, "N passed, N failed"; fails when a check failed.
checks_summary() {
  echo "$checks_passed passed, $checks_failed failed"
  [ "$checks_failed" = 0 ]
}

# shows_main_screen COMMAND...: runs battest as COMMAND says, with the script display
# and no other host platform setting of the caller's, in a new directory; asks for the
# screen after 300 ms and prints it. True when the program ended with status 0 within a
# minute and the screen was the main screen.
shows_main_screen() {
  local dir status=0 var unset=()
  for var in $(compgen -e); do [[ $var != TERMSIM_* ]] || unset+=(-u "$var"); done
  dir=$(mktemp -d)
  (cd "$dir" && printf 'wait 300\nscreen\n' |
     env "${unset[@]}" TERMSIM_DISPLAY=script TERMSIM_PROPS="$dir/props" \
       timeout 60 "$@" >"$dir/out" 2>"$dir/err") || status=$?
  cat "$dir/out"
  if [ "$status" != 0 ]; then
    cat "$dir/err" >&2
    echo "exit status $status" >&2
  fi
  grep -q '^РЕЖИМ: ' "$dir/out" && grep -qxF '[UPLOAD]' "$dir/out" && [ "$status" = 0 ] ||
    status=1
  rm -rf "$dir"
  return "$status"
}
