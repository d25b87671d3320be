#include "platform/terminal.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/stop_wait.h"

namespace vorlanth::platform {

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}
bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

// One byte per read(2), so that nothing past the line is taken from a shared input (a script
// that answers several questions through one pipe); the wait for each byte also watches the
// stop request.
bool readStandardInputLine(std::string& line) {
    line.clear();
    for (;;) {
        if (waitForDescriptor(STDIN_FILENO, POLLIN, -1) != WaitOutcome::Ready) {
            return false;
        }
        char byte = 0;
        const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (count <= 0) {
            return !line.empty();
        }
        if (byte == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
        line.push_back(byte);
    }
}

}  // namespace vorlanth::platform
