// How the POSIX platform's waits take part in a stop of the run (platform/stop_request.h):
// every wait polls the stop request's wake descriptor beside its own, so that a signal ends
// it at once, whichever thread the signal reached.
#pragma once

#include <cstdint>

namespace vorlanth::platform {

enum class WaitOutcome { Ready, TimedOut, Stopped, Failed };

// Waits in poll until fd shows one of events (revents, when given, receives what it showed),
// timeoutMs passes (-1: no limit) or a stop is requested. A signal that interrupts the wait
// resumes it for the time left. With fd -1 only the time and the stop are waited for.
WaitOutcome waitForDescriptor(int fd, short events, int timeoutMs, short* revents = nullptr);

// Milliseconds on the monotonic clock, from which the tick count and the bounds of every wait
// in the POSIX platform are taken.
std::uint64_t monotonicMs();

}  // namespace vorlanth::platform
