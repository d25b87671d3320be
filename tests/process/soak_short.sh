#!/usr/bin/env bash
# A short fault soak (tests/soak/soak.sh): two dozen seeded uploads of random programs over both
# links with random faults, the 8-second kinds left out to keep it quick. scripts/soak runs
# the long one.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
timeout 240 tests/soak/soak.sh --jobs 2 --slow-share 0 --first-seed "${VORLANTH_SOAK_SEED:-1}" 24
