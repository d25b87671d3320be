#!/usr/bin/env bash
# The settings file crosses between the systems: the Linux store and the Windows private-profile
# functions write the same bytes for the same settings, and each reads the other's file.
set -euo pipefail
linux_tests="${VORLANTH_LINUX_BIN:?}/vorlanth_platform_tests"
windows_tests="${VORLANTH_BIN:?}/vorlanth_platform_tests.exe"
for program in "$linux_tests" "$windows_tests"; do
  [[ -f $program ]] || { echo "missing $program: build both presets first" >&2; exit 1; }
done
export VORLANTH_WINE_NO_DISPLAY=1

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux" "$work/windows"

# Runs one side's exchange test in mode $2 on directory $3 and insists that it ran and passed.
exchange() {
  local side=$1 mode=$2 directory=$3 output
  if [[ $side == linux ]]; then
    output="$(VORLANTH_SETTINGS_EXCHANGE=$mode VORLANTH_SETTINGS_EXCHANGE_DIR=$directory \
      timeout 60 "$linux_tests" --gtest_filter='PosixProfile.SettingsExchangeWithWindows' 2>&1)" || true
  else
    local windows_directory="Z:${directory//\//\\}"
    output="$(VORLANTH_SETTINGS_EXCHANGE=$mode VORLANTH_SETTINGS_EXCHANGE_DIR=$windows_directory \
      timeout 120 scripts/wine-run "$windows_tests" \
      --gtest_filter='Win32Profile.SettingsExchangeWithPosix' 2>&1)" || true
  fi
  if ! grep -q '^\[  PASSED  \] 1 test' <<<"$output" || grep -q 'SKIPPED' <<<"$output"; then
    echo "$side $mode in $directory failed:" >&2
    echo "$output" >&2
    exit 1
  fi
  echo "ok: $side $mode"
}

exchange linux write "$work/linux"
exchange windows write "$work/windows"
cmp "$work/linux/Vorlanth.ini" "$work/windows/Vorlanth.ini"
echo "ok: both systems wrote the same bytes"
exchange windows read "$work/linux"
exchange linux read "$work/windows"
