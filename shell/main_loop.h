// The program's start-up and its passes: the settings from the command line or the settings
// file, then passes of settings form, opening, uploads with retries, and the told outcome.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "shell/session.h"

namespace vorlanth::shell {

// The companion settings file of a BASIC program: everything from the first "." of the
// path is replaced by ".ini"; a path without "." gets ".ini" appended.
std::string companionNameFor(std::string_view programPath);

// Start-up once the environment flag has been read and the front end is up: presets the
// settings, then fills them from the command line or, when there is none, from the settings
// file. Returns false when the command line was refused (its message has been shown).
bool applyStartupSettings(Session& session, std::string_view argumentText);

// Clears what belongs to one pass: files, link, line settings, buffers, settingsFormReady.
void resetPass(Session& session);

// One upload attempt; the upload driver's uploadProgram unless a test puts another in.
using UploadAttempt = std::function<ResultCode(Session&)>;

// Whether a failed upload is tried again. Ask: the person is asked the retry question. Retry: it
// is tried again up to `retries` times in a pass without asking anyone (the front end is told),
// never after a format error or a program that is not the expected one, which a retry cannot
// mend. Each retry opens the link and the files afresh.
struct RetryPolicy {
    enum class Kind { Ask, Retry };
    Kind kind = Kind::Ask;
    int retries = 0;

    static RetryPolicy ask() { return {}; }
    static RetryPolicy retryTimes(int retries) { return {Kind::Retry, retries}; }
};

// Runs passes until Exit, or after the one pass of Automatic mode; sets session.exitCode.
void runMainLoop(Session& session, const RetryPolicy& policy = RetryPolicy::ask());
void runMainLoop(Session& session, const UploadAttempt& attempt,
                 const RetryPolicy& policy = RetryPolicy::ask());

// Settles the exit code once the run is over: a stop the user asked for (a signal) makes it
// 128 + the signal's number. Returns that signal, or 0 when the run was not stopped.
int settleStop(Session& session);

}  // namespace vorlanth::shell
