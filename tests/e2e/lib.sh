# Shared helpers of the end-to-end tests: each test runs the real battest in script mode
# in a temporary directory of its own. Sourced; BATTEST names the program.
set -euo pipefail
: "${BATTEST:?BATTEST must name the battest program}"

SKIP=77
work=$(mktemp -d /tmp/battest-e2e.XXXXXX)
cleanup_hooks=()
cleanup() {
  local hook
  for hook in "${cleanup_hooks[@]+"${cleanup_hooks[@]}"}"; do eval "$hook" || true; done
  if [ -n "${BATTEST_E2E_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

export TERMSIM_DISPLAY=script
export TERMSIM_PROPS=$work/props
unset TERMSIM_PORT11

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect_line FILE LINE: FILE holds LINE as a whole line.
expect_line() {
  grep -qxF -- "$2" "$1" || { echo "--- $1:"; cat "$1"; fail "no line '$2' in $1"; }
}

# expect_text FILE TEXT: FILE holds TEXT somewhere.
expect_text() {
  grep -qF -- "$2" "$1" || { echo "--- $1:"; cat "$1"; fail "no '$2' in $1"; }
}

# last_screen FILE: the last screen printed in FILE (the lines before the last "--").
last_screen() {
  awk '/^--$/ { last = cur; cur = ""; next } { cur = cur $0 "\n" } END { printf "%s", last }' "$1"
}

# run_script DIR SCRIPT OUT: runs battest in DIR with SCRIPT on its standard input;
# fails unless it exits with status 0 within a minute.
run_script() {
  local status=0
  (cd "$1" && printf '%b' "$2" | timeout 60 "$BATTEST" >"$3" 2>"$3.err") || status=$?
  [ "$status" = 0 ] || { cat "$3.err" >&2; fail "battest exited with status $status"; }
}

# in_power_namespace DIR COMMAND...: runs COMMAND in a private mount namespace in which
# the kernel's power-supply class is the made-up tree under DIR. Exits with SKIP when
# this machine allows no mount namespace.
in_power_namespace() {
  local tree=$1; shift
  local unshare_args=(--mount --propagation private)
  [ "$(id -u)" = 0 ] || unshare_args+=(--map-root-user)
  if ! unshare "${unshare_args[@]}" true 2>/dev/null; then
    echo "SKIP: no private mount namespace here (unshare refused)" >&2
    exit $SKIP
  fi
  unshare "${unshare_args[@]}" bash -c '
    set -e
    tree=$1; shift
    target=/sys/class/power_supply
    if [ -d "$target" ]; then
      mount -t tmpfs none "$target"
    else
      mount -t tmpfs none /sys/class
      mkdir -p "$target"
    fi
    cp -r "$tree"/. "$target"/
    exec "$@"' bash "$tree" "$@"
}

# make_supply TREE NAME TYPE KEY=VALUE...: a made-up power supply (voltages in µV).
make_supply() {
  local dir=$1/$2; shift 2
  mkdir -p "$dir"
  echo "$1" >"$dir/type"; shift
  local pair
  for pair in "$@"; do echo "${pair#*=}" >"$dir/${pair%%=*}"; done
}
