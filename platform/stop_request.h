#pragma once

#include <string_view>

namespace vorlanth::platform {

// Makes the requests that end a console run (SIGINT, SIGTERM and SIGHUP; on Windows Ctrl+C,
// Ctrl+Break and the closing of the console) ask the run to stop instead of killing the
// process, so that it unwinds through its normal close path; SIGPIPE is ignored, so that a
// closed output pipe never ends an upload. The console loader calls it once at start.
void installStopHandlers();

// The signal number of the first stop request (SIGINT 2, SIGTERM 15, SIGHUP 1), or 0.
int stopSignal();

// The name of a stop signal ("SIGINT"), or "signal" for any other number.
std::string_view stopSignalName(int signal);

}  // namespace vorlanth::platform
