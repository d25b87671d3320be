#!/usr/bin/env bash
# Uploads a 1 MiB binary image and 1 MiB of S-record text with vorlanth-cli to the virtual
# terminal over UDP on 127.0.0.1 with no pacing, each followed at once by a bare UDP ping-pong
# of the same count and the same average sizes (the terminal's frames and "bytes N in, M out").
# Records (frames) per second of each: the loader's from the terminal's first frame to its last
# (the path itself, as the ping-pong times only its exchanges), and beside it over the loader's
# whole run (start-up, reading and checking the file included); the ratio of each such pair, so
# that the load of the moment weighs on both sides alike; the median of PAIRS ratios with their
# spread (lowest, highest, and the quartiles), all on one processor. Also the loader's peak
# memory for the 1 MiB upload against a 1 KiB one.
# Usage: bench/udp_rate.sh [BIN_DIR] [PAIRS]   (from the repository root; PAIRS at least 9)
# Prints "RESULT udp TYPE RATIO_MEDIAN RATIO_LOW RATIO_HIGH RATIO_Q1 RATIO_Q3 LOADER_MEDIAN
# PINGPONG_MEDIAN WHOLE_RUN_RATIO_MEDIAN PAIRS" and "RESULT memory PEAK_KB_1MIB PEAK_KB_SMALL".
set -euo pipefail
# Everything runs on one processor (VORLANTH_BENCH_CPU, default 0): left to the scheduler, each
# pair of processes lands either on one processor or on two that must wake each other, and on a
# virtual machine the two cost ten times apart, which decides a ratio more than any code does.
if [[ -z ${VORLANTH_BENCH_PINNED:-} ]] && command -v taskset >/dev/null; then
  export VORLANTH_BENCH_PINNED=1
  exec taskset -c "${VORLANTH_BENCH_CPU:-0}" "$0" "$@"
fi
bin=$(realpath "${1:-build/linux/bin}")
pairs=${2:-9}
source bench/common.sh
bench_setup

# upload FILE TYPE: one upload over UDP; sets WALL, SPAN, FRAMES, BYTES_IN, BYTES_OUT, PEAK_KB.
upload() {
  start_terminal "$work/out" --udp 0 --expect "$1" --type "$2" --idle-timeout 30
  local started ended
  started=$(now_s)
  /usr/bin/time -o "$work/time" -f "%M" timeout 120 "$bin/vorlanth-cli" \
    "$1,3,127.0.0.1,$(ready_udp_port),$(file_type_number "$2"),1" </dev/null >"$work/cli.out" 2>&1 ||
    { echo "the upload failed: $(tail -3 "$work/cli.out"); the terminal: $(tail -2 "$work/out.err")" >&2; exit 1; }
  ended=$(now_s)
  wait_terminal 20 || { echo "the terminal says: $(cat "$work/out.err")" >&2; exit 1; }
  WALL=$(echo "$ended - $started" | bc -l)
  FRAMES=$(summary_field frames "$work/out.err")
  SPAN=$(summary_field span "$work/out.err")
  BYTES_IN=$(summary_field in "$work/out.err")
  BYTES_OUT=$(summary_field out "$work/out.err")
  PEAK_KB=$(cat "$work/time")
}

for type in bin shx; do
  loader=() pingpong=() ratios=() whole=()
  for _ in $(seq "$pairs"); do
    upload "$work/program.$type" "$type"
    rate=$(echo "($FRAMES - 1) / $SPAN" | bc -l)
    request=$(((BYTES_IN + FRAMES / 2) / FRAMES))
    answer=$(((BYTES_OUT + FRAMES / 2) / FRAMES))
    line=$(timeout 60 "$bin/vorlanth_bench_udp_pingpong" "$FRAMES" "$request" "$answer")
    bare=$(sed -n 's/.*: \([0-9]*\) per second/\1/p' <<<"$line")
    loader+=("$rate")
    pingpong+=("$bare")
    ratios+=("$(echo "$rate / $bare" | bc -l)")
    whole+=("$(echo "$FRAMES / $WALL / $bare" | bc -l)")
    printf '%s: %d frames in %.3f s (whole run %.3f s; %d/%d bytes a frame), %.0f/s; %s; ratio %.3f\n' \
      "$type" "$FRAMES" "$SPAN" "$WALL" "$request" "$answer" "$rate" "$line" "${ratios[-1]}" >&2
  done
  echo "RESULT udp $type $(stats_quartiles "${ratios[@]}") $(stats_quartiles "${loader[@]}" | cut -d' ' -f1)" \
    "$(stats_quartiles "${pingpong[@]}" | cut -d' ' -f1) $(stats_quartiles "${whole[@]}" | cut -d' ' -f1) $pairs"
  if [[ $type == bin ]]; then big_peak=$PEAK_KB; fi
done

upload examples/app.bin bin
echo "RESULT memory $big_peak $PEAK_KB"
