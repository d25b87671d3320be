#pragma once

#include <string>

namespace vorlanth::platform {

// Whether standard input, or standard error, is an interactive terminal.
bool standardInputIsTerminal();
bool standardErrorIsTerminal();

}  // namespace vorlanth::platform
