#pragma once

#include <string>

namespace vorlanth::platform {

// Whether standard input, or standard error, is an interactive terminal.
bool standardInputIsTerminal();
bool standardErrorIsTerminal();

// Reads one line of standard input, without its line end (a CR before the LF is dropped too).
// False at the end of input, on a read error, and when a stop of the run is requested while
// it waits: a person's answer is awaited for as long as it takes, but never past a stop.
bool readStandardInputLine(std::string& line);

}  // namespace vorlanth::platform
