// What every fuzz target does when a check fails: says which check and why, then stops at once
// so that the fuzzer keeps the input (and a replay ends with a failure).
#pragma once

#include <cstdio>
#include <string>

namespace vorlanth::fuzzing {

// A failed invariant: says which, then stops at once so the fuzzer records the input.
[[noreturn]] inline void invariantBroken(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

// Stops with what when condition does not hold.
inline void require(bool condition, const char* what, const std::string& detail = {}) {
    if (!condition) {
        invariantBroken(what, detail);
    }
}

}  // namespace vorlanth::fuzzing
