#!/usr/bin/env bash
# The Windows console loader's options under Wine: --help, --version, --list-ports, and one
# upload over Winsock UDP to the virtual terminal with --json and --trace together.
set -uo pipefail
source tests/process/lib.sh
export VORLANTH_WINE_NO_DISPLAY=1
cli="${VORLANTH_BIN:-build/windows/bin}/vorlanth-cli.exe"
work=$(mktemp -d)
trap 'kill $TERMINAL_PID 2>/dev/null; [[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT
failures=0
wine_cli() { timeout 120 scripts/wine-run "$cli" "$@" </dev/null; }

wine_cli --help --version >"$work/help" 2>&1 || fail "--help exit $?"
grep -q "^Usage: vorlanth-cli" "$work/help" || fail "--help: $(cat "$work/help")"
wine_cli --version >"$work/version" 2>&1 || fail "--version exit $?"
grep -q "^vorlanth-cli $(project_version) " "$work/version" || fail "--version: $(cat "$work/version")"
wine_cli --list-ports >"$work/ports" 2>&1 || fail "--list-ports exit $?"

start_terminal "$work/out" --udp 0 --expect examples/app.shx --type shx --idle-timeout 60
port=$(ready_udp_port)
wine_cli --json --trace "examples/app.shx,3,127.0.0.1,$port,0,1" >"$work/events" 2>"$work/trace"
code=$?
wait_terminal 20 || fail "upload: the terminal's memory does not match"
[[ $code -eq 0 ]] || fail "upload exit $code: $(cat "$work/trace")"
tr -d '\r' <"$work/events" >"$work/events.lf"
head -1 "$work/events.lf" | grep -q '^{"event":"start".*"link":"network","address":"127.0.0.1"' ||
  fail "--json start: $(head -1 "$work/events.lf")"
tail -1 "$work/events.lf" | grep -qx '{"event":"result","exitCode":0,"success":true}' ||
  fail "--json result: $(tail -1 "$work/events.lf")"
grep -v '^{"event":' "$work/events.lf" && fail "stdout holds more than JSON lines"
grep -q '> 3A 45 52 41 53 45 0D  *:ERASE\.' "$work/trace" || fail "--trace lacks the erase command"
grep -q '< 46 41 0D  *FA\.' "$work/trace" || fail "--trace lacks an FA answer"

echo "$failures failed"
[[ $failures -eq 0 ]]
