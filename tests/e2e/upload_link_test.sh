#!/usr/bin/env bash
# Uploads to lrzsz's rb started at many moments around UPLOAD, from two seconds before to
# three seconds after, on the program's own pseudo-terminal and through a link with
# buffering of its own between the two ends (socat between two pseudo-terminals, as a
# USB serial adapter or a remote console has). rb repeats its request while it waits, so
# a request can cross block 0 on the way; every upload must still succeed: the success
# summary, the file byte-equal to the log as sent, and rb ending with status 0. Neither
# link has a delay of its own, and rb clears its input right after each answer: the
# program's port trace must show its pause before every send. Blocks sent again (lost
# to rb, and asked for again after its time-out) are counted and told.
#   upload_link_test.sh [ROUNDS [LINK]]   repeats the trial ROUNDS times (default 1), on
#                                         both links or on LINK only (pty or socat).
# UPLOAD_LINK_HOGS=N runs N busy programs beside the uploads (a stress run: 42 rounds
# make 1,008 uploads).
source "$(dirname "$0")/lib.sh"
command -v rb >/dev/null || fail "lrzsz's rb is not installed (Debian package lrzsz)"
command -v socat >/dev/null || fail "socat is not installed (Debian package socat)"

rounds=${1:-1}
links=(${2:-pty socat})
# rb's start, in ms after UPLOAD (negative: before it).
offsets=(${UPLOAD_LINK_OFFSETS:--2000 -1500 -1000 -500 -100 0 300 700 1000 1500 2000 3000})
model=T42
mkdir -p "$work/props"
echo "$model" >"$work/props/ro.fac.mach"
echo 1 >"$work/props/persist.sys.xcb.enable"

hogs=${UPLOAD_LINK_HOGS:-0}
for ((i = 0; i < hogs; i++)); do
  sh -c 'while :; do :; done' &
  cleanup_hooks+=("kill $!")
done
resent_total=0

# wait_for_path PATH: waits until PATH exists.
wait_for_path() { wait_until test -e "$1" || fail "$1 never appeared"; }
# size_is_not FILE SIZE: FILE's size is no longer SIZE.
size_is_not() { [ "$(stat -c %s "$1")" != "$2" ]; }
# after_ms MS: sleeps MS milliseconds (MS >= 0).
after_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }

# start_receiver NAME PEER: rb on PEER in a directory of its own, ended after a minute
# at the latest; its exit status goes to $work/NAME.rb.status.
start_receiver() {
  mkdir -p "$work/$1.rx"
  (cd "$work/$1.rx" && status=0 && { timeout 60 rb <"$2" >"$2" 2>"$work/$1.rb.err" || status=$?; } &&
    echo "$status" >"$work/$1.rb.status") &
  rb_pid=$!
  cleanup_hooks+=("kill $rb_pid 2>/dev/null")
}

# show_trace NAME: what the program sent and received on port 11 and, through socat,
# what crossed the link, for a failure's diagnosis.
show_trace() {
  echo "--- port 11 as the program saw it (seconds, event, byte count: bytes):"
  tail -n 60 "$work/$1.port11" 2>/dev/null || true
  [ -s "$work/$1.trace" ] || return 0
  echo "--- both directions on the link (socat -x -v; > to the receiver, < from it):"
  awk '/^[<>]/ { print; getline; print }' "$work/$1.trace" | tail -n 60
}

# one_upload LINK OFFSET: one upload over LINK (pty or socat) with rb started OFFSET ms
# after UPLOAD.
one_upload() {
  local link=$1 offset=$2 name peer start elapsed received
  name=$link$offset.$round
  local dir=$work/$name
  current=$name
  mkdir -p "$dir/data"
  printf '14.10.2017 12:00:00 4200000 3400000 3800000 50%% 50%%\r\n' >"$dir/data/report.txt"
  head -c 1500 /dev/urandom | base64 >>"$dir/data/report.txt"
  if [ "$link" = socat ]; then
    socat -x -v "pty,link=$work/$name.near,raw,echo=0" "pty,link=$work/$name.far,raw,echo=0" \
      2>"$work/$name.trace" &
    link_pid=$!
    cleanup_hooks+=("kill $link_pid 2>/dev/null")
    wait_for_path "$work/$name.near"
    wait_for_path "$work/$name.far"
    export TERMSIM_PORT11=$work/$name.near
    peer=$work/$name.far
  else
    unset TERMSIM_PORT11
    peer=$work/port11
  fi
  # The first refresh adds a line to the log; from then on the log stays as it is for
  # ten minutes, and that is the log the upload sends.
  local size
  size=$(stat -c %s "$dir/data/report.txt")
  export TERMSIM_PORT11_TRACE=$work/$name.port11
  start_battest "$dir"
  wait_until size_is_not "$dir/data/report.txt" "$size" || fail "$name: the first refresh wrote no line"
  # Port 11's link is made at the program's first use of a port, before that refresh.
  [ "$link" = socat ] || wait_for_path "$peer"
  cp "$dir/data/report.txt" "$work/$name.sent"
  if [ "$offset" -lt 0 ]; then
    start_receiver "$name" "$peer"
    after_ms $((-offset))
    start=$(now_ms)
    say "key 8"
  else
    start=$(now_ms)
    say "key 8"
    after_ms "$offset"
    start_receiver "$name" "$peer"
  fi
  say "waitfor 60000 ФАЙЛОВ"
  screen_now "$work/$name.summary"
  elapsed=$(($(now_ms) - start))
  say "key 13"
  finish_battest "$work/$name.out"
  wait "$rb_pid" || true
  if [ "$link" = socat ]; then  # the link goes with its upload
    kill "$link_pid" 2>/dev/null || true
    wait "$link_pid" 2>/dev/null || true
  fi
  if ! grep -qxF "ВЫГРУЖЕНО 1 ФАЙЛОВ" "$work/$name.summary"; then
    show_trace "$name"
    cat "$work/$name.summary"
    fail "$name: the upload failed"
  fi
  received=$(ls "$work/$name.rx")
  expect_line "$work/$name.summary" "ВЫГРУЖЕН $(stat -c %s "$work/$name.sent") БАЙТ: $received"
  cmp "$work/$name.sent" "$work/$name.rx/$received" || fail "$name: the received file differs from the log"
  [ "$(cat "$work/$name.rb.status" 2>/dev/null)" = 0 ] ||
    { show_trace "$name"; cat "$work/$name.rb.err"; fail "$name: rb did not end well (status $(cat "$work/$name.rb.status" 2>/dev/null))"; }
  # The pause before each send, and the blocks sent again, from the port trace.
  local unpaused resent
  unpaused=$(awk '$2 == "sent" && previous != "pause" { n++ } { previous = $2 } END { print n + 0 }' \
    "$work/$name.port11")
  [ "$unpaused" = 0 ] ||
    { show_trace "$name"; fail "$name: $unpaused sends without the pause before them on a link without delay"; }
  resent=$(awk '$2 == "sent" { key = $4 " " $5 " " $6; if (key == last) n++; last = key }
    END { print n + 0 }' "$work/$name.port11")
  resent_total=$((resent_total + resent))
  echo "$link, rb at ${offset} ms: summary ${elapsed} ms after UPLOAD, blocks sent again: $resent"
  current=
}

# Whatever ends the test early, the trace of the upload at hand is shown.
current=
cleanup_hooks+=('[ -z "$current" ] || show_trace "$current"')
for round in $(seq "$rounds"); do
  for link in "${links[@]}"; do
    for offset in "${offsets[@]}"; do one_upload "$link" "$offset"; done
  done
done
echo "upload over links: ok ($((rounds * ${#offsets[@]} * ${#links[@]})) uploads, $hogs busy programs beside them; blocks sent again: $resent_total)"
