#!/usr/bin/env bash
# The Windows serial port under Wine: COM3 is linked to a pseudo-terminal whose master side a
# small Python far end answers ("PING\r" → "FA" at 200 ms and CR at 500 ms; "STALE\r" →
# "FF\r" at once; as tests/platform/link_peers.cpp). The platform tests' serial cases run in
# one Wine process and must all pass, none skipped. Two cases are left out, for what Wine does
# rather than what the program does: Wine does not enforce a share mode of 0 on a COM device
# (a second CreateFileA succeeds there, where Windows refuses it), and Wine's own serial read
# keeps a core busy for the whole wait once the pseudo-terminal's master is closed (one
# ReadFile waiting 500 ms costs about 480 ms CPU).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin="${VORLANTH_BIN:-$root/build/windows/bin}"
source "$root/scripts/wine-env"
vorlanth_wine_prefix

work="$(mktemp -d)"
far_end_pid=""
com_link="$WINEPREFIX/dosdevices/com3"
cleanup() {
  if [[ -n "$far_end_pid" ]]; then kill "$far_end_pid" 2>/dev/null || true; fi
  rm -f "$com_link"
  rm -rf "$work"
}
trap cleanup EXIT

timeout 180 python3 - "$work/slave" <<'PY' &
import os, pty, sys, time, tty
master, slave = pty.openpty()
tty.setraw(slave)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(os.ttyname(slave))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
line = b""
while True:
    byte = os.read(master, 1)
    line += byte
    if byte != b"\r":
        continue
    if line == b"PING\r":
        time.sleep(0.2)
        os.write(master, b"FA")
        time.sleep(0.3)
        os.write(master, b"\r")
    elif line == b"STALE\r":
        os.write(master, b"FF\r")
    line = b""
PY
far_end_pid=$!

for _ in $(seq 50); do
  [[ -s "$work/slave" ]] && break
  sleep 0.1
done
[[ -s "$work/slave" ]] || { echo "the far end did not start"; exit 1; }
mkdir -p "$WINEPREFIX/dosdevices"
ln -sf "$(cat "$work/slave")" "$com_link"

output="$work/output.txt"
status=0
VORLANTH_TEST_COM=3 VORLANTH_WINE_NO_DISPLAY=1 timeout 240 "$root/scripts/wine-run" \
  "$bin/vorlanth_platform_tests.exe" --gtest_filter='SerialPortOnThisSystem.*:-*RefusesASecondOpen:*HungUpLine*' \
  >"$output" 2>&1 || status=$?
cat "$output"
if [[ $status -ne 0 ]]; then
  echo "serial tests failed under Wine (status $status)"
  exit 1
fi
if grep -q "SKIPPED" "$output" || ! grep -q "PASSED  \] 3 tests" "$output"; then
  echo "the serial tests did not all run"
  exit 1
fi
