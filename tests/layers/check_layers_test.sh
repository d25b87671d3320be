#!/usr/bin/env bash
# The layer check against a small tree with one include of each kind it must refuse: a folder
# reaching up, a folder outside the table, an OS header and an OS test in a portable folder,
# a file in no folder of the table; then a table whose layers include each other.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
checker="$here/../../cmake/check_layers.py"
fixture="$here/fixture"
failed=0

# expect_run TABLE WANT_STATUS WANT_OUTPUT
expect_run() {
    local status=0 output
    output="$(python3 "$checker" --root "$fixture" --table "$fixture/$1")" || status=$?
    if [[ "$status" != "$2" || "$output" != "$3" ]]; then
        echo "FAIL: table $1: status $status (want $2), output:"
        echo "$output"
        echo "want:"
        echo "$3"
        failed=1
    fi
}

expect_run layers.txt 1 'base/reaches_up.h:4: base/ may not include "core/user.h" (core/ is not below it in the layer table)
core/user.h:3: "nowhere/thing.h" is in no folder of the layer table
core/user.h:4: <unistd.h> is an OS or toolkit header; core/ may include only the C++ library
core/user.h:5: asks which OS it is; only platform folders may
stray/lost.h: in no folder of the layer table
layer check: 5 problem(s) in 5 files'

expect_run cycle.txt 1 "$fixture/cycle.txt: layers include each other: base -> core -> base
core/user.h:3: \"nowhere/thing.h\" is in no folder of the layer table
core/user.h:4: <unistd.h> is an OS or toolkit header; core/ may include only the C++ library
core/user.h:5: asks which OS it is; only platform folders may
os/handle.h: in no folder of the layer table
stray/lost.h: in no folder of the layer table
layer check: 6 problem(s) in 4 files"

# The same tree without the stray folder and the offending files keeps to its table.
clean="$(mktemp -d)"
trap 'rm -rf "$clean"' EXIT
mkdir -p "$clean/base" "$clean/core" "$clean/os"
cp "$fixture/layers.txt" "$clean/"
cp "$fixture/base/value.h" "$fixture/base/other.h" "$clean/base/"
cp "$fixture/os/handle.h" "$clean/os/"
printf '#pragma once\n#include "base/value.h"\n' >"$clean/core/user.h"
if ! output="$(python3 "$checker" --root "$clean" --table "$clean/layers.txt")"; then
    echo "FAIL: a tree that keeps to its table was refused:"
    echo "$output"
    failed=1
fi

((failed == 0)) && echo "layer check test: passed"
exit "$failed"
