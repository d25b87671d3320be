#!/usr/bin/env bash
# vorlanth.exe under Wine, its folder read-only: OK in the settings dialog cannot save
# "Vorlanth.ini". The reason goes to the debug output (read here through Wine's debugstr
# channel), no window says anything about it, the upload goes on to the virtual terminal on
# COM3, and the settings file is as it was.
source "$(dirname "${BASH_SOURCE[0]}")/ui_driver/ui_test_lib.bash"

if [[ ! -x "$UI_TERMSIM_BIN" ]]; then
  echo "SKIP: $UI_TERMSIM_BIN is missing (build the linux preset with the virtual terminal first)"
  exit 0
fi

program="$ui_work/prog.shx"
ui_make_srecord_program "$program" 64
winprogram="$(ui_winpath "$program")"
# The file names the program and COM port 4; OK in the dialog changes the port to 3.
printf '[Vorlanth]\r\nFileName=%s\r\nComPort=4\r\nComType=1\r\nFileType=0\r\nBaudrate=1\r\n' \
  "$winprogram" >"$ui_app/Vorlanth.ini"
cp "$ui_app/Vorlanth.ini" "$ui_work/before.ini"

# Wine runs as this user; root writes wherever the permission bits say no, so the folder is
# made read-only by a read-only mount of itself there.
if [[ $(id -u) -eq 0 ]]; then
  if ! mount --bind "$ui_app" "$ui_app" 2>/dev/null; then
    echo "SKIP: a read-only folder cannot be made here (no bind mount)"
    exit 0
  fi
  # Detached at once even while a program still has it as its folder, before the folder goes.
  trap 'umount -l "$ui_app" 2>/dev/null; ui_cleanup' EXIT
  mount -o remount,ro,bind "$ui_app" || { echo "FAIL: the folder could not be made read-only" >&2; exit 1; }
else
  chmod 0555 "$ui_app"
  trap 'chmod 0755 "$ui_app"; ui_cleanup' EXIT
fi

ui_start_termsim --expect "$program" --type shx --idle-timeout 60
termsim_pid=$UI_TERMSIM
export WINEDEBUG=-all,warn+debugstr
ui_start_vorlanth
ui_drive <<EOF_SCRIPT
timeout 60000
window $UI_CAPTION
expect-text 104 $winprogram
expect-text 101 4
set-text 101 3
click 202
gone
message Uploaded successfully!
click 1
gone
window $UI_CAPTION
click 2
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 20
ui_expect_received "$termsim_pid"

# The debug output, as Wine prints it: warn:debugstr:OutputDebugStringA "TEXT" (C escapes).
debug_lines=$(grep -F 'OutputDebugStringA "vorlanth: settings not saved: ' "$ui_work/vorlanth.log" || true)
if [[ -z $debug_lines ]]; then
  echo "FAIL: no debug output about the save:" >&2
  cat "$ui_work/vorlanth.log" >&2
  exit 1
fi
echo "debug output: $debug_lines"
if ! grep -qF 'Vorlanth.ini: could not write \"FileName\" (' <<<"$debug_lines"; then
  echo "FAIL: the debug output does not name the file and the key that failed" >&2
  exit 1
fi
cmp -s "$ui_work/before.ini" "$ui_app/Vorlanth.ini" || {
  echo "FAIL: Vorlanth.ini changed:" >&2
  cat "$ui_app/Vorlanth.ini" >&2
  exit 1
}
echo "PASS: a save into a read-only folder is said in the debug output and the upload goes on"
