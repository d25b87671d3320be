#!/usr/bin/env bash
# vorlanth-cli.exe --fleet under Wine: two terminals at once, one through COM3 (a link to a
# virtual terminal's pseudo-terminal) and one over Winsock UDP on 127.0.0.1, each in a thread
# of its own with its own Winsock start-up. Both must hold their program, the exit code be 0,
# and the JSON stream carry each target; then a list with a bad line uploads nothing (exit 2).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
source tests/process/lib.sh
wine_test_start

work=$(mktemp -d)
com_link="$WINEPREFIX/dosdevices/com3"
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null
  rm -f "$com_link"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX/dosdevices"
failures=0

start_terminal "$work/com" --pty --expect examples/app.shx --type shx --idle-timeout 60 || exit 1
pids+=("$TERMINAL_PID")
ln -sf "$(ready_pty)" "$com_link"
start_terminal "$work/udp" --udp 0 --expect examples/app.bin --type bin --idle-timeout 60 || exit 1
pids+=("$TERMINAL_PID")
printf 'examples/app.shx,1,3,1,0,1\r\nexamples/app.bin,3,127.0.0.1,%s,2,1\r\n' "$(ready_udp_port)" \
  >"$work/list"
timeout 120 scripts/wine-run "$bin/vorlanth-cli.exe" --json --fleet "$work/list" \
  >"$work/events" 2>"$work/stderr" </dev/null
code=$?
[[ $code -eq 0 ]] || fail "exit $code: $(cat "$work/stderr")"
for i in 0 1; do
  TERMINAL_PID=${pids[i]}
  wait_terminal 20 || fail "terminal $((i + 1)) does not hold its program: $(tail -2 "$work/"{com,udp}.err)"
done
pids=()
tr -d '\r' <"$work/events" | python3 -c '
import json, sys
events = [json.loads(line) for line in sys.stdin]
fleet = events[-1]
assert fleet["event"] == "fleet" and fleet["succeeded"] == 2 and fleet["exitCode"] == 0, fleet
assert {e["target"]["line"] for e in events[:-1]} == {1, 2}, events
' || fail "JSON: $(tail -3 "$work/events")"
grep -q "2 of 2 uploaded" "$work/stderr" || fail "no summary: $(cat "$work/stderr")"

# A bad line: nothing reaches the terminal on COM3.
start_terminal "$work/com" --pty --idle-timeout 60 || exit 1
pids+=("$TERMINAL_PID")
ln -sf "$(ready_pty)" "$com_link"
printf 'examples/app.shx,1,3,1,0,1\r\nexamples/app.shx,1,3,1,0,0\r\n' >"$work/list"
timeout 120 scripts/wine-run "$bin/vorlanth-cli.exe" --fleet "$work/list" >/dev/null \
  2>"$work/stderr" </dev/null
code=$?
kill "${pids[@]}"
wait "${pids[@]}" 2>/dev/null
pids=()
[[ $code -eq 2 ]] && grep -q ":2: examples/app.shx,1,3,1,0,0: Wrong execution mode specified!" "$work/stderr" ||
  fail "bad list: exit $code: $(cat "$work/stderr")"
grep -q "frames 0 " "$work/com.err" || fail "bad list: the terminal was reached: $(cat "$work/com.err")"

echo "$failures failed"
[[ $failures -eq 0 ]]
