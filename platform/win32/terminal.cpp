#include "platform/terminal.h"

#include <io.h>
#include <stdio.h>

#include <iostream>

#include "platform/stop_request.h"
#include "platform/win32/stop_wait.h"

namespace vorlanth::platform {

bool standardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}
bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

// A console read ends when Ctrl+C cancels it (the control handler cancels the main thread's
// synchronous read while it is marked as reading); the stop is looked at before and after.
bool readStandardInputLine(std::string& line) {
    line.clear();
    setReadingInput(true);
    const bool read = stopSignal() == 0 && static_cast<bool>(std::getline(std::cin, line));
    setReadingInput(false);
    if (!read || stopSignal() != 0) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace vorlanth::platform
