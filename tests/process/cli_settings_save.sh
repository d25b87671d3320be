#!/usr/bin/env bash
# A save from the settings form that fails for real, on a full file system (a tiny tmpfs in a
# mount namespace of its own, where this user may make one) and in a directory the user may not
# write (as an unprivileged user): the warning is printed and sent as a --json event, the upload
# still goes ahead, and the settings file is byte for byte as it was, with nothing beside it.
# And a SIGINT while a save is held up in its fsync (strace delays the call): the run ends with
# 130 through its close path, the settings file is whole (old or new) and no temporary file is
# left beside it.
set -uo pipefail
source tests/process/lib.sh
bin=$(cd "${VORLANTH_BIN:-build/linux/bin}" && pwd)
failures=0

# One case, run where its file system is: $1 full|read-only, $2 the work folder. Exits 0 when
# every check passed, 77 when the case cannot be set up here.
run_case() {
  local fault=$1 work=$2
  local directory=$work/config/vorlanth
  trap 'kill ${TERMINAL_PID:-} 2>/dev/null' EXIT
  mkdir -p "$directory"
  if [[ $fault == full ]]; then
    mount -t tmpfs -o size=16k,mode=0755 tmpfs "$directory" 2>/dev/null || exit 77
  fi
  start_terminal "$work/out" --udp 0 --expect examples/app.shx --type shx --idle-timeout 30 ||
    exit 1
  local port
  port=$(ready_udp_port)
  # The file names the program and the terminal's address; OK changes the port.
  printf '[Vorlanth]\nFileName=%s\nComPort=127.0.0.1\nComType=3\nFileType=0\nBaudrate=9\n' \
    "$PWD/examples/app.shx" >"$directory/Vorlanth.ini"
  cp "$directory/Vorlanth.ini" "$work/before.ini"
  local as_user=()
  if [[ $fault == full ]]; then
    # Fill what is left, so that the new file cannot be written.
    dd if=/dev/zero of="$directory/filler" bs=512 2>/dev/null
  else
    chmod 0555 "$directory"
    if [[ $(id -u) -eq 0 ]]; then
      command -v setpriv >/dev/null || exit 77
      # The user's own tools only: a root's Python may lie where that user cannot go.
      as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env PATH=/usr/bin:/bin)
      "${as_user[@]}" python3 -c pass 2>/dev/null || exit 77
      chmod 0755 "$work" "$work/config"
      chmod 0777 "$work/run"
    fi
  fi
  local names_before
  names_before=$(ls -A "$directory")
  XDG_CONFIG_HOME=$work/config "${as_user[@]}" python3 tests/process/pty_run.py \
    "$work/run/transcript" 60 \
    --answer "Change [1-5], b, o or x: =>3" --answer "Port number: =>$port" \
    --answer "Change [1-5], b, o or x: =>o" --answer "Change [1-5], b, o or x: =>x" -- \
    bash -c 'exec "$0" --json >"$1"' "$bin/vorlanth-cli" "$work/run/events"
  local code=$?
  local ok=0
  wait_terminal 10 || { echo "FAIL: $fault: the terminal did not receive the program"; ok=1; }
  [[ $code -eq 0 ]] || { echo "FAIL: $fault: exit $code: $(cat "$work/run/transcript")"; ok=1; }
  local reason="could not write a temporary file beside it (No space left on device)"
  [[ $fault == read-only ]] && reason="could not create a temporary file beside it (Permission denied)"
  local said="vorlanth: settings not saved: $directory/Vorlanth.ini: $reason"
  grep -qF "$said" "$work/run/transcript" || { echo "FAIL: $fault: no '$said' in: $(cat "$work/run/transcript")"; ok=1; }
  grep -q "Uploaded successfully!" "$work/run/transcript" || { echo "FAIL: $fault: no upload"; ok=1; }
  cmp -s "$work/before.ini" "$directory/Vorlanth.ini" || { echo "FAIL: $fault: the settings file changed"; ok=1; }
  [[ $(ls -A "$directory") == "$names_before" ]] || { echo "FAIL: $fault: left: $(ls -A "$directory")"; ok=1; }
  local events
  if ! events=$(python3 tests/process/strict_json.py "$work/run/events" warning.text warning.object \
    warning.errno transfer.state result.exitCode); then
    echo "FAIL: $fault: --json output is not valid"
    ok=1
  fi
  local errno=28
  [[ $fault == read-only ]] && errno=13
  local want
  want=$(printf '%s\n' "settings not saved" "$directory/Vorlanth.ini" "$errno" started finished 0)
  [[ $events == "$want" ]] || { echo "FAIL: $fault: events: $events"; ok=1; }
  exit $ok
}

# The SIGINT case in work folder $1; exits 0 when every check passed, 77 without strace.
run_signal_case() {
  local work=$1
  local directory=$work/config/vorlanth
  trap 'kill ${TERMINAL_PID:-} ${watcher:-} 2>/dev/null' EXIT
  command -v strace >/dev/null &&
    strace -qq -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=1 true 2>/dev/null || exit 77
  mkdir -p "$directory"
  start_terminal "$work/out" --udp 0 --idle-timeout 30 || exit 1
  local port
  port=$(ready_udp_port)
  printf '[Vorlanth]\nFileName=%s\nComPort=127.0.0.1\nComType=3\nFileType=0\nBaudrate=9\n' \
    "$PWD/examples/app.shx" >"$directory/Vorlanth.ini"
  cp "$directory/Vorlanth.ini" "$work/before.ini"
  sed "s/^Baudrate=9$/Baudrate=$port/" "$work/before.ini" >"$work/after.ini"
  # Once the save's temporary file is there, its process (whose number ends the file's name)
  # is interrupted; the save is then held in its fsync for 2 s.
  (
    for _ in $(seq 400); do
      for name in "$directory"/Vorlanth.ini.tmp*; do
        [[ -e $name ]] || continue
        kill -INT "${name##*.tmp}" && echo "${name##*/}" >"$work/run/interrupted"
        exit 0
      done
      sleep 0.05
    done
  ) &
  watcher=$!
  # LeakSanitizer cannot work under ptrace; the sanitizer build would fail at its exit.
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 XDG_CONFIG_HOME=$work/config \
    python3 tests/process/pty_run.py "$work/run/transcript" 60 \
    --answer "Change [1-5], b, o or x: =>3" --answer "Port number: =>$port" \
    --answer "Change [1-5], b, o or x: =>o" -- \
    strace -f -qq -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=2000000 \
    bash -c 'exec "$0" --json >"$1"' "$bin/vorlanth-cli" "$work/run/events"
  local code=$?
  wait "$watcher"
  local ok=0
  [[ -s $work/run/interrupted ]] || { echo "FAIL: signal: no save was seen to interrupt"; ok=1; }
  [[ $code -eq 130 ]] || { echo "FAIL: signal: exit $code: $(cat "$work/run/transcript")"; ok=1; }
  cmp -s "$work/before.ini" "$directory/Vorlanth.ini" || cmp -s "$work/after.ini" "$directory/Vorlanth.ini" ||
    { echo "FAIL: signal: the settings file is neither the old nor the new one"; ok=1; }
  [[ $(ls -A "$directory") == Vorlanth.ini ]] || { echo "FAIL: signal: left: $(ls -A "$directory")"; ok=1; }
  local result
  result=$(python3 tests/process/strict_json.py "$work/run/events" result.exitCode) ||
    { echo "FAIL: signal: --json output is not valid"; ok=1; }
  [[ $result == 130 ]] || { echo "FAIL: signal: result event $result"; ok=1; }
  exit $ok
}

if [[ ${1:-} == --case ]]; then
  run_case "$2" "$3"
fi
if [[ ${1:-} == --signal-case ]]; then
  run_signal_case "$2"
fi

ran=0
for fault in full read-only signal; do
  work=$(mktemp -d)
  mkdir -p "$work/run"
  if [[ $fault == full ]]; then
    # The mount lives in a namespace of its own and goes with it.
    if [[ $(id -u) -eq 0 ]] && unshare -m true 2>/dev/null; then
      unshare -m bash "$0" --case "$fault" "$work"
    else
      (exit 77)
    fi
  elif [[ $fault == signal ]]; then
    bash "$0" --signal-case "$work"
  else
    bash "$0" --case "$fault" "$work"
  fi
  status=$?
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
  case $status in
    0) echo "ok: $fault"; ran=$((ran + 1)) ;;
    77) echo "skipped: $fault cannot be set up here" ;;
    *) fail "$fault" ;;
  esac
done
[[ $ran -gt 0 ]] || fail "no case could be set up"

echo "$failures failed"
[[ $failures -eq 0 ]]
