#!/usr/bin/env bash
# vorlanth-cli without a terminal: --json events on stdout (golden), --trace frames on stderr
# (golden), one progress line per 10 %, runs with standard descriptors closed, and Interactive
# mode refused with the usage and exit 2.
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

# Started with standard descriptors closed (cron, a service): each closed one reads as empty or
# writes to nowhere, and no pipe or socket the loader opens takes its number, so the run ends
# at once with exit 0 and what it writes lands where it belongs. Each case: a name, the
# descriptors closed, the options before the argument text or list, what stdout holds (json:
# nothing but JSON events, ending with the result or fleet event; empty: nothing) and what
# stderr holds (progress: the progress lines and no JSON; none: closed).
start_terminal "$work/out" --udp 0 --expect examples/app.bin --type bin --sessions 4 --idle-timeout 60
port=$(ready_udp_port)
target="examples/app.bin,3,127.0.0.1,$port,2,1"
printf '%s\n' "$target" >"$work/list"
closed_cases=(
  "plain upload|0 2||empty|none"
  "--json upload, stdout closed|0 1|--json|none|progress"
  "--json upload, stderr closed|0 2|--json|json|none"
  "--json fleet|0 2|--json --fleet|json|none"
)
for entry in "${closed_cases[@]}"; do
  IFS='|' read -r name closed options stdout stderr <<<"$entry"
  argument=$target
  [[ $options == *--fleet ]] && argument=$work/list
  : >"$work/stdout"
  : >"$work/stderr"
  # The shell closes the descriptors after the redirections, then becomes the loader.
  timeout 15 bash -c 'for fd in $1; do eval "exec $fd>&-"; done; shift; exec "$@"' _ "$closed" \
    "$bin/vorlanth-cli" $options "$argument" >"$work/stdout" 2>"$work/stderr"
  code=$?
  [[ $code -eq 0 ]] || fail "$name: exit $code: $(cat "$work/stderr")"
  case $stdout in
    empty) [[ -s $work/stdout ]] && fail "$name: stdout holds $(cat "$work/stdout")" ;;
    json) python3 tests/process/strict_json.py "$work/stdout" >/dev/null &&
      tail -1 "$work/stdout" | grep -q '"event":"\(result\|fleet\)","exitCode":0' ||
      fail "$name: stdout is not the events: $(cat "$work/stdout")" ;;
  esac
  if [[ $stderr == progress ]]; then
    grep -q "Uploaded successfully!" "$work/stderr" && ! grep -q '"event"' "$work/stderr" ||
      fail "$name: stderr: $(cat "$work/stderr")"
  fi
done
wait_terminal 10 || fail "closed descriptors: the terminal did not get every upload"

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
