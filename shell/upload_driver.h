#pragma once

#include "common/session.h"

namespace vorlanth::shell {

// One upload attempt over the open link, with the program file (and companion) open:
// time-outs, entry handshake, erase, progress window, transfer. Positive on success.
ResultCode uploadProgram(Session& session);

}  // namespace vorlanth::shell
