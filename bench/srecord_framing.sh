#!/usr/bin/env bash
# Frames a 64 MB S-record file to a null link (a port that answers "FA\r" at once, through the
# real link code) and converts the same file with objcopy -I srec -O binary, in the same run.
# Each side runs three times and its best time counts; prints rates and ratios. Then
# interleaved pairs against objcopy: the whole process (both passes) and vorlanth-cli --check.
# Usage: bench/srecord_framing.sh [BIN_DIR] [MB]   (BIN_DIR of a build without sanitizers)
set -euo pipefail
bin=${1:-build/linux/bin}
megabytes=${2:-64}
bench=$bin/vorlanth_bench_srecord
command -v objcopy >/dev/null || { echo "objcopy (binutils) is needed" >&2; exit 2; }
work=$(mktemp -d /tmp/vorlanth-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
file=$work/program.shx

timeout 120 "$bench" --generate "$file" "$megabytes"
size=$(stat -c %s "$file")
cat "$file" >/dev/null  # both sides read from the page cache

# Runs a command three times; prints the best wall-clock and best CPU (user + system) seconds.
best_of_three() {
  local best_wall=999999 best_cpu=999999 wall cpu
  for _ in 1 2 3; do
    local TIMEFORMAT='%R %U %S'
    read -r wall user system < <({ time timeout 300 "$@" >"$work/out" 2>&1; } 2>&1)
    cpu=$(echo "$user + $system" | bc -l)
    best_wall=$(echo "if ($wall < $best_wall) $wall else $best_wall" | bc -l)
    best_cpu=$(echo "if ($cpu < $best_cpu) $cpu else $best_cpu" | bc -l)
  done
  echo "$best_wall $best_cpu"
}

# The framing alone, timed inside the bench with the file already in memory.
best_framing=999999
for _ in 1 2 3; do
  line=$(timeout 300 "$bench" --memory "$file")
  cpu=$(sed -E 's/.*cpu ([0-9.]+) s.*/\1/' <<<"$line")
  best_framing=$(echo "if ($cpu < $best_framing) $cpu else $best_framing" | bc -l)
done
echo "vorlanth: $line"

read -r ours_wall ours_cpu < <(best_of_three "$bench" "$file")
echo "vorlanth: $(cat "$work/out")"
read -r theirs_wall theirs_cpu < <(best_of_three objcopy -I srec -O binary "$file" "$work/program.bin")
echo "objcopy: $(stat -c %s "$work/program.bin") bytes of binary written"

rate() { echo "$size / 1048576 / $1" | bc -l; }
printf 'file: %d bytes\n' "$size"
printf '%-52s %7.3f s  %8.1f MB/s\n' \
  "vorlanth framing (in memory, cpu)" "$best_framing" "$(rate "$best_framing")" \
  "vorlanth whole process (256-byte file reads, wall)" "$ours_wall" "$(rate "$ours_wall")" \
  "vorlanth whole process (256-byte file reads, cpu)" "$ours_cpu" "$(rate "$ours_cpu")" \
  "objcopy -I srec -O binary (wall)" "$theirs_wall" "$(rate "$theirs_wall")" \
  "objcopy -I srec -O binary (cpu)" "$theirs_cpu" "$(rate "$theirs_cpu")"
printf 'ratio, framing vs objcopy (cpu):            %.2f\n' "$(echo "$theirs_cpu / $best_framing" | bc -l)"
printf 'ratio, whole process vs objcopy (cpu):      %.2f\n' "$(echo "$theirs_cpu / $ours_cpu" | bc -l)"
printf 'ratio, whole process vs objcopy (wall):     %.2f\n' "$(echo "$theirs_wall / $ours_wall" | bc -l)"

# Interleaved pairs (PAIRS, default 5): the whole process (both passes) and then vorlanth-cli
# --check alone, each against an objcopy run right after it, so that the load of the moment
# weighs on both sides alike; CPU seconds (user + system); the median of the ratios.
cpu_of() {
  local TIMEFORMAT='%U %S' user system
  read -r user system < <({ time timeout 300 "$@" >"$work/out" 2>&1; } 2>&1)
  echo "$user + $system" | bc -l
}
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
whole=() check=()
for _ in $(seq "${VORLANTH_BENCH_PAIRS:-5}"); do
  ours=$(cpu_of "$bench" "$file")
  theirs=$(cpu_of objcopy -I srec -O binary "$file" "$work/program.bin")
  whole+=("$(echo "$theirs / $ours" | bc -l)")
  ours=$(cpu_of "$(dirname "$bench")/vorlanth-cli" --check "$file")
  theirs=$(cpu_of objcopy -I srec -O binary "$file" "$work/program.bin")
  check+=("$(echo "$theirs / $ours" | bc -l)")
  printf 'pair: whole process %.2f, --check %.2f (objcopy cpu %.3f s)\n' "${whole[-1]}" "${check[-1]}" "$theirs"
done
read -r med low high _ < <(stats_quartiles "${whole[@]}")
printf 'ratio, whole process vs objcopy (cpu, median of pairs): %.2f %.2f %.2f %d\n' "$med" "$low" "$high" "${#whole[@]}"
read -r med low high _ < <(stats_quartiles "${check[@]}")
printf 'ratio, --check vs objcopy (cpu, median of pairs):       %.2f %.2f %.2f %d\n' "$med" "$low" "$high" "${#check[@]}"
