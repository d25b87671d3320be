// The comm API's records built from a portable serial line: the device-control block (DCB)
// that SetCommState takes and the COMMTIMEOUTS that SetCommTimeouts takes. Pure functions, so
// that a test can pin every field.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/serial_port.h"

namespace vorlanth::platform {

// The DCB for line. The fields a SerialLine does not describe come from found (the device's
// block as GetCommState gave it) when the line keeps them, and are zero otherwise.
DCB deviceControlBlockFor(const SerialLine& line, const DCB& found);

// The time-outs of a read that waits at most readWaitMs (0: returns at once with what has
// arrived) under the write deadline write.
COMMTIMEOUTS commTimeoutsFor(const WriteTimeout& write, std::uint32_t readWaitMs);

// The device queue sizes requested at every open, in bytes.
inline constexpr DWORD kInputQueueBytes = 256;
inline constexpr DWORD kOutputQueueBytes = 1200;

}  // namespace vorlanth::platform
