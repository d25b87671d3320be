#include "platform/terminal.h"

#include <io.h>
#include <stdio.h>
#include <windows.h>

// Headers that target Windows 7 lack the console flag of Windows 10.
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

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
// The console window's height, not its buffer's.
int standardErrorRows() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return 0;
    }
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

// A console takes escape sequences once virtual terminal processing is on (Windows 10 and
// later); a console that refuses it gets plain lines.
bool standardErrorTakesCursorMoves() {
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!standardErrorIsTerminal() || console == INVALID_HANDLE_VALUE ||
        !GetConsoleMode(console, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
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
