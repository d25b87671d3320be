// Opening a file on POSIX so that only a regular file (or, when asked, a FIFO) is kept and
// nothing blocks in the open.
#pragma once

#include <string>

#include "common/failure_detail.h"
#include "platform/posix/unique_fd.h"

namespace vorlanth::platform {

// Opens path for reading without ever blocking in the open (a FIFO without a writer, a
// device that waits for carrier) and keeps it only when it is a regular file; the descriptor
// comes back in blocking mode, close-on-exec. Anything else (FIFO, device, socket, directory,
// a loop of symbolic links) gives an empty UniqueFd at once, with why saying what it was.
// For every file the program reads: program files, their companions, the INI files.
UniqueFd openRegularFile(const std::string& path, FailureDetail* why = nullptr);

// Opens path as openRegularFile does, but also takes a FIFO or a pipe, which comes back
// non-blocking (fifo set true): its reads are to wait in poll, where a stop request wakes them.
UniqueFd openRegularFileOrFifo(const std::string& path, bool& fifo, FailureDetail* why = nullptr);

}  // namespace vorlanth::platform
