#!/usr/bin/env bash
# vorlanth.exe under Wine: a command-line error is a plain message box (no owner, the
# platform's default caption, no icon, OK) and the program ends with exit code 2; a missing
# program file in Automatic mode shows "Can't open the file!" with the program's caption and
# ends with 3, without showing the dialog.
source "$(dirname "${BASH_SOURCE[0]}")/ui_driver/ui_test_lib.bash"

ui_start_vorlanth "a,4,1,1,0,1"
ui_drive <<EOF_SCRIPT
message Wrong link type specified!
expect-caption Error
click 1
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 30
code=0
wait "$UI_VORLANTH" || code=$?
[[ $code -eq 2 ]] || { echo "FAIL: command-line error exit $code" >&2; exit 1; }

ui_start_vorlanth "Z:\\nonexistent\\app.shx,1,3,1,0,1"
ui_drive <<EOF_SCRIPT
message Can't open the file!
expect-caption $UI_CAPTION
click 1
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 30
code=0
wait "$UI_VORLANTH" || code=$?
[[ $code -eq 3 ]] || { echo "FAIL: missing program file exit $code" >&2; exit 1; }
echo "1 passed, 0 failed"
