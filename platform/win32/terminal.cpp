#include "platform/terminal.h"

#include <io.h>
#include <stdio.h>

#include <iostream>

#include "platform/stop_request.h"

namespace vorlanth::platform {

bool standardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}
bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

// A console read ends when Ctrl+C cancels it (the control handler cancels the main thread's
// synchronous read); the stop is looked at before and after.
bool readStandardInputLine(std::string& line) {
    line.clear();
    if (stopSignal() != 0 || !std::getline(std::cin, line) || stopSignal() != 0) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace vorlanth::platform
