#!/usr/bin/env bash
# The Windows console loader at the edges, under Wine: things that are not disk files refused
# as the program file or its companion (GetFileType); the network address checked before
# anything is sent (loopback texts only: the terminal on 127.0.0.1 must see nothing from a
# refused address); Ctrl+C (Wine turns SIGINT into CTRL_C_EVENT) at a handshake wait and at
# the retry prompt on a console, ending through the close path with exit code 130.
set -uo pipefail
source tests/process/lib.sh
export VORLANTH_WINE_NO_DISPLAY=1
cli="${VORLANTH_BIN:-build/windows/bin}/vorlanth-cli.exe"
# No dot in the folder: the companion is named from the first "." of the program path.
work=$(mktemp -d /tmp/vorlanth-wine-edges-XXXXXX)
trap 'kill $TERMINAL_PID 2>/dev/null; rm -rf "$work"' EXIT
failures=0
wine_cli() { timeout 120 scripts/wine-run "$cli" "$@" </dev/null; }

# Special files: each refused with exit 3 and a line that says what it is.
mkfifo "$work/fifo"
mkdir "$work/folder"
cp examples/app.qbx "$work/app.qbx"
mkfifo "$work/app.ini"
while IFS='|' read -r arguments message cause; do
  wine_cli "$arguments" >"$work/err" 2>&1
  code=$?
  tr -d '\r' <"$work/err" >"$work/err.lf"
  [[ $code -eq 3 ]] || fail "$arguments: exit $code"
  grep -qxF "vorlanth: $message" "$work/err.lf" || fail "$arguments: $(cat "$work/err.lf")"
  grep -qF "$cause" "$work/err.lf" || fail "$arguments: no cause: $(cat "$work/err.lf")"
  echo "seen: $arguments: exit $code"
done <<EOF
NUL,1,9,1,0,1|Can't open the file!|NUL: not a regular file: a character device
$work/folder,1,9,1,2,1|Can't open the file!|folder: not a regular file: a directory
$work/fifo,1,9,1,0,1|Can't open the file!|fifo: not a regular file: a pipe
$work/app.qbx,1,9,1,1,1|Can't open the initial setting file (*.INI)!|app.ini: not a regular file: a pipe
EOF

# Addresses: the refused ones send nothing, the good ones upload.
start_terminal "$work/out" --udp 0 --trace --expect examples/app.bin --type bin --sessions 2 \
  --idle-timeout 120 || exit 1
port=$(ready_udp_port)
for address in 127.0.0.257 127.0.0.1x 0 0.0.0.0 255.255.255.255; do
  wine_cli "examples/app.bin,3,$address,$port,2,1" >"$work/err" 2>&1
  code=$?
  tr -d '\r' <"$work/err" >"$work/err.lf"
  [[ $code -eq 2 ]] || fail "$address: exit $code"
  grep -qx "vorlanth: Invalid IP address!!" "$work/err.lf" || fail "$address: $(cat "$work/err.lf")"
  grep -q "^vorlanth: $address: " "$work/err.lf" || fail "$address: no cause line"
  [[ -s $work/out.err ]] && fail "$address: the terminal received something: $(cat "$work/out.err")"
  echo "seen: $address refused, exit $code"
done
for address in 127.0.0.1 localhost; do
  wine_cli "examples/app.bin,3,$address,$port,2,1" >"$work/err" 2>&1
  code=$?
  [[ $code -eq 0 ]] || fail "$address: exit $code: $(tr -d '\r' <"$work/err")"
  echo "seen: $address uploads, exit $code"
done
wait_terminal 20 || fail "the terminal's memory does not match the file"

# Ctrl+C at a handshake wait: the terminal does not answer the first "\r".
start_terminal "$work/out" --udp 0 --fault-commands --fault-at 1:silent --idle-timeout 60 || exit 1
port=$(ready_udp_port)
scripts/wine-run "$cli" --json "examples/app.shx,3,127.0.0.1,$port,0,1" \
  >"$work/events" 2>"$work/err" </dev/null &
loader=$!
for _ in $(seq 300); do grep -q '"handshake","state":"started"' "$work/events" && break; sleep 0.05; done
sleep 0.3
sent=$(now_ms)
kill -INT "$loader"
wait "$loader"
code=$?
elapsed=$(($(now_ms) - sent))
[[ $code -eq 130 ]] || fail "Ctrl+C at the handshake: exit $code"
[[ $elapsed -lt 500 ]] || fail "Ctrl+C at the handshake: $elapsed ms"
tr -d '\r' <"$work/err" | grep -qx "vorlanth: stopped by SIGINT" || fail "Ctrl+C at the handshake: $(cat "$work/err")"
tr -d '\r' <"$work/events" | grep -qx '{"event":"result","exitCode":130,"success":false}' ||
  fail "Ctrl+C at the handshake: no result event"
echo "seen: Ctrl+C at the handshake: exit $code, $elapsed ms"
kill "$TERMINAL_PID" 2>/dev/null

# Ctrl+C at the retry prompt on a console: the first upload meets a refused record.
start_terminal "$work/out" --udp 0 --fault-at 5:ff --idle-timeout 60 || exit 1
port=$(ready_udp_port)
timeout 120 python3 tests/process/pty_run.py "$work/prompt" 90 --signal "y/N]=>INT" -- \
  scripts/wine-run "$cli" "examples/app.shx,3,127.0.0.1,$port,0,1"
code=$?
elapsed=$(cat "$work/prompt.ms" 2>/dev/null || echo 99999)
[[ $code -eq 130 ]] || fail "Ctrl+C at the prompt: exit $code"
# The prompt waits on the console and the stop event before it reads, so Ctrl+C ends it at
# once, not through the stop handler's 1.5 s safety exit.
[[ $elapsed -lt 500 ]] || fail "Ctrl+C at the prompt: $elapsed ms"
echo "seen: Ctrl+C at the retry prompt: exit $code, $elapsed ms"

echo "$failures failed"
[[ $failures -eq 0 ]]
