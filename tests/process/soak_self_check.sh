#!/usr/bin/env bash
# The soak must catch what it is there to catch: with a loader that claims success without
# sending anything, and one that fails without saying why, tests/soak/soak.sh has to fail and
# name the broken promise.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
bin=$(cd "${VORLANTH_BIN:-build/linux/bin}" && pwd)
work=$(mktemp -d /tmp/vorlanth-soak-check-XXXXXX)
trap 'rm -rf "$work"' EXIT
ln -s "$bin/vorlanth-termsim" "$work/vorlanth-termsim"
failures=0

# check LOADER_SCRIPT PROBLEM: soak with that loader must fail naming PROBLEM.
check() {
  printf '#!/bin/sh\n%s\n' "$1" >"$work/vorlanth-cli"
  chmod +x "$work/vorlanth-cli"
  local out
  # TMPDIR: the folders the soak keeps of what it caught go away with this test's.
  out=$(TMPDIR=$work VORLANTH_BIN=$work timeout 120 tests/soak/soak.sh --jobs 2 --slow-share 0 --first-seed 7 2)
  if [[ $? -eq 0 || $out != *"$2"* ]]; then
    echo "FAIL: a loader doing \"$1\" was not caught as $2:"
    echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: caught $2"
  fi
}
check 'exit 0' success-but-terminal
check 'exit 1' failure-not-reported
check 'sleep 20; echo "Failed to Upload"; exit 1' over-time
echo "$failures failed"
[[ $failures -eq 0 ]]
