#!/usr/bin/env bash
# SIGINT, SIGTERM and SIGHUP stop vorlanth-cli through its close path, wherever they come: at
# a handshake wait (a silent terminal), in the middle of a paced transfer, and at the retry
# prompt on a terminal. Each run must end within 0.5 s with 128 + the signal's number, leave
# the device's settings as they were found, and leave it free: a second run as an
# unprivileged user opens the same device at once and uploads. Then SIGPIPE: a reader of
# --json or of the progress lines that goes away must not end the upload.
set -uo pipefail
source tests/process/lib.sh
process_test_start

# The unprivileged run needs root to switch to nobody; the files it reads must be readable.
chmod 755 "$work"
cp examples/app.shx "$work/app.shx"
chmod 644 "$work/app.shx"
unprivileged=no
if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null; then
  unprivileged=yes
else
  echo "note: not root or no setpriv: the second run stays with this user"
fi

# second_run PTY WHAT: a new upload on the same device, as nobody when possible; it must open
# the device at once and upload the whole file (the terminal takes it as a fresh start of
# the upload that the first run left unfinished).
second_run() {
  local pty=$1 what=$2 code
  local -a as_nobody=()
  if [[ $unprivileged == yes ]]; then
    chmod 666 "$pty"
    as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  "${as_nobody[@]}" env XDG_CONFIG_HOME="$work" VORLANTH_COM4="$pty" \
    timeout 60 "$bin/vorlanth-cli" "$work/app.shx,1,4,1,0,1" >"$work/second" 2>&1 </dev/null
  code=$?
  [[ $code -eq 0 ]] || fail "$what: second run exit $code: $(cat "$work/second")"
  grep -q "Can't open the COM port" "$work/second" && fail "$what: the device was still held"
  wait_terminal 20 || fail "$what: the terminal did not receive the whole file on the second run"
}

# check_stop WHAT SIGNAL CODE MS BEFORE AFTER: exit code, time to exit, settings as found.
check_stop() {
  local what=$1 signal=$2 code=$3 ms=$4 before=$5 after=$6
  local -A number=([INT]=2 [TERM]=15 [HUP]=1)
  [[ $code -eq $((128 + number[$signal])) ]] || fail "$what: exit $code, wanted $((128 + number[$signal]))"
  [[ $ms -lt 500 ]] || fail "$what: took $ms ms to end"
  [[ $before == "$after" ]] || fail "$what: terminal settings changed: $before -> $after"
  echo "seen: $what: exit $code, $ms ms after the signal"
}

# signal_waiting_loader WHAT SIGNAL MARKER RATE TERMINAL_OPTIONS...: starts a terminal and the
# loader (with --json, at baud number RATE), sends SIGNAL 0.2 s after MARKER is in its events
# (so that the loader is inside its wait), and checks how the loader ended and what it left.
signal_waiting_loader() {
  local what=$1 signal=$2 marker=$3 rate=$4 pty before loader code sent
  shift 4
  start_terminal "$work/out" --link "$work/com4" --expect "$work/app.shx" --type shx \
    --idle-timeout 30 "$@" || { fail "$what: no terminal"; return; }
  pty=$(ready_pty)
  before=$(stty -g -F "$pty")
  VORLANTH_COM4=$pty "$bin/vorlanth-cli" --json "$work/app.shx,1,4,$rate,0,1" \
    >"$work/events" 2>"$work/err" </dev/null &
  loader=$!
  for _ in $(seq 250); do grep -q "$marker" "$work/events" && break; sleep 0.02; done
  sleep 0.2
  sent=$(now_ms)
  kill -"$signal" "$loader"
  wait "$loader"
  code=$?
  check_stop "$what" "$signal" "$code" $(($(now_ms) - sent)) "$before" "$(stty -g -F "$pty")"
  grep -q '"percent":100' "$work/events" && fail "$what: the signal came too late to test anything"
  grep -q "vorlanth: stopped by SIG$signal" "$work/err" || fail "$what: no stop message: $(cat "$work/err")"
  grep -q "\"event\":\"stopped\",\"signal\":\"SIG$signal\"" "$work/events" || fail "$what: no stopped event"
  grep -q "\"event\":\"result\",\"exitCode\":$code," "$work/events" || fail "$what: no result event"
  grep -q "retry" "$work/err" && fail "$what: the retry question was asked"
  second_run "$pty" "$what"
}

for signal in INT TERM HUP; do
  # At the handshake: the terminal does not answer the first "\r", the loader waits 8 s.
  signal_waiting_loader "SIG$signal at the handshake wait" "$signal" \
    '"handshake","state":"started"' 1 --fault-commands --fault-at 1:silent
  # In the middle of a transfer paced at 9600 bit/s (about 3 s for the whole program).
  signal_waiting_loader "SIG$signal mid-transfer" "$signal" '"percent":[1-9]' 5 --baud 9600

  # At the retry prompt on a terminal: the first upload meets a refused record.
  what="SIG$signal at the retry prompt"
  start_terminal "$work/out" --link "$work/com4" --expect "$work/app.shx" --type shx \
    --fault-at 5:ff --idle-timeout 30 || { fail "$what: no terminal"; continue; }
  pty=$(ready_pty)
  before=$(stty -g -F "$pty")
  VORLANTH_COM4=$pty python3 tests/process/pty_run.py "$work/prompt" 30 \
    --signal "[y/N] =>$signal" -- "$bin/vorlanth-cli" "$work/app.shx,1,4,1,0,1"
  code=$?
  check_stop "$what" "$signal" "$code" "$(cat "$work/prompt.ms" 2>/dev/null || echo 99999)" \
    "$before" "$(stty -g -F "$pty")"
  grep -q "vorlanth: stopped by SIG$signal" "$work/prompt" || fail "$what: no stop message"
  second_run "$pty" "$what"
done

# SIGPIPE: --json read by `head -n 3`, which leaves after the third event; the upload, paced
# to last about a second, must go on to the end: the terminal holds the file, exit 0.
start_terminal "$work/out" --link "$work/com4" --expect examples/app.bin --type bin \
  --baud 19200 --idle-timeout 30
VORLANTH_COM4=$work/com4 timeout 60 "$bin/vorlanth-cli" --json examples/app.bin,1,4,4,2,1 \
  2>"$work/err" </dev/null | head -n 3 >"$work/head"
codes=("${PIPESTATUS[@]}")
[[ ${codes[0]} -eq 0 ]] || fail "--json | head: loader exit ${codes[0]}: $(cat "$work/err")"
[[ $(wc -l <"$work/head") -eq 3 ]] || fail "--json | head: $(cat "$work/head")"
wait_terminal 20 || fail "--json | head: the terminal's memory does not match the file"
echo "seen: --json | head -n 3: loader exit ${codes[0]}"

# The same for the progress lines on stderr, read by a pager that quits at once.
start_terminal "$work/out" --link "$work/com4" --expect examples/app.bin --type bin \
  --baud 19200 --idle-timeout 30
VORLANTH_COM4=$work/com4 timeout 60 "$bin/vorlanth-cli" examples/app.bin,1,4,4,2,1 \
  2>&1 >/dev/null </dev/null | head -n 1 >/dev/null
codes=("${PIPESTATUS[@]}")
[[ ${codes[0]} -eq 0 ]] || fail "progress | head: loader exit ${codes[0]}"
wait_terminal 20 || fail "progress | head: the terminal's memory does not match the file"
echo "seen: progress | head -n 1: loader exit ${codes[0]}"

echo "$failures failed"
[[ $failures -eq 0 ]]
