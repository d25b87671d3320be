#pragma once

#include "common/session.h"
#include "readers/reader_support.h"

namespace vorlanth::readers {

// The value of two hexadecimal digits (upper or lower case), 0..255; -1 when either
// character is no hexadecimal digit.
int hexPairValue(char first, char second);

// Streams the S-record program in session.programFile as joined binary records and the end
// record: 1 when all went out, -106 otherwise ("Format Error!" is shown for a bad record).
ResultCode transferSRecordFile(Session& session, ProgressSink& progress);

}  // namespace vorlanth::readers
