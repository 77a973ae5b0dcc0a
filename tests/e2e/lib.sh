# Shared helpers of the end-to-end tests: each test runs the real battest in script mode
# in a temporary directory of its own. Sourced; BATTEST names the program.
#
# The program keeps its upload messages in the fixed file /tmp/msg.tmp, which another
# copy of it on the same machine may be using. So every test runs in a private mount
# namespace whose /tmp is a directory of its own (removed afterwards), and is skipped
# where this machine allows no namespace.
set -euo pipefail
: "${BATTEST:?BATTEST must name the battest program}"

SKIP=77

# unshare's arguments for a private mount namespace: root needs nothing more; anyone
# else becomes root of a user namespace of their own.
namespace_args=(--mount --propagation private)
[ "$(id -u)" = 0 ] || namespace_args+=(--map-root-user)

if [ -z "${BATTEST_E2E_PRIVATE_TMP:-}" ]; then
  if ! unshare "${namespace_args[@]}" true 2>/dev/null; then
    echo "SKIP: the real program must run with a private /tmp here, and this machine allows" \
      "no mount namespace (unshare refused)" >&2
    exit $SKIP
  fi
  private_tmp=$(mktemp -d /tmp/battest-e2e-tmp.XXXXXX)
  # The machine's /tmp stays in view at /tmp/machine, for a checkout or build kept there.
  mkdir "$private_tmp/machine"
  in_view() {  # PATH: where PATH is seen in the namespace
    local path
    path=$(realpath -m "$1")
    case $path in /tmp/*) echo "/tmp/machine/${path#/tmp/}" ;; *) echo "$path" ;; esac
  }
  BATTEST=$(in_view "$BATTEST")
  [ -z "${FB_COMPARE:-}" ] || FB_COMPARE=$(in_view "$FB_COMPARE")
  status=0
  BATTEST_E2E_PRIVATE_TMP=$private_tmp unshare "${namespace_args[@]}" bash -c '
    mount --bind /tmp "$BATTEST_E2E_PRIVATE_TMP/machine" &&
      mount --rbind "$BATTEST_E2E_PRIVATE_TMP" /tmp && exec bash "$@"' bash "$(in_view "$0")" "$@" ||
    status=$?
  if [ -n "${BATTEST_E2E_KEEP:-}" ]; then echo "kept $private_tmp" >&2; else rm -rf "$private_tmp"; fi
  exit $status
fi
# From here on in the namespace: /tmp is the test's own, and so is the program's message
# file in it.
namespace_args=(--mount --propagation private)
message_file=/tmp/msg.tmp
work=$(mktemp -d /tmp/battest-e2e.XXXXXX)
cleanup_hooks=()
cleanup() {
  local hook
  for hook in "${cleanup_hooks[@]+"${cleanup_hooks[@]}"}"; do eval "$hook" || true; done
  [ -n "${BATTEST_E2E_KEEP:-}" ] || rm -rf "$work"
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

# in_power_namespace DIR COMMAND...: runs COMMAND in a mount namespace of its own in
# which the kernel's power-supply class is the made-up tree under DIR.
in_power_namespace() {
  local tree=$1; shift
  unshare "${namespace_args[@]}" bash -c '
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

# --- A program driven while it runs: battest in script mode as a coprocess.

# start_battest DIR: battest in DIR with its input and output on the coprocess BT, and
# port 11 linked at $work/port11; bt_pid is the program's own process.
start_battest() {
  export TERMSIM_PORT11_LINK=$work/port11
  coproc BT { cd "$1" && exec "$BATTEST" 2>>"$work/battest.err"; }
  bt_pid=$BT_PID
  cleanup_hooks+=("kill -KILL $bt_pid 2>/dev/null")
  bt_in=${BT[1]}
  bt_out=${BT[0]}
}
say() { printf '%s\n' "$@" >&"$bt_in"; }
# screen_now OUT: asks for the screen and waits until battest has printed it.
screen_now() {
  say "screen"
  : >"$1"
  local line
  while IFS= read -r -t 90 line <&"$bt_out"; do
    [ "$line" = "--" ] && return
    printf '%s\n' "$line" >>"$1"
  done
  fail "battest printed no screen"
}
# end_battest OUT: ends battest's input, collects everything it printed and sets
# bt_status to its exit status.
end_battest() {
  eval "exec $bt_in>&-"
  cat <&"$bt_out" >"$1"
  bt_status=0
  wait "$bt_pid" || bt_status=$?
}
# finish_battest OUT: as end_battest, and fails unless battest exited with status 0.
finish_battest() {
  end_battest "$1"
  [ "$bt_status" = 0 ] || { cat "$work/battest.err" >&2; fail "battest exited with status $bt_status"; }
}

# now_ms: a monotonic clock in milliseconds, for the figures tests print.
now_ms() { date +%s%3N; }

# wait_until COMMAND...: waits until COMMAND succeeds, trying again every tenth of a
# second; fails (status 1) when a minute has passed first, however busy the machine.
wait_until() {
  local end=$((SECONDS + 60))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# rb_asked NAME: true once the receiver of start_rb_traced NAME has sent its first byte.
rb_asked() { [ -s "$work/$1.asked" ]; }
# start_rb_traced NAME DIR LINK: lrzsz's rb in DIR, receiving on the port at LINK, in the
# background (rb_pid, its messages in $work/NAME.rb.err). What it sends passes through
# tee, which copies it to $work/NAME.asked after the port has it: rb_asked tells that
# its request is on the port.
start_rb_traced() {
  local name=$1 dir=$2 link=$3
  : >"$work/$name.asked"
  (cd "$dir" && exec rb <"$link" > >(exec tee "$work/$name.asked" >"$link") 2>"$work/$name.rb.err") &
  rb_pid=$!
  cleanup_hooks+=("kill $rb_pid 2>/dev/null")
}

# --- A program at a terminal, driven through tmux as a person would.
tmux_socket=$work/tmux
tmux_cmd() { tmux -S "$tmux_socket" "$@"; }
cleanup_hooks+=("tmux -S '$tmux_socket' kill-server 2>/dev/null")
# in_tmux NAME DIR COMMAND...: COMMAND (battest, say) in DIR in a tmux window NAME, as
# a person at a terminal would run it; its exit status goes to $work/NAME.status. (The
# shell around it traps Ctrl-C, so that it outlives a program ended by the signal and
# can tell the status.)
in_tmux() {
  local name=$1 dir=$2 command
  shift 2
  printf -v command '%q ' "$@"
  rm -f "$work/$name.status"
  tmux_cmd new-session -d -s "$name" -x 100 -y 30 \
    "trap true INT; cd '$dir' && TERMSIM_DISPLAY=terminal $command 2>>'$work/battest.err'; echo \$? >'$work/$name.status'" \; \
    set-option -t "$name" remain-on-exit on
}
pane_has() { tmux_cmd capture-pane -p -t "$1" | grep -qF -- "$2"; }
# pane_shows NAME TEXT: waits until the window shows TEXT.
pane_shows() {
  wait_until pane_has "$1" "$2" || { tmux_cmd capture-pane -p -t "$1"; fail "$1: the window never showed '$2'"; }
}
# exit_status NAME: waits for the program in window NAME to end; prints its status.
exit_status() {
  wait_until test -s "$work/$1.status" || fail "$1: the program did not end"
  cat "$work/$1.status"
}
terminal_given_back() {
  [ "$(tmux_cmd display-message -p -t "$1" '#{alternate_on}')" = 0 ] ||
    fail "$1: the terminal was left on the program's screen"
}
