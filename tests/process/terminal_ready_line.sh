#!/usr/bin/env bash
# start_terminal (lib.sh) on one output file, a pseudo-terminal and then a UDP terminal, five
# times over: the ready line taken must always be the new terminal's, never the one its
# predecessor left in the file.
set -uo pipefail
source tests/process/lib.sh
work=$(mktemp -d /tmp/vorlanth-ready-XXXXXX)
trap 'kill $TERMINAL_PID 2>/dev/null; rm -rf "$work"' EXIT
failures=0
for round in 1 2 3 4 5; do
  start_terminal "$work/out" --link "$work/com5" --idle-timeout 10 || failures=$((failures + 1))
  kill "$TERMINAL_PID"
  wait_terminal 5
  start_terminal "$work/out" --udp 0 --idle-timeout 10 || failures=$((failures + 1))
  if [[ -z $(ready_udp_port) ]]; then
    echo "FAIL: round $round took the ready line \"$READY_LINE\" for the UDP terminal"
    failures=$((failures + 1))
  fi
  kill "$TERMINAL_PID"
  wait_terminal 5
done
echo "$failures failed"
[[ $failures -eq 0 ]]
