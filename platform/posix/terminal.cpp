// The POSIX console streams: null-device stand-ins for closed standard streams, terminal
// queries through isatty and ioctl, and a line of input read a byte at a time beside the stop
// request.
#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/stop_wait.h"

namespace vorlanth::platform {

// Descriptors are handed out lowest first, so opening the null device fills the first closed
// one; it is moved to its place in case a lower one was taken meanwhile.
void ensureStandardStreams() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            ::dup2(opened, descriptor);
            ::close(opened);
        }
    }
}

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

int standardErrorRows() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
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
