# Shared by the process, Wine and soak tests: start the virtual terminal and wait for it.
# Sourced; expects VORLANTH_LINUX_BIN or VORLANTH_BIN to name the Linux programs.

# process_test_start: what a process test starts with: bin (VORLANTH_BIN, else build/linux/bin),
# a scratch folder $work removed at exit (a terminal still running is stopped), a settings
# folder of its own, and fail, which says a failure and counts it in failures.
process_test_start() {
  bin=${VORLANTH_BIN:-build/linux/bin}
  work=$(mktemp -d)
  trap 'kill $TERMINAL_PID 2>/dev/null; rm -rf "$work"' EXIT
  export XDG_CONFIG_HOME=$work/config
  failures=0
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# wine_test_start: what a test of the Windows programs starts with: bin (VORLANTH_BIN, else
# build/windows/bin), the checkout's Wine prefix without a display; exits with SKIP when the
# Linux virtual terminal is not built.
wine_test_start() {
  bin="${VORLANTH_BIN:-build/windows/bin}"
  export VORLANTH_WINE_NO_DISPLAY=1
  source scripts/wine-env
  vorlanth_wine_prefix
  if [[ ! -x "$(termsim_bin)" ]]; then
    echo "SKIP: $(termsim_bin) is missing (build the linux preset first)"
    exit 0
  fi
}

termsim_bin() { echo "${VORLANTH_LINUX_BIN:-${VORLANTH_BIN:-build/linux/bin}}/vorlanth-termsim"; }

# project_version: the version in project() of CMakeLists.txt, the one every program shows.
project_version() { sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt; }

# start_terminal OUTFILE ARGS...: starts the terminal in the background, sets TERMINAL_PID and
# READY_LINE (the terminal's ready line); fails when it does not get ready within 10 s. With
# TERMINAL_TIMEOUT set, the terminal runs under timeout(1) for at most that many seconds
# (--foreground: a stop signal then reaches the terminal once, not again through its group).
start_terminal() {
  local out=$1
  shift
  # Emptied here, not by the background start's redirection: until that runs, a ready line
  # left from an earlier terminal would pass for this one's (and name its closed port).
  : >"$out"
  : >"$out.err"
  ${TERMINAL_TIMEOUT:+timeout --foreground "$TERMINAL_TIMEOUT"} "$(termsim_bin)" "$@" >>"$out" 2>>"$out.err" &
  TERMINAL_PID=$!
  READY_LINE=""
  local _
  for _ in $(seq 200); do
    READY_LINE=$(grep -m1 '^READY' "$out" 2>/dev/null || true)
    [[ -n $READY_LINE ]] && return 0
    kill -0 "$TERMINAL_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "the virtual terminal did not get ready: $(cat "$out.err")" >&2
  return 1
}

# The UDP port of a "READY udp=127.0.0.1:PORT" line.
ready_udp_port() { sed -n 's/.*udp=127\.0\.0\.1:\([0-9]*\).*/\1/p' <<<"$READY_LINE"; }
# The pseudo-terminal of a "READY pty=/dev/pts/N ..." line.
ready_pty() { sed -n 's/.*pty=\([^ ]*\).*/\1/p' <<<"$READY_LINE"; }

# wait_terminal SECONDS: waits for the terminal to end; its exit status, or 124 when it had to
# be stopped.
wait_terminal() {
  local limit=$1 _
  for _ in $(seq $((limit * 20))); do
    kill -0 "$TERMINAL_PID" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$TERMINAL_PID" 2>/dev/null; then
    kill "$TERMINAL_PID" 2>/dev/null
    wait "$TERMINAL_PID" 2>/dev/null
    return 124
  fi
  wait "$TERMINAL_PID"
}

# Milliseconds of the wall clock, for measuring how soon something ends.
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# file_type_number shx|bin|qbx: the loader's file type field.
file_type_number() {
  case $1 in shx) echo 0 ;; qbx) echo 1 ;; bin) echo 2 ;; esac
}
