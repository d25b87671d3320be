// The stop request: signals (or console events on Windows) turned into a request every wait
// sees, so that a stopped run unwinds through its close path; the stop signals' numbers and names.
#pragma once

#include <string_view>

namespace vorlanth::platform {

// Makes the requests that end a console run (SIGINT, SIGTERM and SIGHUP; on Windows Ctrl+C,
// Ctrl+Break and the closing of the console) ask the run to stop instead of killing the
// process, so that it unwinds through its normal close path; SIGPIPE is ignored, so that a
// closed output pipe never ends an upload. The console loader calls it once at start.
void installStopHandlers();

// Numbers of the stop signals, the same on every system (Windows mirrors POSIX), so that an
// exit code of 128 + the number means the same everywhere.
inline constexpr int kHangUpSignal = 1;
inline constexpr int kInterruptSignal = 2;
inline constexpr int kTerminateSignal = 15;

// The signal number of the first stop request (kInterruptSignal, ...), or 0.
int stopSignal();

// The name of a stop signal ("SIGINT"), or "signal" for any other number.
inline std::string_view stopSignalName(int signal) {
    switch (signal) {
        case kHangUpSignal:
            return "SIGHUP";
        case kInterruptSignal:
            return "SIGINT";
        case kTerminateSignal:
            return "SIGTERM";
        default:
            return "signal";
    }
}

}  // namespace vorlanth::platform
