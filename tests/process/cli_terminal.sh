#!/usr/bin/env bash
# vorlanth-cli at a terminal (run on a pseudo-terminal): the progress line redrawn in place,
# the retry question answered y and n, and the settings form through to an upload, with and
# without a home folder.
set -uo pipefail
source tests/process/lib.sh
process_test_start
run_pty() { python3 tests/process/pty_run.py "$@"; }

# Progress redrawn in place: carriage returns, the erase-to-end sequence, bytes and the bar.
start_terminal "$work/out" --link "$work/com4" --expect examples/app.bin --type bin --idle-timeout 30
VORLANTH_COM4=$work/com4 run_pty "$work/t1" 60 -- "$bin/vorlanth-cli" examples/app.bin,1,4,1,2,1
code=$?
wait_terminal 10 || fail "progress upload: terminal did not match"
[[ $code -eq 0 ]] || fail "progress upload exit $code"
grep -q $'\r''Downloading... 100% \[########################\] 1.2 KiB / 1.2 KiB' "$work/t1" ||
  fail "no redrawn 100% line: $(tr '\r' '|' <"$work/t1")"
[[ $(grep -o $'\r''Downloading' "$work/t1" | wc -l) -ge 2 ]] || fail "the progress line was not redrawn"

# Retry answered y: the first upload meets a refused record; the retry succeeds.
start_terminal "$work/out" --link "$work/com4" --expect examples/app.shx --type shx --sessions 2 \
  --fault-at 5:ff --idle-timeout 30
VORLANTH_COM4=$work/com4 run_pty "$work/t2" 60 --answer "[y/N] =>y" -- \
  "$bin/vorlanth-cli" examples/app.shx,1,4,1,0,1
code=$?
wait_terminal 10
[[ $code -eq 0 ]] || fail "retry y: exit $code: $(cat "$work/t2")"
grep -q "Failed to Upload, would you like to retry? \[y/N\]" "$work/t2" || fail "retry y: no question"
grep -q "Uploaded successfully!" "$work/t2" || fail "retry y: no success"

# Retry answered n: the upload stays failed, exit 1.
start_terminal "$work/out" --link "$work/com4" --fault-at 5:ff --idle-timeout 30
VORLANTH_COM4=$work/com4 run_pty "$work/t3" 60 --answer "[y/N] =>n" -- \
  "$bin/vorlanth-cli" examples/app.shx,1,4,1,0,1
code=$?
wait_terminal 1
[[ $code -eq 1 ]] || fail "retry n: exit $code"
grep -q "Uploaded successfully!" "$work/t3" && fail "retry n: success shown"

# The settings form: network link to the terminal on UDP, browse by typing a path, OK uploads;
# the form comes back and Exit ends with the last pass's code. OK saved the settings file.
start_terminal "$work/out" --udp 0 --expect examples/app.qbx --type qbx --idle-timeout 30
port=$(ready_udp_port)
[[ -n $port ]] || fail "no UDP port in: $READY_LINE $(cat "$work/out.err")"
run_pty "$work/t4" 60 \
  --answer "Change [1-5], b, o or x: =>1" --answer "Comm type [1-3]: =>3" \
  --answer "Change [1-5], b, o or x: =>2" --answer "Target IP: =>127.0.0.1" \
  --answer "Change [1-5], b, o or x: =>3" --answer "Port number: =>$port" \
  --answer "Change [1-5], b, o or x: =>b" --answer "Path: =>$PWD/examples/app.qbx" \
  --answer "Change [1-5], b, o or x: =>o" \
  --answer "Change [1-5], b, o or x: =>x" -- "$bin/vorlanth-cli"
code=$?
wait_terminal 10 || fail "form upload: terminal did not match"
[[ $code -eq 0 ]] || fail "form: exit $code: $(cat "$work/t4")"
grep -q "Uploaded successfully!" "$work/t4" || fail "form: no upload"
ini=$XDG_CONFIG_HOME/vorlanth/Vorlanth.ini
grep -q "^ComType=3" "$ini" && grep -q "^FileType=1" "$ini" && grep -q "^Baudrate=$port" "$ini" &&
  grep -q "^ComPort=127.0.0.1" "$ini" || fail "form: settings file: $(cat "$ini" 2>&1)"

# The settings form without a home folder (a service started without HOME and XDG_CONFIG_HOME):
# two uploads through OK, and the run says once that it keeps no settings; nothing is created,
# neither in the working folder nor at the file system's root.
start_terminal "$work/out" --udp 0 --expect examples/app.qbx --type qbx --sessions 2 --idle-timeout 30
port=$(ready_udp_port)
mkdir "$work/nohome"
bin_abs=$(cd "$bin" && pwd)
root_config=$(ls -d /.config/vorlanth 2>/dev/null)
(cd "$work/nohome" && env -u HOME -u XDG_CONFIG_HOME python3 "$OLDPWD/tests/process/pty_run.py" \
  "$work/t5" 60 \
  --answer "Change [1-5], b, o or x: =>1" --answer "Comm type [1-3]: =>3" \
  --answer "Change [1-5], b, o or x: =>2" --answer "Target IP: =>127.0.0.1" \
  --answer "Change [1-5], b, o or x: =>3" --answer "Port number: =>$port" \
  --answer "Change [1-5], b, o or x: =>b" --answer "Path: =>$OLDPWD/examples/app.qbx" \
  --answer "Change [1-5], b, o or x: =>o" --answer "Change [1-5], b, o or x: =>o" \
  --answer "Change [1-5], b, o or x: =>x" -- "$bin_abs/vorlanth-cli")
code=$?
wait_terminal 10 || fail "no home folder: the terminal did not get both uploads"
[[ $code -eq 0 ]] || fail "no home folder: exit $code: $(cat "$work/t5")"
[[ $(grep -c "settings not saved: no home folder" "$work/t5") -eq 1 ]] ||
  fail "no home folder: not said once: $(cat "$work/t5")"
[[ -z $(ls -A "$work/nohome") ]] || fail "no home folder: created $(ls -A "$work/nohome")"
[[ $(ls -d /.config/vorlanth 2>/dev/null) == "$root_config" ]] ||
  fail "no home folder: created /.config/vorlanth"

echo "$failures failed"
[[ $failures -eq 0 ]]
