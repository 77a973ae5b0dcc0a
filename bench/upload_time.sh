#!/usr/bin/env bash
# Upload figures, the program's beside lrzsz's sz over the same links, in one run:
#   1. a 115200 8N1 line (bytes paced at the line's rate between two pseudo-terminals),
#      256 KiB to a receiver that never clears its input: rate, share of the line, and
#      the ratio to sz's;
#   2. an unpaced link with 1 ms each way (as USB), 1 MiB to the same receiver: rates
#      and ratio;
#   3. rb over the 1 ms link, 1 MiB and 64 KiB: the data's time, and how often rb waited
#      out its time-out for a block it had lost;
#   4. rb on the program's own pseudo-terminal (a link without a delay), a 2 KB log:
#      seconds from UPLOAD to the summary;
# and, from a clock loaded into rb, how long rb took from writing each answer to
# clearing its input (median, 99th percentile, largest). Each transfer runs RUNS times;
# the figure is the median of the runs, all of them in brackets. The data's time runs
# from the first data block's arrival at the receiver to its ACK of the last one, as the
# link between the two sees them (bench/ymodem_link.cpp). For the program each line also
# tells the pauses it took before its sends, from its port trace.
#   bench/upload_time.sh [BUILD] [RUNS]   (default build/, 3 runs)
# BUILD must hold battest, bench/ymodem_link and bench/receiver_clock.so.
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
battest=$build/battest link=$build/bench/ymodem_link clock=$build/bench/receiver_clock.so
for f in "$battest" "$link" "$clock"; do
  [ -e "$f" ] || { echo "no $f: build battest, ymodem_link and receiver_clock first" >&2; exit 1; }
done
for p in rb sz; do
  command -v $p >/dev/null || { echo "$p (Debian package lrzsz) is not installed" >&2; exit 1; }
done

# The program keeps its upload messages in the fixed /tmp/msg.tmp: in a mount namespace
# of its own /tmp is private, so that another copy of it on the machine is left alone.
if [ -z "${UPLOAD_TIME_PRIVATE:-}" ]; then
  private=$(mktemp -d /tmp/upload-time.XXXXXX)
  mkdir "$private/machine"
  ns=(--mount --propagation private)
  [ "$(id -u)" = 0 ] || ns+=(--map-root-user)
  if unshare "${ns[@]}" true 2>/dev/null; then
    status=0
    UPLOAD_TIME_PRIVATE=$private unshare "${ns[@]}" bash -c '
      mount --bind /tmp "$UPLOAD_TIME_PRIVATE/machine" &&
        mount --rbind "$UPLOAD_TIME_PRIVATE" /tmp && exec bash "$@"' bash "$0" "$build" "$runs" ||
      status=$?
    rm -rf "$private"
    exit $status
  fi
  rmdir "$private/machine" "$private"
  echo "(no mount namespace here: the program's messages go to the machine's /tmp/msg.tmp)" >&2
fi

work=$(mktemp -d /tmp/upload-time-work.XXXXXX)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; [ -n "${UPLOAD_TIME_KEEP:-}" ] || rm -rf "$work"' EXIT
export TERMSIM_DISPLAY=script
: >"$work/clock.all"

# start_link NAME ARGS...: the link NAME.near (the sender's end) to NAME.far, in the
# background; its report goes to NAME.link.
start_link() {
  local name=$1; shift
  "$link" "$work/$name.near" "$work/$name.far" "$@" >"$work/$name.link" &
  link_pid=$!
  pids+=("$link_pid")
  local n=0
  until [ -e "$work/$name.far" ] && [ -e "$work/$name.near" ]; do
    n=$((n + 1)); [ $n -le 500 ] || { echo "the link did not come up" >&2; exit 1; }
    sleep 0.01
  done
}
# end_link NAME: ends the link; prints "SIZE SECONDS" of the file it carried.
end_link() {
  kill "$link_pid"; wait "$link_pid" || true
  sed -n 's/^file [^:]*: \([0-9]*\) bytes, data \([0-9.]*\) s.*/\1 \2/p' "$work/$1.link" | tail -n 1
}
# start_rb NAME KEEP: rb in a directory of its own on NAME.far with the clock loaded
# (KEEP=1: the receiver never clears its input); at most two minutes.
start_rb() {
  mkdir -p "$work/$1.rx"
  (cd "$work/$1.rx" && exec timeout 120 env RECEIVER_CLOCK_LOG="$work/$1.clock" \
    RECEIVER_KEEP_INPUT="$2" LD_PRELOAD="$clock" rb -v <"$work/$1.far" >"$work/$1.far" \
    2>"$work/$1.rb") &
  rb_pid=$!
  pids+=("$rb_pid")
}
# finish_rb NAME KEEP: waits for rb; keeps its clock when it cleared its input (KEEP 0);
# sets rb_timeouts: how often it waited out its time-out.
finish_rb() {
  wait "$rb_pid" || echo "rb ended with status $? ($1)" >&2
  [ "$2" = 1 ] || cat "$work/$1.clock" >>"$work/clock.all" 2>/dev/null || true
  rb_timeouts=$(tr '\r' '\n' <"$work/$1.rb" | grep -ci timeout || true)
}
# a_log NAME SIZE: a log of SIZE bytes of text in NAME.dir/data/report.txt.
a_log() {
  rm -rf "$work/$1.dir" "$work/$1.rx" "$work/$1.clock"
  mkdir -p "$work/$1.dir/data" "$work/$1.props"
  echo BENCH >"$work/$1.props/ro.fac.mach"
  head -c $(($2 * 3 / 4 + 3)) /dev/urandom | base64 -w 76 >"$work/$1.dir/data/report.txt"
  truncate -s "$2" "$work/$1.dir/data/report.txt"
}

# battest_upload NAME PEER: the program in NAME.dir, port 11 on PEER (empty: its own
# pseudo-terminal, rb on it), uploads once; sets upload_ms (UPLOAD to the summary) and
# pauses ("P of S": pauses before its sends, from its port trace).
battest_upload() {
  local name=$1 peer=$2 line
  export TERMSIM_PROPS=$work/$name.props TERMSIM_PORT11_TRACE=$work/$name.trace
  rm -f "$work/$name.trace"
  if [ -n "$peer" ]; then export TERMSIM_PORT11=$peer; else unset TERMSIM_PORT11; fi
  export TERMSIM_PORT11_LINK=$work/$name.far
  coproc BT { cd "$work/$name.dir" && exec "$battest" 2>"$work/$name.err"; }
  local in=${BT[1]} out=${BT[0]} pid=$BT_PID
  printf 'wait 300\nscreen\n' >&"$in"
  while IFS= read -r line <&"$out" && [ "$line" != "--" ]; do :; done
  [ -n "$peer" ] || start_rb "$name" 0
  sleep 0.3
  local start end
  start=$(date +%s%N)
  printf 'key 8\nwaitfor 600000 ФАЙЛОВ\nscreen\n' >&"$in"
  : >"$work/$name.summary"
  while IFS= read -r line <&"$out" && [ "$line" != "--" ]; do echo "$line" >>"$work/$name.summary"; done
  end=$(date +%s%N)
  printf 'key 13\n' >&"$in"
  exec {in}>&-
  wait "$pid" || true
  grep -q 'ВЫГРУЖЕНО 1 ФАЙЛОВ' "$work/$name.summary" ||
    { cat "$work/$name.summary" >&2; echo "the upload failed ($name)" >&2; exit 1; }
  upload_ms=$(((end - start) / 1000000))
  pauses="$(grep -c ' pause ' "$work/$name.trace" || true) of $(grep -c ' sent ' "$work/$name.trace")"
}

# sz_upload NAME: sz --ymodem --1k sends NAME.dir/data/report.txt on NAME.near; ended
# once rb has ended (sz waits for an answer to the end of the batch that rb may not give).
sz_upload() {
  (cd "$work/$1.dir/data" && exec sz --ymodem --1k report.txt <"$work/$1.near" >"$work/$1.near" \
    2>/dev/null) &
  sz_pid=$!
  pids+=("$sz_pid")
}
sz_end() {
  local n=0
  while kill -0 "$sz_pid" 2>/dev/null && [ $n -lt 30 ]; do sleep 0.1; n=$((n + 1)); done
  kill "$sz_pid" 2>/dev/null || true
  wait "$sz_pid" 2>/dev/null || true
}

# over_link WHO SIZE KEEP LINKARGS...: one transfer of SIZE bytes by WHO (battest or sz)
# over a link made with LINKARGS to rb (KEEP=1: never clearing); prints
# "SECONDS TIMEOUTS PAUSES".
over_link() {
  local who=$1 size=$2 keep=$3 name=t$RANDOM; shift 3
  a_log "$name" "$size"
  start_link "$name" "$@"
  if [ "$who" = sz ]; then
    start_rb "$name" "$keep"
    sleep 0.3
    sz_upload "$name"
    finish_rb "$name" "$keep"
    sz_end
    pauses=-
  else
    start_rb "$name" "$keep"
    battest_upload "$name" "$work/$name.near"
    finish_rb "$name" "$keep"
  fi
  local size_s; size_s=$(end_link "$name")
  [ -n "$size_s" ] || { cat "$work/$name.link" >&2; echo "no data timed ($who)" >&2; exit 1; }
  echo "$size_s $rb_timeouts ${pauses// /_}"
}

# median VALUES...: the median of the numbers.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# figure WHO SIZE KEEP LINKARGS...: RUNS transfers; sets secs (median), rate (median
# bytes a second), all (the runs' seconds), timeouts (all runs') and pauses (the last).
figure() {
  local who=$1 size=$2 keep=$3; shift 3
  local list=() tos=() result r bytes
  for r in $(seq "$runs"); do
    result=$(over_link "$who" "$size" "$keep" "$@")
    read -r bytes s t pauses <<<"$result"
    list+=("$s"); tos+=("$t")
  done
  secs=$(median "${list[@]}")
  rate=$(awk -v b="$bytes" -v s="$secs" 'BEGIN { printf "%.0f", b / s }')
  all="${list[*]}"
  timeouts="${tos[*]}"
  pauses=${pauses//_/ }
}

line=11520  # bytes a second on a 115200 8N1 line
echo "1. 115200 8N1 line, 256 KiB, a receiver that never clears its input (data's time, median of $runs):"
figure battest 262144 1 --rate 115200; p_rate=$rate p_all=$all p_pauses=$pauses
figure sz 262144 1 --rate 115200
awk -v p="$p_rate" -v s="$rate" -v line=$line -v pa="$p_all" -v sa="$all" -v ps="$p_pauses" 'BEGIN {
  printf "   battest %d B/s, %.1f %% of the line [%s s; pauses before %s sends]\n", p, 100 * p / line, pa, ps
  printf "   sz      %d B/s, %.1f %% of the line [%s s]\n", s, 100 * s / line, sa
  printf "   battest / sz: %.3f\n", p / s }'

echo "2. 1 ms each way, unpaced, 1 MiB, a receiver that never clears its input:"
figure battest 1048576 1 --latency-us 1000; p_rate=$rate p_all=$all p_pauses=$pauses
figure sz 1048576 1 --latency-us 1000
awk -v p="$p_rate" -v s="$rate" -v pa="$p_all" -v sa="$all" -v ps="$p_pauses" 'BEGIN {
  printf "   battest %d B/s [%s s; pauses before %s sends]\n   sz      %d B/s [%s s]\n", p, pa, ps, s, sa
  printf "   battest / sz: %.3f\n", p / s }'

echo "3. rb over the 1 ms link (rb clears its input after each answer):"
for size in 1048576 65536; do
  figure battest $size 0 --latency-us 1000; p_s=$secs p_all=$all p_to=$timeouts p_pauses=$pauses
  figure sz $size 0 --latency-us 1000
  awk -v n=$((size / 1024)) -v p="$p_s" -v s="$secs" -v pa="$p_all" -v sa="$all" -v pt="$p_to" \
    -v st="$timeouts" -v ps="$p_pauses" 'BEGIN {
    printf "   %d KiB: battest %.3f s [%s s; rb time-outs %s; pauses before %s sends]\n", n, p, pa, pt, ps
    printf "   %d KiB: sz      %.3f s [%s s; rb time-outs %s]\n", n, s, sa, st
    printf "   %d KiB: data time, battest / sz: %.3f\n", n, p / s }'
done

echo "4. rb on the program's own pseudo-terminal (no delay), a 2 KB log, UPLOAD to summary:"
list=() tos=()
for r in $(seq "$runs"); do
  name=pty$r
  a_log "$name" 2048
  battest_upload "$name" ""
  finish_rb "$name" 0
  tos+=("$rb_timeouts")
  list+=("$(awk -v ms="$upload_ms" 'BEGIN { printf "%.2f", ms / 1000 }')")
done
printf '   %s s [%s s; rb time-outs %s; pauses before %s sends]\n' "$(median "${list[@]}")" \
  "${list[*]}" "${tos[*]}" "$pauses"

echo "rb from writing an answer to clearing its input, in all its runs above:"
awk '{ print ($4 - $1) / 1000 }' "$work/clock.all" | sort -g | awk '
  { v[NR] = $1 } END {
    if (NR == 0) { print "   no answers timed"; exit }
    p99 = int(NR * 0.99 + 0.5); if (p99 < 1) p99 = 1
    printf "   median %.1f us, 99th percentile %.1f us, largest %.1f us (%d answers)\n",
      v[int((NR + 1) / 2)], v[p99], v[NR], NR }'
