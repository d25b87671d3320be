#!/usr/bin/env bash
# vorlanth.exe under Wine: a command-line error is a plain message box (no owner, the
# platform's default caption, no icon, OK) and the program ends with exit code 2; a missing
# program file in Automatic mode shows "Can't open the file!" with the program's caption and
# ends with 3, without showing the dialog.
source "$(dirname "${BASH_SOURCE[0]}")/ui_driver/ui_test_lib.bash"

# expect_box ARGUMENT_TEXT MESSAGE CAPTION EXIT_CODE: one start that shows one box and ends.
expect_box() {
  ui_start_vorlanth "$1"
  ui_drive <<EOF_SCRIPT
message $2
expect-caption $3
click 1
gone
EOF_SCRIPT
  ui_wait_exit "$UI_VORLANTH" 30
  local code=0
  wait "$UI_VORLANTH" || code=$?
  [[ $code -eq $4 ]] || { echo "FAIL: '$1' ended with $code, not $4" >&2; exit 1; }
}

expect_box "a,4,1,1,0,1" "Wrong link type specified!" "Error" 2
expect_box "Z:\\nonexistent\\app.shx,1,3,1,0,1" "Can't open the file!" "$UI_CAPTION" 3
echo "1 passed, 0 failed"
