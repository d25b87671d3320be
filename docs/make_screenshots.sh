#!/usr/bin/env bash
# Takes the README's screenshots of vorlanth.exe under Wine and Xvfb: the settings dialog in
# serial and network mode, the erase window and the progress window (during a real upload to
# the virtual terminal). Needs both presets built, the virtual terminal included, and xwd and
# ImageMagick (apt-get install x11-apps imagemagick). Run from the repository root:
#   VORLANTH_BIN=build/windows/bin VORLANTH_LINUX_BIN=build/linux/bin docs/make_screenshots.sh
# A prefix of its own: Wine draws the window frames itself there (no window manager runs).
export VORLANTH_WINEPREFIX="${VORLANTH_SHOTS_WINEPREFIX:-${TMPDIR:-/tmp}/vorlanth-wine-shots}"
VORLANTH_BIN="$(cd "${VORLANTH_BIN:-build/windows/bin}" && pwd)"
export VORLANTH_BIN
source "$(dirname "${BASH_SOURCE[0]}")/../tests/wine/ui_driver/ui_test_lib.bash"
[[ -x "$UI_TERMSIM_BIN" ]] || { echo "the virtual terminal is missing: $UI_TERMSIM_BIN" >&2; exit 1; }
docs="$ui_root/docs"
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

# Saves the window the driver's last "rect" named as docs/$1.png.
shot() {
  read -r _ x y w h < <(grep '^RECT' "$ui_work/driver.log" | tail -1)
  xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$docs/$1.png"
  echo "docs/$1.png: ${w}x${h}"
}

# The program lies on drive C:, so that the file name box shows a plain path.
mkdir -p "$WINEPREFIX/drive_c/Programs"
program="$WINEPREFIX/drive_c/Programs/app.shx"
ui_make_srecord_program "$program" 1024
ui_start_termsim --expect "$program" --type shx --erase-ms 4000 --write-ms 30 --idle-timeout 90
ui_start_vorlanth "C:\\Programs\\app.shx,1,3,1,0,0"

ui_drive <<EOF_SCRIPT
window $UI_CAPTION
expect-text 101 3
sleep 500
rect
EOF_SCRIPT
shot dialog-serial

ui_drive <<EOF_SCRIPT
window $UI_CAPTION
select 301 2
expect-visible 102 1
set-text 102 192.168.1.20
sleep 500
rect
EOF_SCRIPT
shot dialog-network

ui_drive <<EOF_SCRIPT
window $UI_CAPTION
select 301 0
expect-visible 101 1
expect-text 101 3
click 202
gone
window Erase
sleep 1000
rect
EOF_SCRIPT
shot erase-window

ui_drive <<EOF_SCRIPT
window Progress
sleep 2500
rect
EOF_SCRIPT
shot progress-window

ui_drive <<EOF_SCRIPT
timeout 60000
message Uploaded successfully!
click 1
gone
window $UI_CAPTION
click 2
gone
EOF_SCRIPT
ui_wait_exit "$UI_VORLANTH" 20
