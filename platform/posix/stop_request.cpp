// The POSIX stop request: SIGINT, SIGTERM and SIGHUP set one flag and a wake pipe that every
// poll of every thread watches; the monotonic clock and the wait that both use.
#include "platform/stop_request.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <type_traits>

#include "platform/posix/stop_wait.h"

namespace vorlanth::platform {

namespace {

// The stop request: the one mutable global of the program, because a signal handler can
// reach nothing else. The signal number is set once by the first stop signal; the pipe's
// read end becomes readable at the same moment and stays so (it is never drained), so that
// every later wait ends at once too.
// The pipe is made once and lives as long as the process: the handler may write to it until
// the very end. Its ends are therefore plain numbers rather than UniqueFd, whose close during
// static destruction would pull it away from a signal that arrives late; the struct stays
// trivially destructible.
struct StopRequest {
    std::atomic<int> signal{0};
    int wakeRead = -1;
    int wakeWrite = -1;
};
StopRequest stopRequest;
static_assert(std::is_trivially_destructible_v<StopRequest>, "the pipe must outlive every signal");
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");
static_assert(SIGHUP == kHangUpSignal && SIGINT == kInterruptSignal && SIGTERM == kTerminateSignal);

// Async-signal-safe: an atomic store and a write(2), errno kept for the code interrupted.
extern "C" void onStopSignal(int signal) {
    const int savedErrno = errno;
    int none = 0;
    stopRequest.signal.compare_exchange_strong(none, signal);
    if (stopRequest.wakeWrite >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(stopRequest.wakeWrite, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

std::uint64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// No SA_RESTART: a blocking call that the signal interrupts fails with EINTR (a settings save
// then fails cleanly), and waits see the request through the wake pipe.
void installStopHandlers() {
    if (stopRequest.wakeRead < 0) {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
            stopRequest.wakeRead = ends[0];
            stopRequest.wakeWrite = ends[1];
        }
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, stop);
    }
    action.sa_flags = 0;
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(stop, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int stopSignal() {
    return stopRequest.signal.load();
}

WaitOutcome waitForDescriptor(int fd, short events, int timeoutMs, short* revents) {
    const std::int64_t deadline =
        timeoutMs < 0 ? -1 : static_cast<std::int64_t>(monotonicMs()) + timeoutMs;
    for (;;) {
        if (stopSignal() != 0) {
            return WaitOutcome::Stopped;
        }
        int left = -1;
        if (deadline >= 0) {
            const std::int64_t remaining = deadline - static_cast<std::int64_t>(monotonicMs());
            left = remaining <= 0 ? 0 : static_cast<int>(remaining > INT_MAX ? INT_MAX : remaining);
        }
        pollfd waiters[2] = {{fd, events, 0}, {stopRequest.wakeRead, POLLIN, 0}};
        const int ready = ::poll(waiters, 2, left);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WaitOutcome::Failed;
        }
        if (waiters[1].revents != 0 || stopSignal() != 0) {
            return WaitOutcome::Stopped;
        }
        if (ready == 0) {
            return WaitOutcome::TimedOut;
        }
        if (revents != nullptr) {
            *revents = waiters[0].revents;
        }
        return WaitOutcome::Ready;
    }
}

}  // namespace vorlanth::platform
