#!/usr/bin/env bash
# vorlanth-cli without a terminal: --json events on stdout (golden), --trace frames on stderr
# (golden), one progress line per 10 %, and Interactive mode refused with the usage and exit 2.
set -uo pipefail
source tests/process/lib.sh
process_test_start
golden=tests/process/golden

# --json: nothing but the events on stdout, in this order.
start_terminal "$work/out" --link "$work/com6" --expect examples/app.bin --type bin --idle-timeout 20
VORLANTH_COM6=$work/com6 timeout 60 "$bin/vorlanth-cli" --json examples/app.bin,1,6,1,2,1 \
  >"$work/events" 2>"$work/progress" </dev/null || fail "json upload exit $?"
wait_terminal 10 || fail "json upload: terminal did not match"
diff -u "$golden/upload_bin.jsonl" "$work/events" || fail "--json events differ"
diff -u "$golden/progress_bin.txt" "$work/progress" || fail "plain progress lines differ"

# --trace: every frame on the wire, sent and received (the milliseconds column cut off).
start_terminal "$work/out" --link "$work/com6" --idle-timeout 20
VORLANTH_COM6=$work/com6 timeout 60 "$bin/vorlanth-cli" --trace "$golden/worked.shx,1,6,1,0,1" \
  >/dev/null 2>"$work/trace" </dev/null || fail "trace upload exit $?"
wait_terminal 10
grep -v '^vorlanth:\|^Downloading' "$work/trace" | cut -c12- >"$work/frames"
diff -u "$golden/trace_worked.txt" "$work/frames" || fail "--trace frames differ"

# Interactive mode needs a terminal: usage on stderr, exit 2.
timeout 20 "$bin/vorlanth-cli" "examples/app.shx,1,1,1,0,0" >/dev/null 2>"$work/usage" </dev/null
code=$?
[[ $code -eq 2 ]] || fail "interactive without a terminal: exit $code"
grep -q "^Usage: vorlanth-cli" "$work/usage" || fail "interactive without a terminal: no usage"

# --help and the man page name the same options.
for option in $("$bin/vorlanth-cli" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -q -- "${option//-/\\\\-}" docs/vorlanth-cli.1.in || fail "man page lacks $option"
done

echo "$failures failed"
[[ $failures -eq 0 ]]
