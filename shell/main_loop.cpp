#include "shell/main_loop.h"

#include "link/link.h"
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
// to show (-151 or -152); 1 when everything is open.
ResultCode openProgramFiles(Session& session, bool formCompanionName) {
    platform::FileSystem& files = session.platform.files();
    session.programFile =
        files.openForReading(session.settings.programPath.str(), &session.failure);
    if (!session.programFile) {
        return result::kCantOpenFile;
    }
    if (readers::hasCompanion(session.settings.fileType)) {
        if (formCompanionName) {
            session.companionName.assignCut(companionNameFor(session.settings.programPath.view()));
        }
        session.companionFile = files.openForReading(session.companionName.str(), &session.failure);
        if (!session.companionFile) {
            return result::kCantOpenCompanionFile;
        }
    }
    return 1;
}

// True once the user asked the run to stop (a signal, Ctrl+C): the loop then ends at once
// through its normal close path, asking nothing and showing nothing more.
bool stopping(Session& session) {
    return session.platform.stopRequested() != 0;
}

// The network address of an Automatic command line, checked before anything is sent: a
// refusal shows -150's message with why, and the run ends as a command-line error.
bool targetAddressAccepted(Session& session) {
    if (session.settings.linkType < Network || session.settings.executionMode != Automatic) {
        return true;
    }
    FailureDetail why;
    if (link::resolveTargetAddress(session.platform.sockets(),
                                   session.settings.targetAddress.view(), &why)) {
        return true;
    }
    showResultMessage(session.frontEnd, session.frontEnd.activeWindow(), result::kInvalidIpAddress,
                      &why);
    session.exitCode = exit_code::kCommandLineError;
    return false;
}

// Shows code's message with what is known of why.
void show(Session& session, ResultCode code) {
    showResultMessage(session.frontEnd, session.frontEnd.activeWindow(), code, &session.failure);
}

// A failed attempt that ended on a format error tells a calling tool the file is at fault.
int failedAttemptExitCode(const Session& session) {
    return session.failure.kind == FailureKind::FileFormat ? exit_code::kFileNotValid
                                                           : exit_code::kUploadFailed;
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
        // The settings file is not read, but a dialog shown in Interactive mode saves beside
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
    session.link.lineSettings = platform::LineSettings{};
    session.transmitBuffer.fill(0);
    session.responseLine.clear();
    session.dialogReady = false;
    session.failure = FailureDetail{};
}

void runMainLoop(Session& session) {
    runMainLoop(session, uploadProgram);
}

void runMainLoop(Session& session, const UploadAttempt& attempt) {
    session.frontEnd.initCommonControls();
    for (;;) {
        resetPass(session);
        const bool automatic = session.settings.executionMode == Automatic;
        if (stopping(session)) {
            break;
        }
        if (!automatic && session.frontEnd.runSettingsDialog(session) != 1) {
            break;
        }
        if (stopping(session)) {
            break;
        }

        const ResultCode opened = openProgramFiles(session, true);
        if (opened != 1) {
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
        if (linkCode < 0) {
            show(session, linkCode);
            session.exitCode = exit_code::kLinkOpenFailed;
            if (automatic) {
                break;
            }
            continue;
        }

        ResultCode uploaded = attempt(session);
        while (uploaded <= 0 && !stopping(session)) {
            session.exitCode = failedAttemptExitCode(session);
            if (showResultMessage(session.frontEnd, session.frontEnd.activeWindow(),
                                  result::kRetryQuestion, &session.failure) != Answer::Yes ||
                stopping(session)) {
                break;
            }
            // A failed reopening of the link is not reported here: the attempt fails on its own.
            closeFiles(session);
            link::closeLink(link);
            link::openLink(link);
            const ResultCode reopened = openProgramFiles(session, false);
            if (reopened != 1) {
                show(session, reopened);
                session.exitCode = exit_code::kFileOpenFailed;
                break;
            }
            uploaded = attempt(session);
        }
        if (stopping(session)) {
            break;
        }
        if (uploaded > 0) {
            session.exitCode = exit_code::kSuccess;
            show(session, result::kUploadSucceeded);
        }
        if (automatic) {
            break;
        }
    }
}

}  // namespace vorlanth::shell
