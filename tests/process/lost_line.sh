#!/usr/bin/env bash
# The far end of the serial line goes away in the middle of an upload (the virtual terminal
# is killed, which closes the pseudo-terminal's master side, as a pulled USB adapter would):
# vorlanth-cli must fail within 1 s of the loss, not after the 8 s of a silent terminal, say
# which device and why, and use little processor time.
set -uo pipefail
source tests/process/lib.sh
process_test_start

for when in handshake transfer; do
  # At the handshake the terminal is silent, the loader waits; a transfer paced at 9600 bit/s
  # lasts about 3 s, and the line is lost once a third of it has gone.
  if [[ $when == handshake ]]; then
    start_terminal "$work/out" --link "$work/com3" --fault-commands --fault-at 1:silent \
      --idle-timeout 30 || { fail "no terminal"; continue; }
    marker='"handshake","state":"started"'
  else
    start_terminal "$work/out" --link "$work/com3" --baud 9600 --idle-timeout 30 ||
      { fail "no terminal"; continue; }
    marker='"percent":[3-9][0-9]'
  fi
  # The loader in a subshell of its own, whose `times` then gives the loader's CPU time.
  (
    VORLANTH_COM3=$work/com3 timeout 60 "$bin/vorlanth-cli" --json examples/app.shx,1,3,5,0,1 \
      >"$work/events" 2>"$work/err" </dev/null
    echo $? >"$work/code"
    times >"$work/times"
  ) &
  runner=$!
  for _ in $(seq 250); do grep -q "$marker" "$work/events" 2>/dev/null && break; sleep 0.02; done
  lost=$(now_ms)
  kill -KILL "$TERMINAL_PID"
  wait "$TERMINAL_PID" 2>/dev/null
  wait "$runner"
  elapsed=$(($(now_ms) - lost))
  code=$(cat "$work/code")
  # The second line of `times`: user and system time of the subshell's children.
  cpu_ms=$(sed -n 2p "$work/times" | awk '{
    split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000 }')
  [[ $code -eq 1 ]] || fail "lost at the $when: exit $code"
  grep -q '"percent":100' "$work/events" && fail "lost at the $when: the loss came too late to test anything"
  [[ $elapsed -lt 1000 ]] || fail "lost at the $when: the loader ended $elapsed ms after the loss"
  grep -qxF "vorlanth: $work/com3: the line was lost (the far end hung up)" "$work/err" ||
    fail "lost at the $when: no cause: $(cat "$work/err")"
  grep -q '"detail":".*the line was lost' "$work/events" || fail "lost at the $when: no detail in JSON"
  [[ $cpu_ms -lt 500 ]] || fail "lost at the $when: the loader used $cpu_ms ms of CPU"
  echo "seen: lost at the $when: exit $code, $elapsed ms after the loss, $cpu_ms ms CPU in all"
done

echo "$failures failed"
[[ $failures -eq 0 ]]
