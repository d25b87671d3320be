// Standard input, output and error as the console needs them: opened on the null device when
// closed, asked whether they are terminals, and a line of input read that a stop can end.
#pragma once

#include <string>

namespace vorlanth::platform {

// Makes sure standard input, output and error are open before the program opens anything: each
// one that is closed is opened on the null device (input read-only, output and error
// write-only), so that no pipe, socket or file the program opens later takes its number and
// receives its progress text or JSON. Called first thing at start; on Windows a missing
// standard handle is no error and nothing is done.
void ensureStandardStreams();

// Whether standard input, or standard error, is an interactive terminal.
bool standardInputIsTerminal();
bool standardErrorIsTerminal();
// Whether standard error is a terminal that takes cursor movements (escape sequences); on
// Windows the console is asked to take them, which older consoles refuse.
bool standardErrorTakesCursorMoves();
// The number of lines the terminal on standard error shows at once; 0 when it cannot be told.
int standardErrorRows();

// Reads one line of standard input, without its line end (a CR before the LF is dropped too).
// False at the end of input, on a read error, and when a stop of the run is requested while
// it waits: a person's answer is awaited for as long as it takes, but never past a stop.
bool readStandardInputLine(std::string& line);

}  // namespace vorlanth::platform
