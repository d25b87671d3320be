#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "shell/session.h"

namespace vorlanth::shell {

// The companion settings file of a BASIC program: everything from the first "." of the
// path is replaced by ".ini"; a path without "." gets ".ini" appended.
std::string companionNameFor(std::string_view programPath);

// Start-up after the environment flag has been read and the main window exists: presets the
// settings, then fills them from the command line or, when there is none, from the settings
// file. Returns false when the command line was refused (its message has been shown).
bool applyStartupSettings(Session& session, std::string_view argumentText);

// Clears what belongs to one pass: files, link, line settings, buffers, dialogReady.
void resetPass(Session& session);

// One upload attempt; the upload driver's uploadProgram unless a test puts another in.
using UploadAttempt = std::function<ResultCode(Session&)>;

// Runs passes until Exit, or after the one pass of Automatic mode; sets session.exitCode.
void runMainLoop(Session& session);
void runMainLoop(Session& session, const UploadAttempt& attempt);

}  // namespace vorlanth::shell
