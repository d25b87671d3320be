#!/usr/bin/env bash
# --json output is valid JSON Lines whatever the program's path holds (bytes that are not
# UTF-8, overlong forms, quotes, backslashes, control characters), with the raw path in hex
# beside a path that is not UTF-8; and the transfer event ends as the upload went, matching
# the result event.
set -uo pipefail
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
work=$(mktemp -d)
trap 'kill ${TERMINAL_PID:-} 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

# Odd program paths, each a copy of the same program: every line must parse strictly.
names=($'\xff\xfe.shx' $'over\xc0\xaflong.shx' $'sur\xed\xa0\x80rogate.shx' 'q"uote.shx'
  'back\slash.shx' $'ctl\x01\x1b[31m\t\x7f.shx' $'caf\xc3\xa9.shx')
mkdir -p "$work/odd"
for name in "${names[@]}"; do
  cp examples/app.shx "$work/odd/$name"
done
start_terminal "$work/out" --link "$work/com6" --expect examples/app.shx --type shx \
  --sessions "${#names[@]}" --idle-timeout 30
for name in "${names[@]}"; do
  path="$work/odd/$name"
  label=$(printf '%q' "$name")
  VORLANTH_COM6=$work/com6 timeout 60 "$bin/vorlanth-cli" --json "$path,1,6,1,0,1" \
    >"$work/events" 2>"$work/stderr" </dev/null
  code=$?
  [[ $code -eq 0 ]] || fail "$label: exit $code: $(cat "$work/stderr")"
  if ! values=$(python3 tests/process/strict_json.py "$work/events" start.file_bytes \
    transfer.state result.exitCode); then
    fail "$label: not valid JSON Lines: $(cat -v "$work/events")"
    continue
  fi
  # The hex of the path's bytes, given only for a path that is not UTF-8.
  want_bytes=$(printf '%s' "$path" | od -An -v -tx1 | tr -d ' \n')
  printf '%s' "$path" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 && want_bytes=""
  want=$(printf '%s\n' ${want_bytes:+"$want_bytes"} started finished 0)
  [[ $values == "$want" ]] || fail "$label: got $values, want $want"
done
wait_terminal 10 || fail "odd paths: the terminal did not receive every upload"

# The transfer event says how the transfer ended, as the result event does.
# transfer_case LABEL WANTED_STATES WANTED_EXIT PROGRAM TERMINAL_OPTIONS... (over UDP).
# WANTED_STATES are the transfer event's states, blank-separated ("" when there is none).
# "lost link": the terminal is stopped once the transfer has started (the loader finds out
# when its deadlines pass, about 14 s); "file changed": the program's tail is spoilt once the
# transfer has started, after the check before the handshake passed: the file changed while it
# was read, a failed upload (not "Format Error!"), with the place said.
transfer_case() {
  local label=$1 states=$2 exit_code=$3 program=$4
  shift 4
  start_terminal "$work/out" --udp 0 --idle-timeout 30 "$@"
  : >"$work/events"  # before the loader starts: the last case's events must not be seen
  timeout 60 "$bin/vorlanth-cli" --json "$program,3,127.0.0.1,$(ready_udp_port),0,1" \
    >"$work/events" 2>"$work/stderr" </dev/null &
  local loader=$!
  if [[ $label == "lost link" || $label == "file changed" ]]; then
    for _ in $(seq 200); do
      grep -q '"event":"transfer","state":"started"' "$work/events" && break
      sleep 0.05
    done
    if [[ $label == "lost link" ]]; then
      kill "$TERMINAL_PID"
    else
      # A checksum digit of a line near the end, in place: the file keeps its size.
      python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(-20, 2); l = f.read(20)
i = l.rfind(b"\r\n", 0, 18); f.seek(-20 + i - 1, 2); f.write(b"0" if l[i - 1:i] != b"0" else b"1")' \
        "$program"
    fi
  fi
  wait "$loader"
  local code=$?
  wait_terminal 1
  [[ $code -eq $exit_code ]] || fail "$label: exit $code, want $exit_code: $(cat "$work/stderr")"
  local values
  values=$(python3 tests/process/strict_json.py "$work/events" transfer.state result.exitCode) ||
    fail "$label: not valid JSON Lines"
  [[ $values == "$(printf '%s\n' $states "$exit_code")" ]] ||
    fail "$label: events $values: $(cat "$work/events" "$work/stderr")"
  if [[ $label == "file changed" ]]; then
    grep -q "large.shx:4000:\([0-9]*:\)\? the file changed while it was read" "$work/stderr" &&
      ! grep -q "Format Error" "$work/stderr" "$work/events" ||
      fail "$label: not said as a changed file: $(cat "$work/stderr")"
  fi
}

# A program large enough that its tail is read from the file well after the transfer started.
python3 - "$work/large.shx" <<'EOF_PY'
import sys
lines = []
for n in range(4000):
    address = 0x00100000 + 32 * n
    body = bytes([37]) + address.to_bytes(4, "big") + bytes((n + i) & 0xFF for i in range(32))
    lines.append("S3" + body.hex().upper() + "%02X" % (~sum(body) & 0xFF))
lines.append("S70500000000FA")
open(sys.argv[1], "w", newline="").write("".join(line + "\r\n" for line in lines))
EOF_PY
printf 'S1130000\r\n' >"$work/bad.shx"

transfer_case "success" "started finished" 0 examples/app.shx
transfer_case "refused record" "started failed" 1 examples/app.shx --fault-at 5:ff
transfer_case "lost link" "started failed" 1 examples/app.shx --write-ms 100
# A file that is not valid is refused before the handshake: no transfer at all, exit 5.
transfer_case "format error" "" 5 "$work/bad.shx"
transfer_case "file changed" "started failed" 1 "$work/large.shx" --write-ms 2

# --check --json names the file as the upload's events do: file_bytes for a name that is not
# UTF-8, the check event valid JSON.
odd_check="$work/odd/"$'\xff'"check.shx"
cp examples/app.shx "$odd_check"
"$bin/vorlanth-cli" --json --check "$odd_check" >"$work/events" 2>"$work/stderr"
values=$(python3 tests/process/strict_json.py "$work/events" check.file_bytes check.valid) ||
  fail "--check --json of a name that is not UTF-8: not valid JSON: $(cat -v "$work/events")"
want_bytes=$(printf '%s' "$odd_check" | od -An -v -tx1 | tr -d ' \n')
[[ $values == "$(printf '%s\ntrue' "$want_bytes")" ]] ||
  fail "--check --json of a name that is not UTF-8: $values"

# Usage errors with --json: the message and a result with exit code 2 on stdout, the human text
# on stderr. Each case: a name, then the arguments.
usage_cases=(
  "unknown option|--json --bogus a,1,1,1,0,1"
  "option after --json needs a value|--json --jobs"
  "--json after the bad option|--bogus --json"
  "--check of a name without a type|--json --check README.md"
  "--check with a bad file type|--json --check examples/app.shx,7"
)
for entry in "${usage_cases[@]}"; do
  IFS='|' read -r name arguments <<<"$entry"
  "$bin/vorlanth-cli" $arguments >"$work/events" 2>"$work/stderr" </dev/null
  code=$?
  values=$(python3 tests/process/strict_json.py "$work/events" message.code result.exitCode) ||
    fail "$name: not valid JSON Lines: $(cat -v "$work/events")"
  [[ $code -eq 2 && $values == $'0\n2' ]] || fail "$name: exit $code, events: $(cat "$work/events")"
  grep -q "^vorlanth: " "$work/stderr" || fail "$name: nothing said on stderr"
done

echo "$failures failed"
[[ $failures -eq 0 ]]
