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
UI_CAPTION="Program download  (Ver. 1.31)"

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
