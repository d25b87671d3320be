// How the Win32 platform's waits take part in a stop of the run (platform/stop_request.h):
// sleeps wait on the stop event, and reads that the comm API or Winsock cannot wake wait in
// slices of kStopSliceMs, so that a stop is seen within one slice.
#pragma once

#include <windows.h>

namespace vorlanth::platform {

inline constexpr DWORD kStopSliceMs = 100;

// The event set by a stop request; nullptr until the handlers are installed.
HANDLE stopEvent();

// Marks the main thread as inside (true) or out of (false) a read of standard input, which a
// stop request cancels: a console read is the one wait that nothing else can wake.
void setReadingInput(bool reading);

}  // namespace vorlanth::platform
