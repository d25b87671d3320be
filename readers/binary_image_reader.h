#pragma once

#include "common/session.h"
#include "readers/reader_support.h"

namespace vorlanth::readers {

// Streams the sectioned binary image in session.programFile as records and the end record,
// leaving out erased bytes (0xFF) beyond each section's first 256 bytes and address 256:
// 1 when all went out, 0 on a format error ("Format Error!" shown) or a failed record.
ResultCode transferBinaryImage(Session& session, ProgressSink& progress);

}  // namespace vorlanth::readers
