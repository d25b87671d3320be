#!/usr/bin/env bash
# vorlanth-cli against the virtual terminal: every file type over a pseudo-terminal and over
# UDP, clean and with faults. A success must leave the terminal holding exactly the file's
# contents; a failure must say so with a non-zero exit.
set -uo pipefail
source tests/process/lib.sh
bin=${VORLANTH_BIN:-build/linux/bin}
work=$(mktemp -d)
trap 'kill $TERMINAL_PID 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

# upload TYPE LINK WANT_SUCCESS TERMINAL_ARGS...
upload() {
  local type=$1 link=$2 want=$3
  shift 3
  local file=examples/app.$type args code terminal_code
  if [[ $link == pty ]]; then
    start_terminal "$work/out" --link "$work/com5" --expect "$file" --type "$type" \
      --idle-timeout 30 "$@" || { failures=$((failures + 1)); return; }
    args="$file,1,5,1,$(file_type_number "$type"),1"
  else
    start_terminal "$work/out" --udp 0 --expect "$file" --type "$type" --idle-timeout 30 "$@" ||
      { failures=$((failures + 1)); return; }
    args="$file,3,127.0.0.1,$(ready_udp_port),$(file_type_number "$type"),1"
  fi
  VORLANTH_COM5=$work/com5 timeout 120 "$bin/vorlanth-cli" "$args" >"$work/cli.out" 2>&1 </dev/null
  code=$?
  wait_terminal "$([[ $code -eq 0 ]] && echo 20 || echo 1)"
  terminal_code=$?
  if [[ $code -eq 0 && $terminal_code -ne 0 ]]; then
    echo "FAIL: $type over $link ($*): the loader reported success but the terminal says $terminal_code"
    cat "$work/out.err"
    failures=$((failures + 1))
  elif [[ $want == success && ( $code -ne 0 || $terminal_code -ne 0 ) ]]; then
    echo "FAIL: $type over $link ($*): loader exit $code, terminal exit $terminal_code"
    cat "$work/cli.out" "$work/out.err"
    failures=$((failures + 1))
  elif [[ $want == failure && $code -eq 0 ]]; then
    echo "FAIL: $type over $link ($*): wanted a failure, got success"
    failures=$((failures + 1))
  else
    echo "ok: $type over $link ($*): loader exit $code, terminal exit $terminal_code"
  fi
}

for type in shx bin qbx; do
  for link in pty udp; do
    upload "$type" "$link" success
  done
done
# Other entries and modes of the terminal.
upload shx pty success --entry long --erase-ms 1500
upload bin udp success --entry ready-ff
upload qbx pty success --basic checksum
upload qbx udp success --basic checksum
# Faults that a record's resend or a block's resend recovers from.
upload shx pty success --seed 7 --fault-rate 0.3 --fault-kinds fn,garbage,split
upload bin udp success --seed 3 --fault-rate 0.3 --fault-kinds fn,garbage,dup,reorder
upload qbx pty success --basic checksum --seed 5 --fault-rate 0.3 --fault-kinds nak,garbage,split
# A refused record ends the upload: failure reported, never success.
upload shx pty failure --fault-at 3:ff
upload qbx udp failure --fault-at 4:nak

echo "$failures failed"
[[ $failures -eq 0 ]]
