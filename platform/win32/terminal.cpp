#include "platform/terminal.h"

#include <io.h>
#include <stdio.h>

namespace vorlanth::platform {

bool standardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}
bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace vorlanth::platform
