#!/usr/bin/env bash
# The network address is checked before anything is sent. Against a virtual terminal on
# 127.0.0.1: texts that used to reach some other address ("127.0.0.257" became 127.0.0.1, "0"
# became 0.0.0.0, which this machine answers) are refused with exit 2 and the terminal
# receives nothing; 127.0.0.1 and localhost upload. Only loopback texts are used; the name
# that does not resolve is looked up with the resolver pointed at 127.0.0.1 (in a private
# mount namespace), so that no query leaves this machine either.
set -uo pipefail
source tests/process/lib.sh
process_test_start

printf 'nameserver 127.0.0.1\noptions attempts:1 timeout:1\n' >"$work/resolv.conf"
# local_resolver COMMAND...: runs COMMAND with every DNS query going to 127.0.0.1; status 125
# when no private mount namespace can be had here.
local_resolver() {
  unshare -m sh -c 'mount --bind "$0" /etc/resolv.conf && exec "$@"' "$work/resolv.conf" "$@" ||
    return $?
}
can_isolate=no
local_resolver true 2>/dev/null && can_isolate=yes

start_terminal "$work/out" --udp 0 --trace --expect examples/app.bin --type bin --sessions 2 \
  --idle-timeout 60 || exit 1
port=$(ready_udp_port)

for address in 127.0.0.257 127.0.0.1x 0 0.0.0.0 127.1 no.such.host; do
  runner=()
  if [[ $address == no.such.host ]]; then
    if [[ $can_isolate != yes ]]; then
      echo "note: no private mount namespace here: $address not tried (its query would leave the machine)"
      continue
    fi
    runner=(local_resolver)
  fi
  "${runner[@]}" timeout 30 "$bin/vorlanth-cli" --json "examples/app.bin,3,$address,$port,2,1" \
    >"$work/events" 2>"$work/err" </dev/null
  code=$?
  [[ $code -eq 2 ]] || fail "$address: exit $code: $(cat "$work/err")"
  grep -qx "vorlanth: Invalid IP address!!" "$work/err" || fail "$address: no message: $(cat "$work/err")"
  grep -q "^vorlanth: $address: " "$work/err" || fail "$address: no cause line: $(cat "$work/err")"
  grep -q '"code":-150,"text":"Invalid IP address!!","detail":' "$work/events" ||
    fail "$address: no message event with its detail"
  sleep 0.2
  [[ -s $work/out.err ]] && fail "$address: the terminal received something: $(cat "$work/out.err")"
  echo "seen: $address refused, exit $code: $(grep -v 'Invalid IP' "$work/err")"
done

for address in 127.0.0.1 localhost; do
  timeout 60 "$bin/vorlanth-cli" "examples/app.bin,3,$address,$port,2,1" >"$work/err" 2>&1 </dev/null
  code=$?
  [[ $code -eq 0 ]] || fail "$address: exit $code: $(cat "$work/err")"
  echo "seen: $address uploads, exit $code"
done
wait_terminal 20 || fail "the terminal's memory does not match the file"

echo "$failures failed"
[[ $failures -eq 0 ]]
