#!/usr/bin/env bash
# The check of the whole program before the terminal is touched, measured two ways:
#  - its cost: vorlanth-cli --check on the 1 MiB programs (best of 5, the whole process) against
#    the time the same upload needs on a 115200 bit/s line: the bytes the terminal counted both
#    ways in an unpaced UDP upload, ten bits a byte (a paced upload takes at least that long, so
#    the ratio errs on the high side);
#  - memory that stays flat: the loader's peak resident size uploading 64 MiB programs (a binary
#    image and S-record text) and the largest BASIC program over UDP, against a 1 KiB program.
# Usage: bench/check_pass.sh [BIN_DIR]   (from the repository root; a build without sanitizers)
# Prints "RESULT check TYPE CHECK_S LINE_S PERCENT" and "RESULT flat TYPE PEAK_KB SMALL_KB".
set -euo pipefail
bin=$(realpath "${1:-build/linux/bin}")
source bench/common.sh
bench_setup

# upload FILE TYPE: one upload over UDP; sets PEAK_KB and LINE_BYTES (both ways).
upload() {
  start_terminal "$work/out" --udp 0 --idle-timeout 60
  /usr/bin/time -o "$work/time" -f "%M" timeout 600 "$bin/vorlanth-cli" \
    "$1,3,127.0.0.1,$(ready_udp_port),$(file_type_number "$2"),1" </dev/null >"$work/cli.out" 2>&1 ||
    { echo "the upload of $1 failed: $(tail -3 "$work/cli.out")" >&2; exit 1; }
  wait_terminal 30 || { echo "the terminal says: $(cat "$work/out.err")" >&2; exit 1; }
  PEAK_KB=$(cat "$work/time")
  LINE_BYTES=$(($(summary_field in "$work/out.err") + $(summary_field out "$work/out.err")))
}

# check_seconds FILE: the best of five runs of vorlanth-cli --check FILE, in seconds.
check_seconds() {
  local times=() _ started
  for _ in 1 2 3 4 5; do
    started=$(now_s)
    "$bin/vorlanth-cli" --check "$1" >/dev/null
    times+=("$(echo "$(now_s) - $started" | bc -l)")
  done
  stats_min "${times[@]}" | cut -d' ' -f1
}

for type in bin shx; do
  upload "$work/program.$type" "$type"
  line=$(echo "$LINE_BYTES * 10 / 115200" | bc -l)
  check=$(check_seconds "$work/program.$type")
  echo "RESULT check $type $check $line $(echo "100 * $check / $line" | bc -l)"
done

# A 1 KiB program of each kind, and the large ones: 64 MiB of binary image and of S-record
# text, and the largest BASIC program there is (both counts 65535). BASIC programs go in a
# folder without a dot in its path: the companion's name is cut at the path's first dot.
qbx=$(mktemp -d /tmp/vorlanthqbxXXXXXX)
trap 'rm -rf "$qbx"; if [[ -n $TERMINAL_PID ]]; then kill "$TERMINAL_PID" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
python3 - "$work" "$qbx" <<'PY'
import random, struct, sys
work, qbx = sys.argv[1], sys.argv[2]
rng = random.Random(64)
def image(path, size):
    data = bytes(rng.randrange(255) for _ in range(size)) if size < 65536 else \
        (bytes(range(255)) * (size // 255 + 1))[:size]
    with open(path, "wb") as out:
        out.write(b"TOLVEXSTART" + struct.pack(">II", 0x00100000, len(data)) + data + b"TOLVEXEND")
def basic(name, count):
    with open(f"{qbx}/{name}.qbx", "wb") as out:
        out.write(bytes(8) + struct.pack("<H", count) + bytes(64) * (count + (count + 1) // 2)
                  + struct.pack("<H", count) + bytes(64) * count)
    with open(f"{qbx}/{name}.ini", "wb") as out:
        out.write(b"[Settings]\n")
image(f"{work}/small.bin", 1000)
image(f"{work}/large.bin", 64 << 20)
basic("small", 5)
basic("large", 65535)
PY
timeout 60 "$bin/vorlanth_bench_srecord" --generate "$work/large.shx" 64 >/dev/null
head -n 12 "$work/program.shx" >"$work/small.shx"
echo "S70500000000FA" >>"$work/small.shx"

for type in bin shx qbx; do
  folder=$work
  [[ $type == qbx ]] && folder=$qbx
  upload "$folder/small.$type" "$type"
  small=$PEAK_KB
  upload "$folder/large.$type" "$type"
  echo "RESULT flat $type $PEAK_KB $small $(stat -c %s "$folder/large.$type")"
done
