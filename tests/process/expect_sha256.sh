#!/usr/bin/env bash
# The program's SHA-256 (compared with sha256sum's) and --expect-sha256, against virtual
# terminals on UDP 127.0.0.1: a wrong digest refuses the upload with both digests said and exit
# 5, and the terminal sees no frame; the right one (in upper case) uploads; a digest that is not
# 64 hexadecimal digits is a usage error (exit 2); --check says the digests and holds the
# expected one; --check-fleet and a fleet refuse a list whose program differs and send nothing,
# and a good fleet's events and results carry each target's digest.
set -uo pipefail
source tests/process/lib.sh
process_test_start
pids=()
trap 'kill $TERMINAL_PID "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
program=examples/app.shx
sha=$(sha256sum "$program" | cut -c1-64)
wrong=$(sha256sum examples/app.bin | cut -c1-64)

# json_check FILE PYTHON: asserts PYTHON about the JSON Lines in FILE (events: the parsed list).
json_check() {
  python3 tests/process/strict_json.py "$1" >/dev/null || { fail "$1: not JSON Lines: $(cat "$1")"; return; }
  python3 - "$1" "$2" "$sha" "$wrong" <<'PY' || fail "$1: $(cat "$1")"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
sha, wrong = sys.argv[3], sys.argv[4]
exec(sys.argv[2])
PY
}

# A wrong digest: refused after the check, before the first byte; both digests said.
start_terminal "$work/wrong" --udp 0 --idle-timeout 2 || exit 1
timeout 30 "$bin/vorlanth-cli" --json --expect-sha256 "$wrong" \
  "$program,3,127.0.0.1,$(ready_udp_port),0,1" >"$work/wrong.jsonl" 2>"$work/wrong.err" </dev/null
code=$?
wait_terminal 10
[[ $code -eq 5 ]] || fail "wrong digest: exit $code, wanted 5: $(cat "$work/wrong.err")"
grep -q "frames 0 .*bytes 0 in" "$work/wrong.err" ||
  fail "wrong digest: the terminal saw bytes: $(cat "$work/wrong.err")"
grep -qx "vorlanth: SHA-256 mismatch!" "$work/wrong.err" &&
  grep -qxF "vorlanth: $program: its SHA-256 is $sha, not the expected $wrong" "$work/wrong.err" ||
  fail "wrong digest: stderr: $(cat "$work/wrong.err")"
json_check "$work/wrong.jsonl" '
kinds = [e["event"] for e in events]
assert kinds[0] == "start" and events[0]["sha256"] == sha, events[0]
assert not {"handshake", "erase", "transfer"} & set(kinds), kinds
refusal = next(e for e in events if e["event"] == "message" and e["text"] == "SHA-256 mismatch!")
assert sha in refusal["detail"] and wrong in refusal["detail"], refusal
assert events[-1] == {"event": "result", "exitCode": 5, "success": False}, events[-1]
'

# The right digest, written in upper case: the terminal holds the program.
start_terminal "$work/right" --udp 0 --expect "$program" --type shx --idle-timeout 20 || exit 1
timeout 60 "$bin/vorlanth-cli" --json --expect-sha256 "${sha^^}" \
  "$program,3,127.0.0.1,$(ready_udp_port),0,1" >"$work/right.jsonl" 2>"$work/right.err" </dev/null
code=$?
wait_terminal 10 || fail "right digest: the terminal does not hold the program: $(cat "$work/right.err")"
[[ $code -eq 0 ]] || fail "right digest: exit $code: $(cat "$work/right.err")"
json_check "$work/right.jsonl" '
assert events[0]["event"] == "start" and events[0]["sha256"] == sha, events[0]
assert events[1] == {"event": "handshake", "state": "started"}, events[1]
assert events[-1] == {"event": "result", "exitCode": 0, "success": True}, events[-1]
'

# A digest that is not 64 hexadecimal digits: a usage error, as JSON too; nothing is opened.
for bad in "${sha:1}" "${sha}0" "${sha:1}g"; do
  "$bin/vorlanth-cli" --json --expect-sha256 "$bad" "$program,3,127.0.0.1,9,0,1" \
    >"$work/usage.jsonl" 2>"$work/usage.err" </dev/null
  code=$?
  [[ $code -eq 2 ]] || fail "--expect-sha256 $bad: exit $code, wanted 2"
  grep -q "^vorlanth: --expect-sha256 takes a SHA-256 as 64 hexadecimal digits" "$work/usage.err" ||
    fail "--expect-sha256 $bad: $(cat "$work/usage.err")"
  json_check "$work/usage.jsonl" '
assert [e["event"] for e in events] == ["message", "result"], events
assert events[1]["exitCode"] == 2, events
'
done

# --check: the digests of a BASIC program and its companion; the expected digest held.
"$bin/vorlanth-cli" --json --check examples/app.qbx >"$work/check.jsonl" 2>&1 ||
  fail "--check app.qbx: exit $?"
json_check "$work/check.jsonl" "
report = events[0]
assert report['sha256'] == '$(sha256sum examples/app.qbx | cut -c1-64)', report
assert report['companion_sha256'] == '$(sha256sum examples/app.ini | cut -c1-64)', report
"
"$bin/vorlanth-cli" --expect-sha256 "$sha" --check "$program" >/dev/null 2>&1 ||
  fail "--check with its own digest: exit $?"
"$bin/vorlanth-cli" --expect-sha256 "$wrong" --check "$program" >"$work/check.txt" 2>"$work/check.err"
code=$?
[[ $code -eq 5 ]] || fail "--check with another digest: exit $code, wanted 5"
grep -qxF "  sha256 $sha" "$work/check.txt" &&
  grep -qxF "vorlanth: $program: its SHA-256 is $sha, not the expected $wrong" "$work/check.err" ||
  fail "--check with another digest: $(cat "$work/check.txt" "$work/check.err")"

# A fleet whose list names a program with another digest: the list is not good (exit 2), no
# terminal sees a frame; with the right digest both terminals take the program, and every
# target's start event and result row carries the digest.
fleet() {
  : >"$work/list"
  pids=()
  for n in 1 2; do
    start_terminal "$work/fleet$n" --udp 0 "$@" || exit 1
    pids+=("$TERMINAL_PID")
    echo "$program,3,127.0.0.1,$(ready_udp_port),0,1" >>"$work/list"
  done
}
fleet --idle-timeout 3
# --check-fleet first: the list is good with the right digest and each target's digest is
# said; with the wrong one it is not. Neither opens a link (the terminals' counts below).
"$bin/vorlanth-cli" --expect-sha256 "$sha" --check-fleet "$work/list" >"$work/check-fleet.txt" 2>&1 ||
  fail "--check-fleet: exit $?: $(cat "$work/check-fleet.txt")"
[[ $(grep -c "would upload, sha256 $sha\$" "$work/check-fleet.txt") -eq 2 ]] &&
  grep -q "2 targets, every line good; nothing was sent" "$work/check-fleet.txt" ||
  fail "--check-fleet: $(cat "$work/check-fleet.txt")"
"$bin/vorlanth-cli" --json --expect-sha256 "$wrong" --check-fleet "$work/list" \
  >"$work/check-fleet.jsonl" 2>/dev/null
code=$?
[[ $code -eq 2 ]] || fail "--check-fleet, wrong digest: exit $code, wanted 2"
json_check "$work/check-fleet.jsonl" '
assert [e["text"] for e in events if e["event"] == "message"] == ["SHA-256 mismatch!"] * 2, events
assert events[-1]["event"] == "fleet" and events[-1]["exitCode"] == 2, events[-1]
'
timeout 60 "$bin/vorlanth-cli" --json --expect-sha256 "$wrong" --fleet "$work/list" \
  >"$work/fleet-wrong.jsonl" 2>"$work/fleet-wrong.err" </dev/null
code=$?
for pid in "${pids[@]}"; do TERMINAL_PID=$pid wait_terminal 10; done
[[ $code -eq 2 ]] || fail "fleet, wrong digest: exit $code, wanted 2: $(cat "$work/fleet-wrong.err")"
for n in 1 2; do
  grep -q "frames 0 .*bytes 0 in" "$work/fleet$n.err" ||
    fail "fleet, wrong digest: terminal $n saw bytes: $(cat "$work/fleet$n.err")"
done
json_check "$work/fleet-wrong.jsonl" '
refused = [e for e in events if e["event"] == "message"]
assert [(e["target"]["line"], e["text"]) for e in refused] == [(1, "SHA-256 mismatch!"), (2, "SHA-256 mismatch!")], refused
assert all(sha in e["detail"] and wrong in e["detail"] for e in refused), refused
assert events[-1]["event"] == "fleet" and events[-1]["exitCode"] == 2 and "results" not in events[-1], events[-1]
'
fleet --expect "$program" --type shx --idle-timeout 20
timeout 60 "$bin/vorlanth-cli" --json --expect-sha256 "$sha" --fleet "$work/list" \
  >"$work/fleet.jsonl" 2>"$work/fleet.err" </dev/null
code=$?
for pid in "${pids[@]}"; do
  TERMINAL_PID=$pid wait_terminal 10 || fail "fleet: a terminal does not hold the program"
done
[[ $code -eq 0 ]] || fail "fleet, right digest: exit $code: $(cat "$work/fleet.err")"
json_check "$work/fleet.jsonl" '
starts = [e for e in events if e["event"] == "start"]
assert sorted(e["target"]["line"] for e in starts) == [1, 2], starts
assert all(e["sha256"] == sha for e in starts), starts
rows = events[-1]["results"]
assert [(r["line"], r["outcome"], r["sha256"]) for r in rows] == [(1, "uploaded", sha), (2, "uploaded", sha)], rows
'

echo "$failures failed"
[[ $failures -eq 0 ]]
