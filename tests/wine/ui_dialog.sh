#!/usr/bin/env bash
# The real settings dialog of vorlanth.exe under Wine: its controls and change rules, the
# open-file dialog, link-type switching, a refused address, the always-on-top flag of the
# environment file, and OK saving "Vorlanth.ini" beside the program before the pass goes on
# ("Can't open the file!": no program chosen).
source "$(dirname "${BASH_SOURCE[0]}")/ui_driver/ui_test_lib.bash"

# The settings file parts (writer, environment flag) may not be built in this tree yet.
settings_built=1
if grep -q "Not built yet: the flag stays off, the presets stand, and nothing is saved" \
  "$ui_root/settings/settings_file.cpp" 2>/dev/null; then
  settings_built=0
fi

# The environment file one directory above the program asks for topmost windows.
printf '[Enviroment]\r\nAlwaysOnTop=1\r\n' >"$ui_work/Kestmor.ini"
topmost_check="expect-topmost $settings_built"
# Without a program path the file name box shows the program's directory.
directory_check=""
((settings_built)) && directory_check="expect-text 104 $(ui_winpath "$ui_app")\\"

ui_start_vorlanth
ui_drive <<EOF_SCRIPT
window $UI_CAPTION
$topmost_check
$directory_check
expect-selected 301 0
expect-selected 302 0
expect-selected 303 0
expect-text 101 1
expect-visible 101 1
expect-visible 501 1
expect-visible 302 1
expect-visible 102 0
expect-visible 103 0
expect-enabled 202 1
# The COM port box corrects what is typed at once.
set-text 101 0
expect-text 101 1
set-text 101 300
expect-text 101 255
set-text 101 007
expect-text 101 7
set-text 101
expect-text 101 1
# The arrow keys step the number within 1..255 through the up-down control.
key 101 down
sleep 200
expect-text 101 1
key 101 up
expect-text 101 2
set-text 101 255
key 101 up
sleep 200
expect-text 101 255
# Browse offers the default name with the filter of the file type; cancelling changes nothing.
select 303 1
click 201
window Open
expect-owner $UI_CAPTION
expect-text 1136 BASIC object programs {*.QBX}
expect-text 1148 Vorlanth.QBX
click 2
gone
window $UI_CAPTION
expect-selected 303 1
# Network: the address and port rows take the places of the COM port and baud rate rows.
select 301 2
expect-visible 101 0
expect-visible 501 0
expect-visible 302 0
expect-visible 102 1
expect-visible 103 1
expect-text 103 3000
set-text 104
expect-enabled 202 0
set-text 104 typed name
expect-enabled 202 0
set-text 102 1.2.3
expect-enabled 202 1
set-text 103 65536
expect-text 103 65535
set-text 103 03001
expect-text 103 3001
click 202
message Invalid IP address!!
expect-caption $UI_CAPTION
expect-owner $UI_CAPTION
click 1
gone
window $UI_CAPTION
expect-text 102 1.2.3
set-text 102 127.0.0.1
click 202
message Can't open the file!
click 1
gone
# The next pass shows the dialog again with the same settings.
window $UI_CAPTION
expect-selected 301 2
expect-selected 303 1
expect-text 102 127.0.0.1
expect-text 103 3001
click 2
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 20
status=0
wait "$UI_VORLANTH" || status=$?
echo "vorlanth.exe ended with status $status"

ini="$ui_app/Vorlanth.ini"
# Started with a command line in Interactive mode, the dialog and the open-file dialog use
# the program's directory too: a program path naming no file gives way to Vorlanth.SHX there.
if ((settings_built)); then
  ui_start_vorlanth "missing.shx,1,3,1,0,0"
  ui_drive <<EOF_SCRIPT
window $UI_CAPTION
expect-text 104 missing.shx
expect-text 101 3
click 201
window Open
expect-text 1137 app
expect-text 1148 Vorlanth.SHX
click 2
gone
window $UI_CAPTION
click 2
gone
EOF_SCRIPT
  ui_wait_exit "$UI_VORLANTH" 20
fi

if ((!settings_built)); then
  echo "SKIP: the settings file parts are not built in this tree: Vorlanth.ini, the"
  echo "      always-on-top flag and the program's directory not checked"
else
  [[ -f "$ini" ]] || { echo "FAIL: no Vorlanth.ini beside vorlanth.exe" >&2; exit 1; }
  tr -d '\r' <"$ini" >"$ui_work/ini.txt"
  for line in "[Vorlanth]" "FileName=" "ComPort=127.0.0.1" "ComType=3" "FileType=1" \
    "Baudrate=3001"; do
    grep -qxF "$line" "$ui_work/ini.txt" || {
      echo "FAIL: Vorlanth.ini lacks the line '$line':" >&2
      cat "$ui_work/ini.txt" >&2
      exit 1
    }
  done
fi
echo "PASS: settings dialog under Wine"
