#!/usr/bin/env bash
# The Windows console loader under Wine against the Linux virtual terminal: every file type
# through COM3 (a link to the terminal's pseudo-terminal) and over Winsock UDP on 127.0.0.1.
# A success must leave the terminal holding exactly the file's contents (its --expect check
# exits 0). One Wine start per upload, six in all.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
source tests/process/lib.sh
wine_test_start

work=$(mktemp -d)
com_link="$WINEPREFIX/dosdevices/com3"
TERMINAL_PID=""
cleanup() {
  [[ -n $TERMINAL_PID ]] && kill "$TERMINAL_PID" 2>/dev/null
  rm -f "$com_link"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX/dosdevices"
failures=0

# upload TYPE LINK: one upload of examples/app.TYPE over LINK (com or udp).
upload() {
  local type=$1 link=$2
  local file=examples/app.$type args code terminal_code started=$SECONDS
  if [[ $link == com ]]; then
    start_terminal "$work/out" --pty --expect "$file" --type "$type" --idle-timeout 60 ||
      { failures=$((failures + 1)); return; }
    ln -sf "$(ready_pty)" "$com_link"
    args="$file,1,3,1,$(file_type_number "$type"),1"
  else
    start_terminal "$work/out" --udp 0 --expect "$file" --type "$type" --idle-timeout 60 ||
      { failures=$((failures + 1)); return; }
    args="$file,3,127.0.0.1,$(ready_udp_port),$(file_type_number "$type"),1"
  fi
  timeout 120 scripts/wine-run "$bin/vorlanth-cli.exe" "$args" >"$work/cli.out" 2>&1 </dev/null
  code=$?
  wait_terminal 20
  terminal_code=$?
  rm -f "$com_link"
  if [[ $code -ne 0 || $terminal_code -ne 0 ]]; then
    echo "FAIL: $type over $link: loader exit $code, terminal exit $terminal_code"
    cat "$work/cli.out" "$work/out.err"
    failures=$((failures + 1))
  else
    echo "ok: $type over $link: the terminal holds $file ($((SECONDS - started)) s)"
  fi
}

for type in shx bin qbx; do
  for link in com udp; do
    upload "$type" "$link"
  done
done

# A program file that is not valid: refused before the first datagram, with its reason, exit 5.
head -c 1161 examples/app.bin >"$work/cut.bin"
start_terminal "$work/out" --udp 0 --idle-timeout 2 || failures=$((failures + 1))
timeout 120 scripts/wine-run "$bin/vorlanth-cli.exe" \
  "$work/cut.bin,3,127.0.0.1,$(ready_udp_port),2,1" >"$work/cli.out" 2>&1 </dev/null
code=$?
wait_terminal 10
if [[ $code -ne 5 ]] || ! grep -q "the section declares 130 data bytes, the file holds 50" "$work/cli.out" ||
  ! grep -q "frames 0 .*bytes 0 in" "$work/out.err"; then
  echo "FAIL: a cut binary image: loader exit $code"
  cat "$work/cli.out" "$work/out.err"
  failures=$((failures + 1))
else
  echo "ok: a cut binary image is refused before the first datagram (exit 5)"
fi

echo "$failures failed"
[[ $failures -eq 0 ]]
