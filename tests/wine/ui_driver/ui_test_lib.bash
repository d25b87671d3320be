# Sourced by the Wine UI tests (tests/wine/ui_*.sh): a virtual display, the project's Wine
# prefix, a fresh folder holding the programs, and the window driver.
set -euo pipefail

if [[ -z "${DISPLAY:-}" ]]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

: "${VORLANTH_BIN:?VORLANTH_BIN must name the folder of the Windows build}"
ui_root="$(pwd)"
# shellcheck source=scripts/wine-env
source "$ui_root/scripts/wine-env"
vorlanth_wine_prefix
# No window manager runs on the virtual display: Wine would wait up to 2 s for one to
# acknowledge every window it hides. Let Wine place and frame its windows itself.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  timeout 30 wineserver -w || true
fi

ui_work="$(mktemp -d "${TMPDIR:-/tmp}/vorlanth-ui.XXXXXX")"
ui_app="$ui_work/app"
mkdir -p "$ui_app"
cp "$VORLANTH_BIN/vorlanth.exe" "$VORLANTH_BIN/vorlanth_ui_driver.exe" "$ui_app/"
ui_pids=()

ui_cleanup() {
  local pid
  for pid in "${ui_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${ui_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$ui_work"
}
trap ui_cleanup EXIT

# The caption of the settings dialog and of every message box about an upload.
source "$ui_root/tests/process/lib.sh"
UI_CAPTION="Program download  (Ver. $(project_version))"

# The Windows name Wine gives a Unix path (drive Z: is the root).
ui_winpath() {
  local path="$1"
  printf 'Z:%s' "${path//\//\\}"
}

# Starts vorlanth.exe from the app folder with the given argument text; its pid is UI_VORLANTH.
ui_start_vorlanth() {
  (cd "$ui_app" && exec wine ./vorlanth.exe "$@") >"$ui_work/vorlanth.log" 2>&1 &
  UI_VORLANTH=$!
  ui_pids+=("$UI_VORLANTH")
}

# Runs a driver script from standard input; fails the test when a step fails.
ui_drive() {
  if ! timeout 180 wine "$ui_app/vorlanth_ui_driver.exe" >"$ui_work/driver.log" 2>&1; then
    cat "$ui_work/driver.log" >&2
    echo "FAIL: the window driver stopped (log above)" >&2
    exit 1
  fi
  grep -c '^>' "$ui_work/driver.log" | sed 's/^/driver steps: /'
}

# Waits up to $2 seconds for process $1 to end; fails the test when it does not.
ui_wait_exit() {
  local pid="$1" seconds="$2" waited=0
  while kill -0 "$pid" 2>/dev/null; do
    if ((waited >= seconds * 10)); then
      echo "FAIL: process $pid still running after ${seconds}s" >&2
      exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

# Waits for the virtual terminal $1 to end; fails the test unless it received the program.
ui_expect_received() {
  ui_wait_exit "$1" 20
  if ! wait "$1"; then
    echo "FAIL: the virtual terminal did not receive the program:" >&2
    cat "$ui_work/termsim.err" >&2
    exit 1
  fi
}

# Writes an S-record program of $2 lines of 32 bytes each and the end line, CR LF after each.
ui_make_srecord_program() {
  python3 - "$1" "$2" <<'EOF_PY'
import sys
lines = []
for n in range(int(sys.argv[2])):
    address = 0x00020000 + 32 * n
    data = bytes((n * 7 + i * 13) & 0xFF for i in range(32))
    body = bytes([len(data) + 5]) + address.to_bytes(4, "big") + data
    lines.append("S3" + body.hex().upper() + "%02X" % (~sum(body) & 0xFF))
lines.append("S70500000000FA")
open(sys.argv[1], "w", newline="").write("".join(line + "\r\n" for line in lines))
EOF_PY
}

# Starts the virtual terminal behind COM3 with the given options; its pid is UI_TERMSIM.
ui_start_termsim() {
  local com3="$WINEPREFIX/dosdevices/com3"
  rm -f "$com3"
  "$UI_TERMSIM_BIN" --link "$com3" "$@" >"$ui_work/termsim.out" 2>"$ui_work/termsim.err" &
  UI_TERMSIM=$!
  ui_pids+=("$UI_TERMSIM")
  for _ in $(seq 100); do
    grep -q '^READY' "$ui_work/termsim.out" && return 0
    sleep 0.1
  done
  echo "FAIL: the virtual terminal did not start:" >&2
  cat "$ui_work/termsim.err" >&2
  exit 1
}
UI_TERMSIM_BIN="${VORLANTH_LINUX_BIN:-$ui_root/build/linux/bin}/vorlanth-termsim"
