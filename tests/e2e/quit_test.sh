#!/usr/bin/env bash
# Ending the program while it uploads to a receiver that says nothing: at the end of the
# script, by SIGTERM, or by Ctrl-C in the terminal display (driven through tmux). Each
# time the upload is cancelled and finished first, then the program exits with status
# 0: the xcb property is back, no message file is left, the log is intact and port 11's
# link is gone. A second Ctrl-C, while the upload still finishes, ends it at once.
source "$(dirname "$0")/lib.sh"
command -v tmux >/dev/null || fail "tmux is not installed (Debian package tmux)"

mkdir -p "$work/props"
echo 1 >"$work/props/persist.sys.xcb.enable"
export TERMSIM_PORT11_LINK=$work/port11

# new_dir NAME: a working directory $dir with a log, kept as $work/NAME.log.
new_dir() {
  dir=$work/$1
  mkdir -p "$dir/data"
  printf '14.10.2017 12:00:00 4200000 3400000 3800000 50%% 50%%\r\n' >"$dir/data/report.txt"
  cp "$dir/data/report.txt" "$work/$1.log"
}
# expect_clean_end NAME STATUS: how the program NAME ended and what it left.
expect_clean_end() {
  [ "$2" = 0 ] || { cat "$work/battest.err" >&2; fail "$1: exit status $2, not 0"; }
  [ "$(cat "$work/props/persist.sys.xcb.enable")" = 1 ] || fail "$1: persist.sys.xcb.enable not restored"
  [ ! -e "$message_file" ] || fail "$1: the message file was left behind"
  # The program adds its own lines; what was there stays.
  cmp -n "$(stat -c %s "$work/$1.log")" "$work/$1.log" "$dir/data/report.txt" ||
    fail "$1: the log lost what it held"
  [ ! -L "$TERMSIM_PORT11_LINK" ] || fail "$1: port 11's link was left behind"
}
# port_opened: the upload has opened port 11: it has the upload's line settings (a
# pseudo-terminal's master and slave share them; a new one starts at 38400 bit/s).
port_opened() { [ "$(stty -F "$TERMSIM_PORT11_LINK" speed 2>/dev/null)" = 115200 ]; }

# --- The end of the script, a second into the upload.
new_dir eof
start=$(now_ms)
status=0
(cd "$dir" && printf 'wait 300\nkey 8\nwait 1000\n' | timeout 60 "$BATTEST" >"$work/eof.out" 2>>"$work/battest.err") ||
  status=$?
echo "end of script: exit $(( $(now_ms) - start - 1300 )) ms after the end of its input"
expect_clean_end eof "$status"

# --- SIGTERM a second into the upload.
new_dir term
start_battest "$dir"
say "wait 300" "key 8" "waitfor 60000 ИДЕТ ВЫГРУЗКА"
screen_now "$work/term.wait"
expect_text "$work/term.wait" "ИДЕТ ВЫГРУЗКА"
wait_until port_opened || fail "term: the upload never opened port 11"
kill -TERM "$bt_pid"
start=$(now_ms)
wait "$bt_pid" || status=$?
echo "SIGTERM: exit $(( $(now_ms) - start )) ms after the signal"
expect_clean_end term "${status:-0}"
status=0

# --- The terminal display in tmux: keys as a person types them.
new_dir ctrlc
in_tmux ctrlc "$dir" "$BATTEST"
pane_shows ctrlc "KELDRAN Oct 14 2017"
tmux_cmd send-keys -t ctrlc BSpace
pane_shows ctrlc "ИДЕТ ВЫГРУЗКА"
wait_until port_opened || fail "ctrlc: the upload never opened port 11"
tmux_cmd send-keys -t ctrlc C-c
start=$(now_ms)
status=$(exit_status ctrlc)
echo "Ctrl-C: exit $(( $(now_ms) - start )) ms after the key"
expect_clean_end ctrlc "$status"
terminal_given_back ctrlc

# --- A receiver that asks, then says nothing after block 0: the cancel waits out the
# protocol's 15 s, and says so; a second Ctrl-C does not wait.
new_dir twice
in_tmux twice "$dir" "$BATTEST"
pane_shows twice "KELDRAN Oct 14 2017"
tmux_cmd send-keys -t twice BSpace
pane_shows twice "ИДЕТ ВЫГРУЗКА"
printf C >"$TERMSIM_PORT11_LINK"
# The receiver takes block 0 and says nothing more.
[ -n "$(timeout 60 head -c 1 "$TERMSIM_PORT11_LINK" | od -An -tx1)" ] ||
  fail "twice: no answer to the request"
tmux_cmd send-keys -t twice C-c
pane_shows twice "ЗАВЕРШЕНИЕ ВЫГРУЗКИ"
pane_shows twice "Quitting once the work under way is done"
tmux_cmd send-keys -t twice C-c
start=$(now_ms)
status=$(exit_status twice)
elapsed=$(( $(now_ms) - start ))
echo "second Ctrl-C: exit $elapsed ms after the key"
[ "$status" = 130 ] || fail "twice: exit status $status, not 130 (ended by SIGINT)"
[ "$elapsed" -lt 10000 ] || fail "twice: the second Ctrl-C waited for the upload"
terminal_given_back twice
[ ! -L "$TERMSIM_PORT11_LINK" ] || fail "twice: port 11's link was left behind"
echo "quit: ok"
