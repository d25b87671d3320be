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
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

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
# transfer_case LABEL WANTED_STATE WANTED_EXIT TERMINAL_OPTIONS... (over UDP; the terminal is
# stopped once the transfer has started when LABEL is "lost link": the loader finds out when
# its deadlines pass, about 14 s).
transfer_case() {
  local label=$1 state=$2 exit_code=$3
  shift 3
  start_terminal "$work/out" --udp 0 --idle-timeout 30 "$@"
  : >"$work/events"  # before the loader starts: the last case's events must not be seen
  timeout 60 "$bin/vorlanth-cli" --json "examples/app.shx,3,127.0.0.1,$(ready_udp_port),0,1" \
    >"$work/events" 2>"$work/stderr" </dev/null &
  local loader=$!
  if [[ $label == "lost link" ]]; then
    for _ in $(seq 200); do
      grep -q '"event":"transfer","state":"started"' "$work/events" && break
      sleep 0.05
    done
    kill "$TERMINAL_PID"
  fi
  wait "$loader"
  local code=$?
  wait_terminal 1
  [[ $code -eq $exit_code ]] || fail "$label: exit $code, want $exit_code: $(cat "$work/stderr")"
  local values
  values=$(python3 tests/process/strict_json.py "$work/events" transfer.state result.exitCode) ||
    fail "$label: not valid JSON Lines"
  [[ $values == "$(printf '%s\n' started "$state" "$exit_code")" ]] ||
    fail "$label: events $values: $(cat "$work/events" "$work/stderr")"
}
transfer_case "success" finished 0
transfer_case "refused record" failed 1 --fault-at 5:ff
transfer_case "lost link" failed 1 --write-ms 100

echo "$failures failed"
[[ $failures -eq 0 ]]
