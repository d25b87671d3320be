// The virtual terminal's run: listen, answer until the sessions end, then write
// the outputs and check the received program.
#pragma once

#include "options.h"

#include <ostream>

namespace vorlanth::termsim {

enum ExitStatus : int {
    kExitMatched = 0,
    kExitMismatch = 1,
    kExitIncomplete = 2,
    kExitUsage = 3,
};

// Runs the terminal as the options say; returns the process exit status.
int runTerminal(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace vorlanth::termsim
