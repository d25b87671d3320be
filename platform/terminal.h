#pragma once

#include <string>

namespace vorlanth::platform {

// Whether standard input, or standard error, is an interactive terminal.
bool standardInputIsTerminal();
bool standardErrorIsTerminal();
// Whether standard error is a terminal that takes cursor movements (escape sequences); on
// Windows the console is asked to take them, which older consoles refuse.
bool standardErrorTakesCursorMoves();

}  // namespace vorlanth::platform
