#pragma once

#include "common/session.h"
#include "readers/reader_support.h"

namespace vorlanth::readers {

// Uploads the BASIC object program in session.programFile with its companion settings file
// as blocks, then "END\r": 1 when everything was accepted; -109 when a block or "END\r" was
// refused; 0 when the program file is empty or shorter than its counts announce
// ("Format Error!" shown, nothing sent).
ResultCode transferBasicProgram(Session& session, ProgressSink& progress);

}  // namespace vorlanth::readers
