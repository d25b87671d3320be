#pragma once

#include "shell/session.h"

namespace vorlanth::shell {

// One upload attempt over the open link, with the program file (and companion) open:
// time-outs, entry handshake, erase, progress window, transfer. Positive on success.
ResultCode uploadProgram(Session& session);

// Sets the progress bar to percent (0..100).
void setProgress(Session& session, int percent);

// Handles at most one waiting window message, then yields the rest of the time slice.
void pumpOneMessage(Session& session);

}  // namespace vorlanth::shell
