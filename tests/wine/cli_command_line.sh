#!/usr/bin/env bash
# The Windows console loader under Wine: the same command-line behaviour as on Linux.
set -euo pipefail
export VORLANTH_WINE_NO_DISPLAY=1 VORLANTH_SHORT=1
VORLANTH_CLI="scripts/wine-run ${VORLANTH_BIN:-build/windows/bin}/vorlanth-cli.exe" \
  exec bash tests/process/cli_command_line.sh
