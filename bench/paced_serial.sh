#!/usr/bin/env bash
# Uploads a 1 MiB binary image and 1 MiB of S-record text with vorlanth-cli to the virtual
# terminal over a pseudo-terminal paced at 115200 bit/s (10 bits a byte, both directions).
# Per file type, over RUNS runs: wall time ÷ the time the bytes need on the line (the terminal's
# "bytes N in, M out"), the loader's CPU seconds ÷ wall seconds, and the wall time beyond the
# line time per frame. Goals: ≤ 1.02 and ≤ 1 %. About 140 s a run: run by hand, not in CI.
# In the same run, bench/paced_bare_client.py sends 2000 such records with nothing around the
# protocol: the excess it sees is the virtual terminal's own pacing, not the loader's.
# Usage: bench/paced_serial.sh [BIN_DIR] [RUNS]   (from the repository root)
# Prints "RESULT paced TYPE RATIO_BEST RATIO_SPREAD CPU%_BEST CPU%_SPREAD MS_PER_FRAME RUNS"
# (TYPE bare: the bare client, CPU not measured).
set -euo pipefail
bin=$(realpath "${1:-build/linux/bin}")
runs=${2:-2}
baud=115200
source bench/common.sh
bench_setup

for type in bin shx; do
  ratios=() cpus=() overheads=()
  for run in $(seq "$runs"); do
    start_terminal "$work/out" --link "$work/com5" --baud "$baud" --expect "$work/program.$type" \
      --type "$type" --idle-timeout 30
    started=$(now_s)
    VORLANTH_COM5=$work/com5 /usr/bin/time -o "$work/time" -f "%U %S" timeout 400 \
      "$bin/vorlanth-cli" "$work/program.$type,1,5,1,$(file_type_number "$type"),1" \
      </dev/null >"$work/cli.out" 2>&1 ||
      { echo "the upload failed: $(tail -3 "$work/cli.out"); the terminal: $(tail -2 "$work/out.err")" >&2; exit 1; }
    ended=$(now_s)
    wait_terminal 20 || { echo "the terminal says: $(cat "$work/out.err")" >&2; exit 1; }
    bytes_in=$(summary_field in "$work/out.err")
    bytes_out=$(summary_field out "$work/out.err")
    frames=$(summary_field frames "$work/out.err")
    read -r user system <"$work/time"
    line=$(echo "($bytes_in + $bytes_out) * 10 / $baud" | bc -l)
    wall=$(echo "$ended - $started" | bc -l)
    ratios+=("$(echo "$wall / $line" | bc -l)")
    cpus+=("$(echo "100 * ($user + $system) / $wall" | bc -l)")
    overheads+=("$(echo "1000 * ($wall - $line) / $frames" | bc -l)")
    printf '%s run %d: wall %.2f s, line %.2f s (%d bytes in, %d out, %d frames), cpu %.2f s\n' \
      "$type" "$run" "$wall" "$line" "$bytes_in" "$bytes_out" "$frames" \
      "$(echo "$user + $system" | bc -l)" >&2
  done
  read -r ratio_best ratio_spread < <(stats_min "${ratios[@]}")
  read -r cpu_best cpu_spread < <(stats_min "${cpus[@]}")
  read -r overhead_best _ < <(stats_min "${overheads[@]}")
  echo "RESULT paced $type $ratio_best $ratio_spread $cpu_best $cpu_spread $overhead_best $runs"
done

ratios=() overheads=()
for run in $(seq "$runs"); do
  start_terminal "$work/out" --link "$work/com5" --baud "$baud" --idle-timeout 30
  bare=$(timeout 120 python3 bench/paced_bare_client.py "$work/com5" 2000 | sed -n 's/^bare //p')
  wait_terminal 20 || { echo "the terminal says: $(cat "$work/out.err")" >&2; exit 1; }
  bytes_in=$(summary_field in "$work/out.err")
  bytes_out=$(summary_field out "$work/out.err")
  frames=$(summary_field frames "$work/out.err")
  line=$(echo "($bytes_in + $bytes_out) * 10 / $baud" | bc -l)
  ratios+=("$(echo "$bare / $line" | bc -l)")
  overheads+=("$(echo "1000 * ($bare - $line) / $frames" | bc -l)")
  printf 'bare client run %d: wall %.2f s, line %.2f s (%d frames)\n' "$run" "$bare" "$line" "$frames" >&2
done
read -r ratio_best ratio_spread < <(stats_min "${ratios[@]}")
read -r overhead_best _ < <(stats_min "${overheads[@]}")
echo "RESULT paced bare $ratio_best $ratio_spread 0 0 $overhead_best $runs"
