#!/usr/bin/env bash
# A program file that is not valid never reaches the terminal: vorlanth-cli refuses it before
# the first byte (not even the wake-up "\r"), says where and why, and exits 5. --check tells
# the same without any link (goldens), for the examples and for files made by objcopy and
# srec_cat.
set -uo pipefail
source tests/process/lib.sh
bin=$(cd "${VORLANTH_BIN:-build/linux/bin}" && pwd)
golden=$PWD/tests/process/golden
work=$(mktemp -d)
trap 'kill $TERMINAL_PID 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failures=0

# --check: the report of each example (text), one as JSON, and exit 0.
for example in app.shx app.bin app.qbx; do
  "$bin/vorlanth-cli" --check "examples/$example" >"$work/report" 2>&1 || fail "--check $example: exit $?"
  diff -u "$golden/check_${example/./_}.txt" "$work/report" || fail "--check $example differs"
done
"$bin/vorlanth-cli" --json --check examples/app.bin,2 >"$work/report.json" || fail "--json --check exit $?"
diff -u "$golden/check_app_bin.json" "$work/report.json" || fail "--json --check differs"
python3 -c 'import json,sys; json.loads(open(sys.argv[1]).read())' "$work/report.json" ||
  fail "--json --check is no JSON object"

# Files as toolchains write them, made from the same 300 bytes: objcopy ends with S9, srec_cat
# without a start address writes no end record at all (refused, exit 5).
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 37 + 11) & 255 for i in range(300)))' \
  >"$work/raw.bin"
if command -v objcopy >/dev/null; then
  (cd "$work" && objcopy -I binary -O srec --change-addresses 0x2000 raw.bin objcopy.srec &&
    "$bin/vorlanth-cli" --check objcopy.srec,0 >report.objcopy 2>&1) || fail "--check objcopy.srec: exit $?"
  diff -u "$golden/check_objcopy.txt" "$work/report.objcopy" || fail "--check objcopy.srec differs"
else
  echo "objcopy not installed: its file is not checked"
fi
if command -v srec_cat >/dev/null; then
  (cd "$work" && srec_cat raw.bin -binary -offset 0x1000 -o srec_cat.srec -motorola &&
    "$bin/vorlanth-cli" --check srec_cat.srec >report.srec_cat 2>&1)
  code=$?
  [[ $code -eq 5 ]] || fail "--check srec_cat.srec: exit $code, expected 5"
  diff -u "$golden/check_srec_cat.txt" "$work/report.srec_cat" || fail "--check srec_cat.srec differs"
else
  echo "srec_cat not installed (package srecord): its file is not checked"
fi

# Usage errors and a file that cannot be opened.
"$bin/vorlanth-cli" --check "$work/raw.bin.unknown" >/dev/null 2>&1
[[ $? -eq 2 ]] || fail "--check of an unknown extension: not exit 2"
"$bin/vorlanth-cli" --check "$work/none.bin" >/dev/null 2>&1
[[ $? -eq 3 ]] || fail "--check of a missing file: not exit 3"

# One defective file of each type, uploaded over a pseudo-terminal with --trace and --json.
head -n 8 examples/app.shx >"$work/cut.shx"     # no end record
head -c 1161 examples/app.bin >"$work/cut.bin"  # the last section cut short
head -c 459 examples/app.qbx >"$work/cut.qbx"   # one byte short
cp examples/app.ini "$work/cut.ini"
declare -A expected=(
  [cut.shx]="cut.shx: the file ends without an end record (S7, S8 or S9)"
  [cut.bin]="cut.bin: section 2 at byte 1092: the section declares 130 data bytes, the file holds 50 after its header"
  [cut.qbx]="cut.qbx: the counts 3 and 2 announce 460 bytes, the file holds 459: piece 2 of the last 2, at byte 396, is cut short"
)
for name in cut.shx cut.bin cut.qbx; do
  type=$(file_type_number "${name##*.}")
  start_terminal "$work/term" --link "$work/com6" --trace --idle-timeout 2
  (cd "$work" && VORLANTH_COM6=$work/com6 timeout 30 "$bin/vorlanth-cli" --trace --json \
    "$name,1,6,1,$type,1" >events 2>stderr </dev/null)
  code=$?
  wait_terminal 10
  [[ $code -eq 5 ]] || fail "$name: exit $code, expected 5"
  grep -qx "vorlanth: Format Error!" "$work/stderr" || fail "$name: no Format Error! line"
  # The place and the reason, once: the retry question does not repeat them.
  [[ $(grep -cxF "vorlanth: ${expected[$name]}" "$work/stderr") -eq 1 ]] ||
    fail "$name: place and reason not said once: $(cat "$work/stderr")"
  if grep -E '^ +[0-9]+ ms [<>]' "$work/stderr"; then fail "$name: the loader sent or received bytes"; fi
  grep -q "frames 0 .*bytes 0 in" "$work/term.err" || fail "$name: the terminal saw bytes: $(cat "$work/term.err")"
  python3 - "$work/events" "$name" <<'PY' || fail "$name: JSON events"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
kinds = [e["event"] for e in events]
assert "handshake" not in kinds and "erase" not in kinds and "transfer" not in kinds, kinds
message = next(e for e in events if e["event"] == "message" and e["text"] == "Format Error!")
assert message["detail"].startswith(sys.argv[2] + ": "), message
assert "offset" in message, message
assert events[-1] == {"event": "result", "exitCode": 5, "success": False}, events[-1]
PY
done

echo "$failures failed"
[[ $failures -eq 0 ]]
