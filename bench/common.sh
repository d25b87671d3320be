# Shared by the benchmark scripts: their set-up, the programs they upload and the statistics
# they print. Sourced after $bin (the Linux build's bin folder) is set.

# bench_setup: the process-test helpers, a scratch folder $work removed at exit (with the
# terminal still running then), settings kept in it, and the programs to upload.
bench_setup() {
  export VORLANTH_LINUX_BIN=$bin
  source tests/process/lib.sh
  work=$(mktemp -d /tmp/vorlanth-bench.XXXXXX)
  TERMINAL_PID=""
  trap 'if [[ -n $TERMINAL_PID ]]; then kill "$TERMINAL_PID" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
  export XDG_CONFIG_HOME=$work/config
  make_programs
}

# make_programs: writes $work/program.bin, a sectioned binary image of one 1 MiB section of
# pseudo-random bytes without erased (0xFF) bytes, and $work/program.shx, 1 MiB of S3 text.
make_programs() {
  python3 - "$work/program.bin" <<'PY'
import random, struct, sys
rng = random.Random(2026)
data = bytes(rng.randrange(255) for _ in range(1 << 20))
with open(sys.argv[1], "wb") as out:
    out.write(b"TOLVEXSTART" + struct.pack(">II", 0x00100000, len(data)) + data + b"TOLVEXEND")
PY
  timeout 60 "$bin/vorlanth_bench_srecord" --generate "$work/program.shx" 1 >/dev/null
}

# stats VALUES...: "best spread" of the numbers, the best being the smallest.
stats_min() { tr ' ' '\n' <<<"$*" | sort -g | awk 'NR==1{b=$1} {w=$1} END{printf "%.4f %.4f\n", b, w-b}'; }
# stats_max VALUES...: "best spread" of the numbers, the best being the largest.
stats_max() { tr ' ' '\n' <<<"$*" | sort -gr | awk 'NR==1{b=$1} {w=$1} END{printf "%.4f %.4f\n", b, b-w}'; }

# stats_quartiles VALUES...: "median lowest highest first-quartile third-quartile" (quartiles as
# the medians of the lower and upper halves).
stats_quartiles() {
  tr ' ' '\n' <<<"$*" | sort -g | awk '
    function mid(a, b) { return (b - a) % 2 == 0 ? v[(a + b) / 2] : (v[(a + b - 1) / 2] + v[(a + b + 1) / 2]) / 2 }
    {v[NR] = $1}
    END {h = int(NR / 2); printf "%.4f %.4f %.4f %.4f %.4f\n", mid(1, NR), v[1], v[NR], mid(1, h), mid(NR - h + 1, NR)}'
}

# now_s: the monotonic-enough wall clock in seconds with nanoseconds.
now_s() { date +%s.%N; }

# summary_field NAME FILE: from the terminal's summary line, the number before " in" (NAME=in),
# before " out" (out), after "frames " (frames), or the seconds from the first frame to the
# last (span).
summary_field() {
  case $1 in
    span) sed -n 's/.*first to last frame \([0-9.]*\) s.*/\1/p' "$2" ;;
    in) sed -n 's/.*bytes \([0-9]*\) in.*/\1/p' "$2" ;;
    out) sed -n 's/.*bytes [0-9]* in, \([0-9]*\) out.*/\1/p' "$2" ;;
    frames) sed -n 's/.*frames \([0-9]*\).*/\1/p' "$2" ;;
  esac
}
