// The program's passes: start-up settings, then per pass the settings form (Interactive mode),
// the files and the link opened, uploads retried as the run's retry policy says, and the outcome
// told; the exit code of the run, a stop included, is settled here.
#include "shell/main_loop.h"

#include "link/link.h"
#include "link/link_kind.h"
#include "readers/file_types.h"
#include "settings/settings_file.h"
#include "shell/command_line.h"
#include "shell/result_messages.h"
#include "shell/upload_driver.h"

namespace vorlanth::shell {

namespace {

void closeFiles(Session& session) {
    session.programFile.reset();
    session.companionFile.reset();
}

// Opens the program file and, for BASIC programs, its companion. On failure returns the code
// to show (-151 or -152); Done when everything is open.
ResultCode openProgramFiles(Session& session, bool formCompanionName) {
    platform::FileSystem& files = session.platform.files();
    session.programFile =
        files.openForReading(session.settings.programPath.str(), &session.failure);
    if (!session.programFile) {
        return ResultCode::CantOpenFile;
    }
    if (readers::hasCompanion(session.settings.fileType)) {
        if (formCompanionName) {
            session.companionName.assignCut(companionNameFor(session.settings.programPath.view()));
        }
        session.companionFile = files.openForReading(session.companionName.str(), &session.failure);
        if (!session.companionFile) {
            return ResultCode::CantOpenCompanionFile;
        }
    }
    return ResultCode::Done;
}

// True once the user asked the run to stop (a signal, Ctrl+C): the loop then ends at once
// through its normal close path, asking nothing and showing nothing more.
bool stopping(Session& session) {
    return session.platform.stopRequested() != 0;
}

// The target of an Automatic command line, checked before anything is sent (a network address
// must name a terminal): a refusal shows -150's message with why, and the run ends as a
// command-line error.
bool targetAddressAccepted(Session& session) {
    if (session.settings.executionMode != Automatic) {
        return true;
    }
    const Status checked = link::checkTarget(session.settings, session.platform);
    if (checked) {
        return true;
    }
    const FailureDetail why = checked.failure();
    showResultMessage(session.frontEnd, ResultCode::InvalidIpAddress, &why);
    session.exitCode = exit_code::kCommandLineError;
    return false;
}

// Shows code's message with what is known of why.
void show(Session& session, ResultCode code) {
    showResultMessage(session.frontEnd, code, &session.failure);
}

// Whether the last attempt failed on the program file itself: not in its format, or not the
// program the run expects. A retry cannot mend either.
bool fileAtFault(const Session& session) {
    return session.failure.kind == FailureKind::FileFormat ||
           session.failure.kind == FailureKind::UnexpectedDigest;
}

// A failed attempt that ended on the file itself tells a calling tool the file is at fault.
int failedAttemptExitCode(const Session& session) {
    return fileAtFault(session) ? exit_code::kFileNotValid : exit_code::kUploadFailed;
}

// After a failed attempt: the person is asked, or the policy decides (retries left, and never
// when the file itself is at fault) and the front end is told. True to retry.
bool retryAfterFailure(Session& session, const RetryPolicy& policy, int& retriesLeft) {
    if (policy.kind == RetryPolicy::Kind::Ask) {
        return session.frontEnd.askRetry(session.failure);
    }
    const bool retry = retriesLeft > 0 && !fileAtFault(session);
    if (retry) {
        --retriesLeft;
    }
    session.frontEnd.retryDecided(retry, session.failure);
    return retry;
}

}  // namespace

std::string companionNameFor(std::string_view programPath) {
    std::string name(programPath);
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name + ".ini";
}

bool applyStartupSettings(Session& session, std::string_view argumentText) {
    presetUploadSettings(session.settings);
    session.settings.executionMode = Interactive;
    if (!argumentText.empty()) {
        if (parseCommandLine(argumentText, session.settings, session.frontEnd) == 0) {
            session.exitCode = exit_code::kCommandLineError;
            return false;
        }
        if (!targetAddressAccepted(session)) {
            return false;
        }
        // The settings file is not read, but a settings form run in Interactive mode saves beside
        // the program like any other start.
        settings::computeProgramPaths(session);
        return true;
    }
    settings::loadSettings(session);
    return true;
}

void resetPass(Session& session) {
    closeFiles(session);
    link::Link link = linkOf(session);
    link::closeLink(link);
    session.transmitBuffer.fill(0);
    session.responseLine.clear();
    session.settingsFormReady = false;
    session.failure = FailureDetail{};
}

void runMainLoop(Session& session, const RetryPolicy& policy) {
    runMainLoop(session, uploadProgram, policy);
}

void runMainLoop(Session& session, const UploadAttempt& attempt, const RetryPolicy& policy) {
    session.frontEnd.prepare();
    for (;;) {
        resetPass(session);
        const bool automatic = session.settings.executionMode == Automatic;
        if (stopping(session)) {
            break;
        }
        if (!automatic && session.frontEnd.runSettingsForm(session) != SettingsOutcome::Upload) {
            break;
        }
        if (stopping(session)) {
            break;
        }

        const ResultCode opened = openProgramFiles(session, true);
        if (opened != ResultCode::Done) {
            show(session, opened);
            session.exitCode = exit_code::kFileOpenFailed;
            if (automatic) {
                break;
            }
            continue;
        }

        link::Link link = linkOf(session);
        const ResultCode linkCode = link::openLink(link);
        if (stopping(session)) {
            break;
        }
        if (!succeeded(linkCode)) {
            show(session, linkCode);
            session.exitCode = exit_code::kLinkOpenFailed;
            if (automatic) {
                break;
            }
            continue;
        }

        ResultCode uploaded = attempt(session);
        int retriesLeft = policy.retries;
        while (!succeeded(uploaded) && !stopping(session)) {
            session.exitCode = failedAttemptExitCode(session);
            if (!retryAfterFailure(session, policy, retriesLeft) || stopping(session)) {
                break;
            }
            // A failed reopening of the link is not shown here: the attempt that follows fails
            // on its own (a link that did not open is "not open" to its first exchange).
            closeFiles(session);
            link::closeLink(link);
            static_cast<void>(link::openLink(link));
            const ResultCode reopened = openProgramFiles(session, false);
            if (reopened != ResultCode::Done) {
                show(session, reopened);
                session.exitCode = exit_code::kFileOpenFailed;
                break;
            }
            uploaded = attempt(session);
        }
        if (stopping(session)) {
            break;
        }
        if (succeeded(uploaded)) {
            session.exitCode = exit_code::kSuccess;
            show(session, ResultCode::UploadSucceeded);
        }
        if (automatic) {
            break;
        }
    }
}

int settleStop(Session& session) {
    const int signal = session.platform.stopRequested();
    if (signal != 0) {
        session.exitCode = exit_code::stoppedBySignal(signal);
    }
    return signal;
}

}  // namespace vorlanth::shell
