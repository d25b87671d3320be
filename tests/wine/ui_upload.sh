#!/usr/bin/env bash
# A real upload from the desktop program under Wine, in Interactive mode, to the virtual
# terminal on COM3 (a link to its pseudo-terminal): the program is chosen through the
# open-file dialog, a missing COM port is reported, a record the terminal refuses brings the
# retry question, and after Yes the erase window, the progress window and "Uploaded
# successfully!" follow, and the terminal holds the program.
source "$(dirname "${BASH_SOURCE[0]}")/ui_driver/ui_test_lib.bash"

if [[ ! -x "$UI_TERMSIM_BIN" ]]; then
  echo "SKIP: $UI_TERMSIM_BIN is missing (build the linux preset with the virtual terminal first)"
  exit 0
fi
if grep -q "Not built yet: every attempt fails." "$ui_root/shell/upload_driver.cpp" 2>/dev/null; then
  echo "SKIP: the upload driver is not built in this tree"
  exit 0
fi

# An S-record program of 8 KiB.
program="$ui_app/prog.shx"
ui_make_srecord_program "$program" 256
ui_start_termsim --expect "$program" --type shx --erase-ms 1500 --write-ms 8 --idle-timeout 60 \
  --fault-at 12:ff
termsim_pid=$UI_TERMSIM

winprogram="$(ui_winpath "$program")"
ui_start_vorlanth
ui_drive <<EOF_SCRIPT
window $UI_CAPTION
click 201
window Open
set-text 1148 $winprogram
click 1
gone
window $UI_CAPTION
expect-text 104 $winprogram
expect-selected 303 0
set-text 101 200
click 202
message Can't open the COM port!
click 1
gone
window $UI_CAPTION
expect-text 104 $winprogram
set-text 101 3
expect-text 101 3
click 202
gone
window Erase
expect-text -1 Erasing flash memory...
gone
message Failed to Upload, would you like to retry?
expect-caption $UI_CAPTION
click 6
gone
window Erase
gone
window Progress
message Uploaded successfully!
expect-caption $UI_CAPTION
click 1
gone
window $UI_CAPTION
click 2
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 20
ui_expect_received "$termsim_pid"
echo "PASS: upload from the settings dialog to the virtual terminal under Wine"
