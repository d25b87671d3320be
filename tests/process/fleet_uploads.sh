#!/usr/bin/env bash
# vorlanth-cli --json --fleet against eight virtual terminals at once, four on pseudo-terminals
# and four over UDP, with faults on some: every record refused ("FF"), the line lost in the
# middle of the transfer (the terminal killed), answers that come late, a terminal silent at
# the first handshake command, answers duplicated. Every healthy terminal must
# hold exactly its file; the failing ones must be said, with their attempts; exit 1; the JSON
# stream must parse line by line with every event carrying its target; and the silent target
# must not delay the others: they end long before it.
set -uo pipefail
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
work=$(mktemp -d)
declare -A terminal
trap 'kill "${terminal[@]}" "${loader:-}" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

# add LINE TYPE LINK TERMINAL_OPTIONS...: starts the terminal of list line LINE (COM1LINE on a
# pseudo-terminal, or UDP) expecting examples/app.TYPE, and appends the line to the list.
add() {
  local line=$1 type=$2 link=$3
  shift 3
  start_terminal "$work/t$line" --expect "examples/app.$type" --type "$type" --idle-timeout 40 \
    "$@" $([[ $link == pty ]] && echo "--link $work/com1$line" || echo "--udp 0") || exit 1
  terminal[$line]=$TERMINAL_PID
  if [[ $link == pty ]]; then
    export "VORLANTH_COM1$line=$work/com1$line"
    echo "examples/app.$type,1,1$line,1,$(file_type_number "$type"),1" >>"$work/list"
  else
    echo "examples/app.$type,3,127.0.0.1,$(ready_udp_port),$(file_type_number "$type"),1" >>"$work/list"
  fi
}

add 1 shx pty
add 2 shx pty --fault-rate 1 --fault-kinds ff
add 3 shx pty --baud 9600
add 4 bin pty --fault-at 4:late,8:late --late-ms 700
add 5 bin udp
add 6 bin udp --fault-commands --fault-at 1:silent
add 7 qbx udp --basic checksum
add 8 shx udp --seed 3 --fault-rate 0.3 --fault-kinds dup

started=$SECONDS
timeout 120 "$bin/vorlanth-cli" --json --fleet "$work/list" >"$work/events" 2>"$work/stderr" </dev/null &
loader=$!
# The line of terminal 3 goes away once its transfer is under way, as a pulled USB adapter's
# does: the device and its name are gone (a killed terminal leaves its link behind, and the
# pseudo-terminal's number may soon serve another program).
for _ in $(seq 300); do
  grep -q '"event":"progress","target":{"line":3,.*"percent":[1-9]' "$work/events" && break
  sleep 0.02
done
kill -KILL "${terminal[3]}"
rm -f "$work/com13"
wait "${terminal[3]}" 2>/dev/null
wait "$loader"
code=$?
elapsed=$((SECONDS - started))
[[ $code -eq 1 ]] || fail "exit $code, wanted 1"
for line in 1 4 5 6 7 8; do
  TERMINAL_PID=${terminal[$line]}
  wait_terminal 10 || fail "terminal $line does not hold its program: $(tail -2 "$work/t$line.err")"
done
kill "${terminal[2]}" 2>/dev/null

python3 - "$work/events" "$work/list" <<'PY' || fail "the JSON stream: $(grep -v progress "$work/events" | tail -20)"
import json, sys
lines = [l.rstrip("\n") for l in open(sys.argv[2])]
events = [json.loads(l) for l in open(sys.argv[1])]
fleet = events[-1]
assert fleet["event"] == "fleet" and "target" not in fleet, fleet
for e in events[:-1]:
    t = e["target"]
    assert lines[t["line"] - 1] == t["text"], e
assert fleet["exitCode"] == 1 and fleet["targets"] == 8, fleet
assert (fleet["succeeded"], fleet["failed"]) == (6, 2), fleet
rows = {r["line"]: r for r in fleet["results"]}
for line in (1, 4, 5, 6, 7, 8):
    assert rows[line]["outcome"] == "uploaded" and rows[line]["exitCode"] == 0, rows[line]
assert rows[2]["outcome"] == "failed" and rows[2]["attempts"] == 3, rows[2]
assert rows[2]["message"] == "Error on Uploading!", rows[2]
assert rows[3]["outcome"] == "failed" and rows[3]["exitCode"] == 1, rows[3]
assert "lost" in rows[3].get("detail", "") or "not open" in rows[3].get("detail", ""), rows[3]
# The silent terminal costs its target one 8 s wait; the others end long before it.
assert rows[6]["seconds"] >= 7.5 and rows[6]["attempts"] == 1, rows[6]
for line in (1, 5, 7, 8):
    assert rows[line]["seconds"] < 4, rows[line]
results = [e["target"]["line"] for e in events if e["event"] == "result"]
assert results.index(6) > max(results.index(l) for l in (1, 4, 5, 7, 8)), results
print("seen: %s" % ", ".join("#%d %s %.1f s x%d" % (l, r["outcome"], r["seconds"], r["attempts"])
                              for l, r in sorted(rows.items())))
PY
grep -q "6 of 8 uploaded, 2 not: #2, #3" "$work/stderr" || fail "no summary: $(tail -12 "$work/stderr")"
[[ $elapsed -lt 30 ]] || fail "the fleet took $elapsed s"

echo "$failures failed"
[[ $failures -eq 0 ]]
