#!/usr/bin/env bash
# SIGTERM in the middle of a fleet: two targets sending (a pseudo-terminal paced at 9600 bit/s,
# a UDP terminal writing its flash 50 ms a record), a third still waiting its turn under
# --jobs 2. The run must end within 0.5 s with 143, every target through its close path (the
# device's settings as they were found, the device free for the next run at once), the waiting
# target never started, and the summary and the JSON stream say so.
set -uo pipefail
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" "${loader:-}" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

start_terminal "$work/t1" --link "$work/com4" --baud 9600 --expect examples/app.bin --type bin \
  --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
pty=$(ready_pty)
before=$(stty -g -F "$pty")
start_terminal "$work/t2" --udp 0 --write-ms 50 --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
second_port=$(ready_udp_port)
start_terminal "$work/t3" --udp 0 --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
printf 'examples/app.bin,1,4,5,2,1\nexamples/app.bin,3,127.0.0.1,%s,2,1\nexamples/app.bin,3,127.0.0.1,%s,2,1\n' \
  "$second_port" "$(ready_udp_port)" >"$work/list"

VORLANTH_COM4=$pty "$bin/vorlanth-cli" --json --jobs 2 --fleet "$work/list" >"$work/events" \
  2>"$work/stderr" </dev/null &
loader=$!
for _ in $(seq 250); do
  grep -q '"event":"progress","target":{"line":1,.*"percent":[1-9]' "$work/events" 2>/dev/null &&
    grep -q '"event":"progress","target":{"line":2,.*"percent":[1-9]' "$work/events" && break
  sleep 0.02
done
sent=$(now_ms)
kill -TERM "$loader"
wait "$loader"
code=$?
elapsed=$(($(now_ms) - sent))
loader=""
[[ $code -eq 143 ]] || fail "exit $code, wanted 143"
[[ $elapsed -lt 500 ]] || fail "the fleet took $elapsed ms to end"
[[ $(stty -g -F "$pty") == "$before" ]] || fail "the device's settings were not restored"
grep -q "vorlanth: stopped by SIGTERM" "$work/stderr" || fail "no stop message: $(cat "$work/stderr")"
grep -q "(stopped by SIGTERM)" "$work/stderr" || fail "the summary does not say so: $(cat "$work/stderr")"
grep -q "retry" "$work/stderr" && fail "a retry was made after the stop"
python3 - "$work/events" <<'PY' || fail "JSON: $(grep -v progress "$work/events" | tail -8)"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
assert events[-2] == {"event": "stopped", "signal": "SIGTERM"}, events[-2]
fleet = events[-1]
assert fleet["event"] == "fleet" and fleet["exitCode"] == 143, fleet
outcomes = [(r["line"], r["outcome"], r["exitCode"]) for r in fleet["results"]]
assert outcomes == [(1, "stopped", 143), (2, "stopped", 143), (3, "not started", 143)], outcomes
assert fleet["results"][0]["message"] == "stopped by SIGTERM", fleet
assert not any(e.get("target", {}).get("line") == 3 for e in events), "the third target started"
PY
echo "seen: stopped in $elapsed ms with exit $code"

# The device is free at once: the next run uploads the whole program to the same terminal.
VORLANTH_COM4=$pty timeout 60 "$bin/vorlanth-cli" examples/app.bin,1,4,5,2,1 >"$work/second" 2>&1 </dev/null ||
  fail "second run: $(cat "$work/second")"
TERMINAL_PID=${pids[0]}
wait_terminal 20 || fail "second run: the terminal does not hold the program"

echo "$failures failed"
[[ $failures -eq 0 ]]
