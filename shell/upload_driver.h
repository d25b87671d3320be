// One upload attempt over an open link: check, handshake, erase, progress and transfer.
#pragma once

#include "shell/session.h"

namespace vorlanth::shell {

// One upload attempt over the open link, with the program file (and companion) open:
// time-outs, entry handshake, erase, progress, transfer. Done on success.
ResultCode uploadProgram(Session& session);

}  // namespace vorlanth::shell
