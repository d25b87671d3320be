#include "platform/terminal.h"

#include <unistd.h>

namespace vorlanth::platform {

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}
bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}
// Every terminal a POSIX system offers takes them.
bool standardErrorTakesCursorMoves() {
    return standardErrorIsTerminal();
}

}  // namespace vorlanth::platform
