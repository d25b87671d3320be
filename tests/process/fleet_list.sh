#!/usr/bin/env bash
# vorlanth-cli --fleet: a list with any bad line uploads nothing and exits 2, each bad line said
# with its number (the terminals named by the good lines must see not one frame); then the
# output of a good list: one line per phase change and the summary without a terminal, the
# lines redrawn in place at a terminal, --jobs 1 one target after the other, the list on stdin,
# with a byte-order mark, and through a pipe.
set -uo pipefail
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

# Two terminals that no bad list may reach: one on a pseudo-terminal (COM6), one on UDP.
start_terminal "$work/pty" --link "$work/com6" --idle-timeout 60 || exit 1
pids+=("$TERMINAL_PID")
start_terminal "$work/udp" --udp 0 --idle-timeout 60 || exit 1
pids+=("$TERMINAL_PID")
port=$(ready_udp_port)
export VORLANTH_COM6=$work/com6 VORLANTH_COM7=$work/com6
head -c 1161 examples/app.bin >"$work/cut.bin"
good_pty="examples/app.shx,1,6,1,0,1"
good_udp="examples/app.bin,3,127.0.0.1,$port,2,1"

# Each case: a name, the list (\n between lines), and the "LINE: MESSAGE" said for each bad line.
cases=(
  "fields|$good_pty\nexamples/app.shx,1,0,1,0,1\nexamples/app.shx,1,6,9,0,1|:2: examples/app.shx,1,0,1,0,1: Wrong COM port specified!|:3: examples/app.shx,1,6,9,0,1: Wrong baud rate specified!"
  "mode 0|$good_udp\nexamples/app.shx,1,6,1,0,0|:2: examples/app.shx,1,6,1,0,0: Wrong execution mode specified!|:2: a fleet uploads without the settings form: MODE must be 1"
  "the same COM port twice|$good_pty\n# a comment\nexamples/app.bin, 1, 6, 2, 2, 1|:3: examples/app.bin, 1, 6, 2, 2, 1: Duplicate target!"
  "two COM numbers, one device|$good_pty\nexamples/app.bin,1,7,1,2,1|:2: COM7 ($(realpath "$(readlink "$work/com6")")): line 1 names the same terminal"
  "the same address and port twice|$good_udp\nexamples/app.shx,3,127.0.0.1,$port,0,1|:2: examples/app.shx,3,127.0.0.1,$port,0,1: Duplicate target!"
  "a program that is not valid|$good_pty\n$work/cut.bin,3,127.0.0.1,$port,2,1|:2: $work/cut.bin,3,127.0.0.1,$port,2,1: Format Error!|the section declares 130 data bytes, the file holds 50"
  "a program that is missing|$good_udp\n$work/gone.shx,1,6,1,0,1|:2: $work/gone.shx,1,6,1,0,1: Can't open the file!"
  "no target at all|# only a comment\n\n|: The list names no target!"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r -a parts <<<"$entry"
  name=${parts[0]}
  printf '%b\n' "${parts[1]}" >"$work/list"
  timeout 30 "$bin/vorlanth-cli" --fleet "$work/list" >"$work/stdout" 2>"$work/stderr" </dev/null
  code=$?
  [[ $code -eq 2 ]] || fail "$name: exit $code"
  for said in "${parts[@]:2}"; do
    grep -qF -- "$said" "$work/stderr" || fail "$name: not said: $said; stderr: $(cat "$work/stderr")"
  done
  grep -q "nothing was uploaded" "$work/stderr" || fail "$name: no closing line"
  [[ -s $work/stdout ]] && fail "$name: something on stdout: $(cat "$work/stdout")"
done
echo "seen: ${#cases[@]} bad lists refused with exit 2"

# A list that cannot be read at all.
timeout 30 "$bin/vorlanth-cli" --fleet "$work/none" >/dev/null 2>"$work/stderr" </dev/null
code=$?
[[ $code -eq 2 ]] && grep -q "Can't open the file!" "$work/stderr" ||
  fail "missing list: exit $code: $(cat "$work/stderr")"

# --json: every bad line is a message event with its target, then the fleet event.
printf '%s\nexamples/app.shx,1,0,1,0,1\n' "$good_udp" | timeout 30 "$bin/vorlanth-cli" --json \
  --fleet - >"$work/events" 2>/dev/null
code=$?
python3 - "$work/events" <<'PY' || fail "--json of a bad list: exit $code: $(cat "$work/events")"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
assert [e["event"] for e in events] == ["message", "fleet"], events
assert events[0]["target"] == {"line": 2, "text": "examples/app.shx,1,0,1,0,1"}, events[0]
assert events[0]["text"] == "Wrong COM port specified!", events[0]
assert events[1]["exitCode"] == 2 and events[1]["badLines"] == 1, events[1]
PY

# Not one frame reached either terminal.
kill "${pids[@]}"
wait "${pids[@]}" 2>/dev/null
for out in "$work/pty" "$work/udp"; do
  grep -q "frames 0 " "$out.err" || fail "a terminal was reached: $(cat "$out.err")"
done
pids=()

# A good list without a terminal: one line per phase change per target, the summary on stdout.
start_terminal "$work/t1" --link "$work/com8" --expect examples/app.shx --type shx --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
start_terminal "$work/t2" --udp 0 --expect examples/app.bin --type bin --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
list="examples/app.shx,1,8,1,0,1"$'\n'"examples/app.bin,3,127.0.0.1,$(ready_udp_port),2,1"
VORLANTH_COM8=$work/com8 timeout 60 "$bin/vorlanth-cli" --jobs 1 --fleet - <<<"$list" \
  >"$work/stdout" 2>"$work/stderr"
code=$?
[[ $code -eq 0 ]] || fail "jobs 1: exit $code: $(cat "$work/stderr")"
for pid in "${pids[@]}"; do wait "$pid" || fail "jobs 1: a terminal did not get its program"; done
pids=()
expected=("vorlanth: #1 COM8: opening" "vorlanth: #1 COM8: handshake" "vorlanth: #1 COM8: erasing"
  "vorlanth: #1 COM8: sending" "vorlanth: #1 COM8: uploaded 5.3 KiB in" "vorlanth: #2 127.0.0.1:")
index=0
while IFS= read -r line; do
  [[ $index -lt ${#expected[@]} && $line == "${expected[index]}"* ]] && index=$((index + 1))
done <"$work/stderr"
[[ $index -eq ${#expected[@]} ]] || fail "jobs 1: the first target's phases, then the second's: $(cat "$work/stderr")"
grep -qE '^target +outcome +bytes +time +attempts +last message$' "$work/stdout" &&
  grep -qE '^#1 COM8 +uploaded +5\.3 KiB +[0-9.]+ s +1 +Uploaded successfully!$' "$work/stdout" &&
  grep -qx "2 of 2 uploaded" "$work/stdout" || fail "jobs 1: summary: $(cat "$work/stdout")"

# Lists as people write them: saved by a Windows editor (a byte-order mark, CR LF line ends),
# and made by another program as it runs (<(...), a pipe whose writer is still starting).
start_terminal "$work/t2" --udp 0 --expect examples/app.bin --type bin --sessions 2 --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
line="examples/app.bin,3,127.0.0.1,$(ready_udp_port),2,1"
printf '\xef\xbb\xbf%s\r\n' "$line" >"$work/bom-list"
timeout 30 "$bin/vorlanth-cli" --fleet "$work/bom-list" >"$work/stdout" 2>"$work/stderr" </dev/null
code=$?
[[ $code -eq 0 ]] && grep -qx "1 of 1 uploaded" "$work/stdout" ||
  fail "a list with a byte-order mark: exit $code: $(cat "$work/stderr")"
timeout 30 "$bin/vorlanth-cli" --fleet <(sleep 0.3; printf '%s\n' "$line") >"$work/stdout" \
  2>"$work/stderr" </dev/null
code=$?
[[ $code -eq 0 ]] && grep -qx "1 of 1 uploaded" "$work/stdout" ||
  fail "a list through <(...): exit $code: $(cat "$work/stderr")"
wait "${pids[@]}" || fail "lists as people write them: the terminal did not get both programs"
pids=()

# At a terminal: the targets' lines redrawn in place.
# Each block takes the terminal 300 ms, so the live line is drawn before the last one.
start_terminal "$work/t1" --link "$work/com8" --expect examples/app.qbx --type qbx --write-ms 300 \
  --idle-timeout 30 || exit 1
pids+=("$TERMINAL_PID")
printf 'examples/app.qbx,1,8,1,1,1\n' >"$work/list"
VORLANTH_COM8=$work/com8 python3 tests/process/pty_run.py "$work/tty" 60 -- \
  "$bin/vorlanth-cli" --fleet "$work/list"
code=$?
wait "${pids[@]}" || fail "tty: the terminal did not get its program"
pids=()
[[ $code -eq 0 ]] || fail "tty: exit $code"
grep -q $'\x1b\[1A\r#1 COM8  uploaded' "$work/tty" || fail "tty: no line redrawn in place: $(tr '\r\033' '|^' <"$work/tty")"
grep -q "vorlanth: #1" "$work/tty" && fail "tty: plain phase lines at a terminal"

echo "$failures failed"
[[ $failures -eq 0 ]]
