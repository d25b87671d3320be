// Checking a program file whole before sending and then sending it as its file type asks,
// with the progress reported to a ProgressSink.
#pragma once

#include <cstdint>

#include "shell/session.h"

namespace vorlanth::shell {

// Where the sending reports how far it has come, and lets the front end stay responsive.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // Sets the progress to percent (0..100); consumed and total are what it stands for.
    virtual void setProgress(int percent, std::uint64_t consumed, std::uint64_t total) = 0;
    // Called after each chunk of the file, so that the front end keeps answering its user.
    virtual void stayResponsive() = 0;
};

// Reads the whole program file (and a BASIC program's companion) without sending anything,
// taking their SHA-256 on the way (told to the front end), then rewinds them for the sending:
// Done when the program would upload. Otherwise the failure the file type's sending would give
// (-106 S-record, Failed otherwise), with session.failure saying where and why: "Format Error!"
// shown for a file not in its format, "SHA-256 mismatch!" for a program whose digest is not
// session.expectedSha256.
ResultCode checkProgramFiles(Session& session);

// Sends the program in session.programFile over the link as its file type asks: joined
// records and the end record (S-record), records without erased bytes and the end record
// (binary image), or blocks and "END\r" (BASIC, also for any other file type). Done when all
// went out; -106, Failed or -109 as the shape's failures are. A file that turns out not to be
// in its format while it is sent changed after the check: a read failure with the place as its
// detail, never "Format Error!".
ResultCode transferProgram(Session& session, ProgressSink& progress);

}  // namespace vorlanth::shell
