#!/usr/bin/env bash
# vorlanth.exe under Wine: a command-line error is a plain message box (no owner, the
# platform's default caption, no icon, OK) and the program ends with exit code 2; a missing
# program file in Automatic mode shows "Can't open the file!" with the program's caption and
# ends with 3, without showing the dialog; a program file that is not valid shows "Format
# Error!" with its own caption and no owner, then the retry question, and ends with 5 when it is
# declined. (Wine keeps no mark of a box's topmost flag, so it is not checked here.)
source "$(dirname "${BASH_SOURCE[0]}")/ui_driver/ui_test_lib.bash"

# expect_box ARGUMENT_TEXT MESSAGE CAPTION EXIT_CODE [OWNER]: one start that shows one box and
# ends.
expect_box() {
  ui_start_vorlanth "$1"
  ui_drive <<EOF_SCRIPT
message $2
expect-caption $3
${5:+expect-owner $5}
click 1
gone
EOF_SCRIPT
  ui_wait_exit "$UI_VORLANTH" 30
  local code=0
  wait "$UI_VORLANTH" || code=$?
  [[ $code -eq $4 ]] || { echo "FAIL: '$1' ended with $code, not $4" >&2; exit 1; }
}

expect_box "a,4,1,1,0,1" "Wrong link type specified!" "Error" 2 -
expect_box "Z:\\nonexistent\\app.shx,1,3,1,0,1" "Can't open the file!" "$UI_CAPTION" 3

# The checksum of the one record is wrong: the file is refused before anything is sent.
printf 'S3090000100001020304DC\r\n' >"$ui_app/bad.shx"
ui_start_vorlanth "$(ui_winpath "$ui_app/bad.shx"),3,127.0.0.1,3000,0,1"
ui_drive <<EOF_SCRIPT
message Format Error!
expect-caption Program Download
expect-owner -
click 1
gone
message Failed to Upload, would you like to retry?
expect-caption $UI_CAPTION
click 7
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 30
code=0
wait "$UI_VORLANTH" || code=$?
[[ $code -eq 5 ]] || { echo "FAIL: a file that is not valid ended with $code, not 5" >&2; exit 1; }
echo "1 passed, 0 failed"
