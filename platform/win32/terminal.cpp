// The Win32 console streams: terminal queries, escape sequences switched on where the console
// takes them, and a line of input whose wait a stop can end.
#include "platform/terminal.h"

#include <io.h>
#include <stdio.h>
#include <windows.h>

// Headers that target Windows 7 lack the console flag of Windows 10.
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

#include <iostream>
#include <vector>

#include "platform/stop_request.h"
#include "platform/win32/stop_wait.h"

namespace vorlanth::platform {

// A process without a standard handle gets INVALID_HANDLE_VALUE or nothing from GetStdHandle,
// and no handle the program opens ever takes a standard handle's place: nothing to do.
void ensureStandardStreams() {}

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

namespace {

// Whether the console's input holds a whole line: an Enter key pressed among the waiting events.
// When it cannot be told, it is taken to hold one, so that the read goes ahead as before.
bool consoleHoldsLine(HANDLE input) {
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(input, &count)) {
        return true;
    }
    std::vector<INPUT_RECORD> events(count);
    DWORD peeked = 0;
    if (count > 0 && !PeekConsoleInputA(input, events.data(), count, &peeked)) {
        return true;
    }
    for (DWORD i = 0; i < peeked; ++i) {
        const KEY_EVENT_RECORD& key = events[i].Event.KeyEvent;
        if (events[i].EventType == KEY_EVENT && key.bKeyDown &&
            (key.wVirtualKeyCode == VK_RETURN || key.uChar.AsciiChar == '\r')) {
            return true;
        }
    }
    return false;
}

// Waits, without reading, until the console holds a whole line (true) or a stop of the run is
// requested (false). The wait is on the console handle and the stop event together, so that
// Ctrl+C at a prompt ends it at once; cancelling a console read that is already waiting does
// not always work (Wine). While a line is being typed the handle stays signalled, so it is
// looked at again every kStopSliceMs rather than at once.
bool waitForConsoleLine(HANDLE input, HANDLE stop) {
    const HANDLE handles[2] = {stop, input};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            return false;
        }
        if (woke != WAIT_OBJECT_0 + 1 || consoleHoldsLine(input)) {
            return true;  // a wait that failed falls back to the read itself
        }
        if (WaitForSingleObject(stop, kStopSliceMs) == WAIT_OBJECT_0) {
            return false;
        }
    }
}

// One line from the console once it holds one: the read returns at once with it (a line
// typed ahead stays in the console for the next question).
bool readConsoleLine(HANDLE input, std::string& line) {
    char chunk[256];
    for (;;) {
        DWORD count = 0;
        setReadingInput(true);
        const BOOL read = ReadConsoleA(input, chunk, sizeof chunk, &count, nullptr);
        setReadingInput(false);
        if (!read || count == 0 || stopSignal() != 0) {
            return false;
        }
        line.append(chunk, count);
        if (line.back() == '\n') {
            line.pop_back();
            return true;
        }
    }
}

}  // namespace

// At a console, the wait for the answer watches the stop event beside the console, and the read
// comes only once a whole line is there. Other input (a pipe, a file) is read as a stream; a
// stop cancels that read (the control handler cancels the main thread's synchronous read while
// it is marked as reading). The stop is looked at before and after.
bool readStandardInputLine(std::string& line) {
    line.clear();
    if (stopSignal() != 0) {
        return false;
    }
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const HANDLE stop = stopEvent();
    bool read = false;
    if (input != nullptr && input != INVALID_HANDLE_VALUE && stop != nullptr &&
        GetConsoleMode(input, &mode)) {
        read = waitForConsoleLine(input, stop) && readConsoleLine(input, line);
    } else {
        setReadingInput(true);
        read = static_cast<bool>(std::getline(std::cin, line));
        setReadingInput(false);
    }
    if (!read || stopSignal() != 0) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace vorlanth::platform
