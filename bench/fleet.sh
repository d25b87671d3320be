#!/usr/bin/env bash
# A fleet against one upload alone, measured side by side in the same run, in interleaved pairs
# (one alone, then the fleet; PAIRS times). Every terminal gets the same 64 KiB binary image
# (1024 records).
#   bench/fleet.sh SIZE WRITE_MS [PAIRS] [BIN_DIR]
#     SIZE virtual terminals over UDP on 127.0.0.1, each writing its flash WRITE_MS a record:
#     the fleet's wall time ÷ one such upload's, the loader's CPU for the whole fleet as a share
#     of one core and per record (alone and in the fleet), and its peak memory ÷ one upload's.
#   bench/fleet.sh --pty SIZE [PAIRS] [BIN_DIR]
#     SIZE pseudo-terminals paced at 115200 bit/s: the fleet's wall time ÷ one upload's.
# (From the repository root.) Prints "RESULT fleet udpSIZE RATIO_MEDIAN RATIO_MIN RATIO_MAX
# CPU%_MEDIAN PEAK_RATIO ALONE_S FLEET_S PAIRS CPU_US_PER_RECORD_ALONE CPU_US_PER_RECORD_FLEET
# PEAK_KB_FLEET PEAK_KB_ALONE" or "RESULT fleet ptySIZE RATIO_MEDIAN RATIO_MIN RATIO_MAX ALONE_S
# FLEET_S PAIRS".
set -euo pipefail
link=udp
if [[ ${1:-} == --pty ]]; then
  link=pty
  shift
fi
size=${1:?the fleet size}
if [[ $link == udp ]]; then
  write_ms=${2:?the flash write time in ms}
  shift 2
else
  shift
fi
pairs=${1:-3}
bin=$(realpath "${2:-build/linux/bin}")
records=1024
source bench/common.sh
bench_setup
python3 - "$work/fleet.bin" <<'PY'
import random, struct, sys
rng = random.Random(2027)
data = bytes(rng.randrange(255) for _ in range(64 * 1024))
with open(sys.argv[1], "wb") as out:
    out.write(b"TOLVEXSTART" + struct.pack(">II", 0x00100000, len(data)) + data + b"TOLVEXEND")
PY
program=$work/fleet.bin
terminals=()
trap 'kill "${terminals[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

# start_terminals COUNT LINK OPTIONS...: COUNT terminals expecting the program; writes the
# fleet list to $work/list (COM ports 31.. for pseudo-terminals).
start_terminals() {
  local count=$1 link=$2 i
  shift 2
  terminals=()
  : >"$work/list"
  for i in $(seq "$count"); do
    if [[ $link == udp ]]; then
      start_terminal "$work/t$i" --udp 0 --expect "$program" --type bin --idle-timeout 120 "$@"
      echo "$program,3,127.0.0.1,$(ready_udp_port),2,1" >>"$work/list"
    else
      start_terminal "$work/t$i" --link "$work/com$((30 + i))" --expect "$program" --type bin \
        --idle-timeout 120 "$@"
      export "VORLANTH_COM$((30 + i))=$work/com$((30 + i))"
      echo "$program,1,$((30 + i)),1,2,1" >>"$work/list"
    fi
    terminals+=("$TERMINAL_PID")
  done
}

# check_terminals: every terminal ended holding the program.
check_terminals() {
  local pid
  for pid in "${terminals[@]}"; do
    TERMINAL_PID=$pid
    wait_terminal 30 || { echo "a terminal does not hold the program" >&2; exit 1; }
  done
  terminals=()
}

# timed OUT ARGS...: runs vorlanth-cli ARGS under /usr/bin/time; sets WALL (s), CPU (s), PEAK_KB.
timed() {
  local started ended
  started=$(now_s)
  /usr/bin/time -o "$work/time" -f "%U %S %M" timeout 600 "$bin/vorlanth-cli" "$@" \
    </dev/null >"$work/cli.out" 2>&1 ||
    { echo "vorlanth-cli $*: $(tail -5 "$work/cli.out")" >&2; exit 1; }
  ended=$(now_s)
  WALL=$(echo "$ended - $started" | bc -l)
  read -r user system PEAK_KB <"$work/time"
  CPU=$(echo "$user + $system" | bc -l)
}

# median VALUES...: the middle value.
median() { stats_quartiles "$@" | cut -d' ' -f1; }

# pair KIND COUNT LINK OPTIONS...: one upload alone, then the fleet of COUNT; appends the ratio.
pair() {
  local kind=$1 count=$2 link=$3
  shift 3
  start_terminals 1 "$link" "$@"
  timed "$(head -1 "$work/list")"
  check_terminals
  local alone=$WALL alone_peak=$PEAK_KB alone_cpu=$CPU
  start_terminals "$count" "$link" "$@"
  timed --fleet "$work/list"
  check_terminals
  ratios+=("$(echo "$WALL / $alone" | bc -l)")
  cpus+=("$(echo "100 * $CPU / $WALL" | bc -l)")
  peaks+=("$(echo "$PEAK_KB / $alone_peak" | bc -l)")
  alones+=("$alone")
  fleets+=("$WALL")
  alone_per_record+=("$(echo "1000000 * $alone_cpu / $records" | bc -l)")
  fleet_per_record+=("$(echo "1000000 * $CPU / ($records * $count)" | bc -l)")
  fleet_peaks+=("$PEAK_KB")
  alone_peaks+=("$alone_peak")
  printf '%s: alone %.2f s (cpu %.3f s, %d KiB); fleet of %d %.2f s, cpu %.2f s, %d KiB; load %s\n' \
    "$kind" "$alone" "$alone_cpu" "$alone_peak" "$count" "$WALL" "$CPU" "$PEAK_KB" \
    "$(cut -d' ' -f1-3 /proc/loadavg)" >&2
}

ratios=() cpus=() peaks=() alones=() fleets=() alone_per_record=() fleet_per_record=()
fleet_peaks=() alone_peaks=()
if [[ $link == udp ]]; then
  for _ in $(seq "$pairs"); do pair "udp$size" "$size" udp --write-ms "$write_ms"; done
  echo "RESULT fleet udp$size $(stats_quartiles "${ratios[@]}" | cut -d' ' -f1-3)" \
    "$(median "${cpus[@]}") $(median "${peaks[@]}") $(median "${alones[@]}") $(median "${fleets[@]}") $pairs" \
    "$(median "${alone_per_record[@]}") $(median "${fleet_per_record[@]}")" \
    "$(median "${fleet_peaks[@]}") $(median "${alone_peaks[@]}")"
else
  for _ in $(seq "$pairs"); do pair "pty$size" "$size" pty --baud 115200; done
  echo "RESULT fleet pty$size $(stats_quartiles "${ratios[@]}" | cut -d' ' -f1-3)" \
    "$(median "${alones[@]}") $(median "${fleets[@]}") $pairs"
fi
