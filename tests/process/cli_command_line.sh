#!/usr/bin/env bash
# vorlanth-cli: command-line errors print their message and exit 2; a missing program file
# prints "Can't open the file!" and exits 3.
set -uo pipefail
# VORLANTH_CLI may name another command for the loader (the Windows build under Wine).
read -r -a cli <<<"${VORLANTH_CLI:-${VORLANTH_BIN:-build/linux/bin}/vorlanth-cli}"
failures=0

expect() {  # expect EXIT_CODE MESSAGE ARGUMENT...
  local want_code=$1 want_message=$2
  shift 2
  local output code
  output=$(timeout 60 "${cli[@]}" "$@" 2>&1 </dev/null | tr -d '\r')
  code=${PIPESTATUS[0]}
  if [[ $code -ne $want_code || "$output" != *"$want_message"* ]]; then
    echo "FAIL: $* -> exit $code, output: $output (wanted exit $want_code, '$want_message')"
    failures=$((failures + 1))
  fi
}

expect 2 "Wrong link type specified!" "a,4,1,1,0,1"
expect 3 "Can't open the file!" "/nonexistent/app.shx,1,3,1,0,1"
expect 3 "Can't open the file!" a, 1 , 2 ,3, 0 ,1
# Each start of a Windows program under Wine costs seconds: the short run stops here.
if [[ "${VORLANTH_SHORT:-}" == 1 ]]; then
  echo "$failures failed"
  [[ $failures -eq 0 ]]
  exit
fi
expect 2 "Wrong command line format!" "a,1,1,1,0"
expect 2 "Wrong command line format!" "a,1,1,1,0,1,x"
expect 2 "Wrong file path specified!" ",1,1,1,0,1"
expect 2 "Wrong file path specified!" "  ,1,1,1,0,1"
expect 2 "Wrong link type specified!" "a,4,1,1,0,1"
expect 2 "Wrong link type specified!" "a,  ,1,1,0,1"
expect 2 "Wrong COM port specified!" "a,1,0,1,0,1"
expect 2 "Wrong COM port specified!" "a,1,256,1,0,1"
expect 2 "Wrong baud rate specified!" "a,1,1,6,0,1"
expect 2 "Wrong file type specified!" "a,1,1,1,3,1"
expect 2 "Wrong execution mode specified!" "a,1,1,1,0,2"
expect 2 "Wrong Remote IP specified!" "a,3,,3000,0,1"
expect 2 "Wrong Remote Port specified!" "a,3,10.0.0.1,,0,1"
expect 2 "Wrong command line format!" "$(printf 'a%.0s' {1..357})"
expect 2 "Wrong file path specified!" "$(printf 'p%.0s' {1..256}),1,1,1,0,1"
# Arguments are joined by single blanks: the blanks rule applies to the joined text.
expect 3 "Can't open the file!" a, 1 , 2 ,3, 0 ,1
expect 3 "Can't open the file!" "/nonexistent/app.shx,1,3,1,0,1"
expect 3 "Can't open the file!" "a,3,10.0.0.1,65536,0,1"

echo "$failures failed"
[[ $failures -eq 0 ]]
