// The main loop: passes, open failures, the retry question and the retry policy, stops.
#include "shell/main_loop.h"

#include <gtest/gtest.h>

#include <deque>

#include "shell/result_messages.h"
#include "shell/upload_driver.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "tests/fakes/result_code_printer.h"

namespace vorlanth::shell {
namespace {

using fakes::bytesOf;

class MainLoopTest : public ::testing::Test {
  protected:
    MainLoopTest() : session(platform, frontEnd) {}

    // Starts with an argument text and runs the loop with scripted upload results.
    void run(std::string_view argumentText, std::deque<ResultCode> results) {
        if (!applyStartupSettings(session, argumentText)) {
            return;
        }
        runMainLoop(session, [this, results](Session& s) mutable {
            ++attempts;
            attemptFilesOpen.push_back(s.programFile != nullptr);
            attemptLinkOpen.push_back(s.link.transport != nullptr);
            if (results.empty()) {
                return ResultCode::Failed;
            }
            const ResultCode r = results.front();
            results.pop_front();
            return r;
        });
    }

    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session;
    int attempts = 0;
    std::vector<bool> attemptFilesOpen;
    std::vector<bool> attemptLinkOpen;
};

TEST_F(MainLoopTest, AutomaticSuccessShowsTheSuccessMessageOnceAndEnds) {
    platform.fileSystem.files["app.shx"] = bytesOf("S70500000000FA\r\n");
    run("app.shx,1,3,1,0,1", {ResultCode::Done});
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(frontEnd.formRuns, 0);
    EXPECT_EQ(frontEnd.texts(), std::vector<std::string>{"Uploaded successfully!"});
    EXPECT_EQ(frontEnd.messages[0].owner, MessageOwner::ActiveWindow);
    EXPECT_EQ(frontEnd.messages[0].caption, std::string(kProgramCaption));
    EXPECT_TRUE(frontEnd.messages[0].topmost);
    EXPECT_EQ(platform.openedComPorts, std::vector<int>{3});
    EXPECT_EQ(session.exitCode, exit_code::kSuccess);
    EXPECT_EQ(frontEnd.prepared, 1);
}

TEST_F(MainLoopTest, OpenFailuresInAutomaticModeEndWithTheirExitCodes) {
    run("/nonexistent/app.shx,1,3,1,0,1", {});
    EXPECT_EQ(frontEnd.texts(), std::vector<std::string>{"Can't open the file!"});
    EXPECT_EQ(session.exitCode, exit_code::kFileOpenFailed);
    EXPECT_EQ(attempts, 0);
    EXPECT_EQ(frontEnd.formRuns, 0);
}

TEST_F(MainLoopTest, MissingCompanionFileAndBusyPortAreReported) {
    platform.fileSystem.files["C:\\old.dir\\app.qbx"] = bytesOf("x");
    run("C:\\old.dir\\app.qbx,1,3,1,1,1", {});
    EXPECT_EQ(frontEnd.texts(),
              std::vector<std::string>{"Can't open the initial setting file (*.INI)!"});
    EXPECT_EQ(session.companionName.view(), "C:\\old.ini");
    EXPECT_EQ(session.exitCode, exit_code::kFileOpenFailed);

    fakes::FakePlatform busyPlatform;
    fakes::RecordingFrontEnd busyFrontEnd;
    Session busy(busyPlatform, busyFrontEnd);
    busyPlatform.fileSystem.files["app.bin"] = bytesOf("x");
    busyPlatform.serialLine.openFails = true;
    ASSERT_TRUE(applyStartupSettings(busy, "app.bin,1,7,1,2,1"));
    runMainLoop(busy, [](Session&) { return ResultCode::Done; });
    EXPECT_EQ(busyFrontEnd.texts(), std::vector<std::string>{"Can't open the COM port!"});
    EXPECT_EQ(busy.exitCode, exit_code::kLinkOpenFailed);
}

TEST_F(MainLoopTest, RetryReopensLinkAndFilesBeforeEachAttempt) {
    platform.fileSystem.files["app.qbx"] = bytesOf("program");
    platform.fileSystem.files["app.ini"] = bytesOf("companion");
    frontEnd.retryAnswers = {true, true};
    run("app.qbx,1,2,1,1,1", {ResultCode::Failed, ResultCode::BlockUploadError, ResultCode::Done});
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(frontEnd.texts(),
              (std::vector<std::string>{"Failed to Upload, would you like to retry?",
                                        "Failed to Upload, would you like to retry?",
                                        "Uploaded successfully!"}));
    EXPECT_EQ(frontEnd.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(frontEnd.messages[0].icon, MessageIcon::Question);
    // Each attempt ran with the files and the link open afresh.
    EXPECT_EQ(platform.fileSystem.opened,
              (std::vector<std::string>{"app.qbx", "app.ini", "app.qbx", "app.ini", "app.qbx",
                                        "app.ini"}));
    EXPECT_EQ(attemptFilesOpen, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(attemptLinkOpen, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(platform.serialLine.openCount, 3);
    EXPECT_EQ(platform.serialLine.closeCount, 2);
    EXPECT_EQ(platform.fileSystem.openFiles, 2);  // the last pass's files stay open
    EXPECT_EQ(session.exitCode, exit_code::kSuccess);
}

TEST_F(MainLoopTest, DecliningTheRetryEndsWithoutSuccessMessage) {
    platform.fileSystem.files["app.shx"] = bytesOf("x");
    frontEnd.retryAnswers = {false};
    run("app.shx,1,1,1,0,1", {ResultCode::Failed});
    EXPECT_EQ(frontEnd.texts(),
              std::vector<std::string>{"Failed to Upload, would you like to retry?"});
    EXPECT_EQ(session.exitCode, exit_code::kUploadFailed);
}

TEST_F(MainLoopTest, RetryWhoseFileVanishedStopsWithTheFileMessage) {
    platform.fileSystem.files["app.shx"] = bytesOf("x");
    frontEnd.retryAnswers = {true};
    applyStartupSettings(session, "app.shx,1,1,1,0,1");
    runMainLoop(session, [this](Session&) {
        platform.fileSystem.files.erase("app.shx");
        return ResultCode::Failed;
    });
    EXPECT_EQ(frontEnd.texts(),
              (std::vector<std::string>{"Failed to Upload, would you like to retry?",
                                        "Can't open the file!"}));
    EXPECT_EQ(session.exitCode, exit_code::kFileOpenFailed);
}

// A program file that is not valid ends each attempt before the link carries a byte; the
// retry question still follows (the file may be mended meanwhile), and a run that ends on it
// exits 5.
TEST_F(MainLoopTest, FormatErrorOffersTheRetryAndEndsWithItsOwnExitCode) {
    platform.fileSystem.files["app.shx"] = bytesOf("S3090000100001020304DC\r\n");
    frontEnd.retryAnswers = {true, false};
    ASSERT_TRUE(applyStartupSettings(session, "app.shx,1,1,1,0,1"));
    runMainLoop(session);
    EXPECT_EQ(
        frontEnd.texts(),
        (std::vector<std::string>{"Format Error!", "Failed to Upload, would you like to retry?",
                                  "Format Error!", "Failed to Upload, would you like to retry?"}));
    EXPECT_TRUE(platform.serialLine.writes.empty());
    EXPECT_EQ(frontEnd.messages[1].detail.kind, FailureKind::FileFormat);
    EXPECT_EQ(frontEnd.messages[1].detail.object, "app.shx");
    EXPECT_EQ(session.exitCode, exit_code::kFileNotValid);
}

TEST_F(MainLoopTest, InteractivePassesRepeatUntilExitAndKeepTheLastPassCode) {
    platform.fileSystem.files["app.shx"] = bytesOf("x");
    frontEnd.formScript.push_back([](Session& s) {
        s.settings.programPath.assign("missing.shx");
        return SettingsOutcome::Upload;
    });
    frontEnd.formScript.push_back([](Session& s) {
        s.settings.programPath.assign("app.shx");
        return SettingsOutcome::Upload;
    });
    frontEnd.retryAnswers = {false};
    run("", {ResultCode::Failed});
    // Pass 1: file missing, shown, dialog again; pass 2: upload fails, retry declined;
    // pass 3: the dialog ends with Exit.
    EXPECT_EQ(frontEnd.formRuns, 3);
    EXPECT_EQ(frontEnd.texts(),
              (std::vector<std::string>{"Can't open the file!",
                                        "Failed to Upload, would you like to retry?"}));
    EXPECT_EQ(session.exitCode, exit_code::kUploadFailed);
}

TEST_F(MainLoopTest, EmptyCommandLineRunsWithPresetsAndExitAtOnceIsSuccess) {
    run("", {});
    EXPECT_EQ(frontEnd.formRuns, 1);
    EXPECT_EQ(session.settings.linkType, Serial);
    EXPECT_EQ(session.settings.comPort, 1);
    EXPECT_EQ(session.settings.targetPort, 3000);
    EXPECT_TRUE(frontEnd.messages.empty());
    EXPECT_EQ(session.exitCode, exit_code::kSuccess);
}

TEST_F(MainLoopTest, CommandLineErrorEndsBeforeAnyPass) {
    run("a,1,1,1,0,2", {});
    EXPECT_EQ(frontEnd.texts(), std::vector<std::string>{"Wrong execution mode specified!"});
    EXPECT_EQ(session.exitCode, exit_code::kCommandLineError);
    EXPECT_EQ(frontEnd.prepared, 0);
}

// Every open failure carries which object failed and why, beside its fixed message.
TEST(MainLoopOpenFailures, SayWhichObjectAndWhy) {
    struct Case {
        const char* argumentText;
        bool programThere;
        bool companionThere;
        bool portFails;
        const char* message;
        const char* object;
    };
    const std::vector<Case> cases = {
        {"app.qbx,1,7,1,1,1", false, true, false, "Can't open the file!", "app.qbx"},
        {"app.qbx,1,7,1,1,1", true, false, false, "Can't open the initial setting file (*.INI)!",
         "app.ini"},
        {"app.qbx,1,7,1,1,1", true, true, true, "Can't open the COM port!", "COM7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        if (c.programThere) {
            platform.fileSystem.files["app.qbx"] = bytesOf("program");
        }
        if (c.companionThere) {
            platform.fileSystem.files["app.ini"] = bytesOf("companion");
        }
        platform.serialLine.openFails = c.portFails;
        ASSERT_TRUE(applyStartupSettings(session, c.argumentText));
        runMainLoop(session, [](Session&) { return ResultCode::Done; });
        ASSERT_EQ(frontEnd.texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(frontEnd.messages[0].detail.object, c.object);
        EXPECT_EQ(frontEnd.messages[0].detail.reason, "cannot open");
        EXPECT_EQ(frontEnd.messages[0].detail.osErrorKind, OsErrorKind::Errno);
    }
}

// A network address on an Automatic command line is checked before anything else happens:
// a refused one shows -150's message with why and ends as a command-line error, with no file
// opened, no socket made and nothing sent. A good one (a name the resolver knows) goes on.
// In Interactive mode the dialog's OK checks it instead.
TEST(MainLoopAddressCheck, RefusedAddressEndsBeforeAnythingIsSent) {
    struct Case {
        const char* argumentText;
        bool refused;
    };
    const std::vector<Case> cases = {
        {"app.shx,3,127.0.0.257,3000,0,1", true},
        {"app.shx,3,10.0.0.300,3000,0,1", true},
        {"app.shx,3,0,3000,0,1", true},
        {"app.shx,3,no.such.host,3000,0,1", true},
        {"app.shx,3,255.255.255.255,3000,0,1", true},
        {"app.shx,3,localhost,3000,0,1", false},
        {"app.shx,3,127.0.0.1,3000,0,1", false},
        {"app.shx,3,127.0.0.257,3000,0,0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argumentText);
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.fileSystem.files["app.shx"] = bytesOf("x");
        platform.datagramPeer.hostNames = {{"localhost", {127, 0, 0, 1}}};
        const bool started = applyStartupSettings(session, c.argumentText);
        EXPECT_EQ(started, !c.refused);
        if (c.refused) {
            EXPECT_EQ(session.exitCode, exit_code::kCommandLineError);
            ASSERT_EQ(frontEnd.texts(), std::vector<std::string>{"Invalid IP address!!"});
            EXPECT_EQ(frontEnd.messages[0].detail.kind, FailureKind::Address);
            EXPECT_TRUE(platform.fileSystem.opened.empty());
            EXPECT_EQ(platform.datagramPeer.startups, 0);
        } else {
            runMainLoop(session, [](Session&) { return ResultCode::Done; });
            EXPECT_EQ(session.exitCode, exit_code::kSuccess);
        }
        EXPECT_TRUE(platform.datagramPeer.sent.empty());
    }
}

// A stop request (a signal) ends the loop at once wherever it comes: no retry question, no
// further message, no further pass, and the link of the pass is released by the ordinary
// close path.
TEST(MainLoopStop, EndsTheLoopWithoutAskingAnything) {
    enum class When { InTheDialog, DuringTheAttempt };
    for (const When when : {When::InTheDialog, When::DuringTheAttempt}) {
        SCOPED_TRACE(when == When::InTheDialog ? "in the dialog" : "during the attempt");
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        int attempts = 0;
        {
            Session session(platform, frontEnd);
            platform.fileSystem.files["app.shx"] = bytesOf("x");
            frontEnd.retryAnswers = {true, true};
            for (int pass = 0; pass < 3; ++pass) {
                frontEnd.formScript.push_back([&](Session& s) {
                    s.settings.programPath.assign("app.shx");
                    if (when == When::InTheDialog) {
                        platform.stopSignal = 2;
                    }
                    return SettingsOutcome::Upload;
                });
            }
            ASSERT_TRUE(applyStartupSettings(session, ""));
            runMainLoop(session, [&](Session&) {
                ++attempts;
                platform.stopSignal = 15;
                return ResultCode::Failed;
            });
            EXPECT_EQ(frontEnd.formRuns, 1);
            EXPECT_TRUE(frontEnd.messages.empty());
            EXPECT_EQ(attempts, when == When::InTheDialog ? 0 : 1);
        }
        EXPECT_FALSE(platform.serialLine.isOpen);
        EXPECT_EQ(platform.fileSystem.openFiles, 0);
    }
}

// A line lost during an attempt fails it at once, not after the 8-second deadline, and the
// retry question carries the cause.
TEST(MainLoopLostLine, FailsTheAttemptAtOnceAndSaysWhy) {
    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    platform.fileSystem.files["app.shx"] = bytesOf("S70500000000FA\r\n");
    platform.serialLine.readsFail = true;
    ASSERT_TRUE(applyStartupSettings(session, "app.shx,1,3,1,0,1"));
    const std::uint32_t start = platform.clockImpl.tickCount();
    runMainLoop(session);
    EXPECT_LT(platform.clockImpl.tickCount() - start, 1000u);
    ASSERT_EQ(frontEnd.texts(),
              std::vector<std::string>{"Failed to Upload, would you like to retry?"});
    EXPECT_EQ(frontEnd.messages[0].detail.reason, "the line was lost");
    EXPECT_EQ(session.exitCode, exit_code::kUploadFailed);
}

TEST(CompanionName, ReplacesFromTheFirstDotOrAppends) {
    EXPECT_EQ(companionNameFor("C:\\old.dir\\app.qbx"), "C:\\old.ini");
    EXPECT_EQ(companionNameFor("C:\\Progs\\app.qbx"), "C:\\Progs\\app.ini");
    EXPECT_EQ(companionNameFor("C:\\Progs\\app"), "C:\\Progs\\app.ini");
}

TEST(ResultMessages, TableCodesTellTheirEntryAndOthersNothing) {
    fakes::RecordingFrontEnd frontEnd;
    showResultMessage(frontEnd, ResultCode::Failed);
    showResultMessage(frontEnd, ResultCode::Done);
    EXPECT_TRUE(frontEnd.messages.empty());
    FailureDetail why = objectFailure("COM3", "no answer");
    showResultMessage(frontEnd, ResultCode::CommunicationError, &why);
    showFormatError(frontEnd, why);
    ASSERT_EQ(frontEnd.messages.size(), 2u);
    EXPECT_EQ(frontEnd.messages[0].text,
              "Communication error!\nPlease reset your terminal and try again.");
    EXPECT_EQ(frontEnd.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(frontEnd.messages[0].owner, MessageOwner::ActiveWindow);
    EXPECT_EQ(frontEnd.messages[0].code, -110);
    EXPECT_EQ(frontEnd.messages[0].detail.object, "COM3");
    EXPECT_EQ(frontEnd.messages[1].text, "Format Error!");
    EXPECT_EQ(frontEnd.messages[1].code, 0);
    EXPECT_EQ(frontEnd.messages[1].detail.reason, "no answer");
}

// The look of every box comes from the message table: the program's caption, topmost and the
// active window for the result codes (the settings form for -150, Yes and No for the question)
// and for a program that is not the expected one, the format error's own caption and no owner,
// and the command line's plain boxes.
TEST(MessageTable, EveryMessageHasTheLookOfItsBox) {
    struct Case {
        MessageId id;
        const char* text;
        const char* caption;  // nullptr: the platform's default
        MessageIcon icon;
        MessageButtons buttons;
        MessageOwner owner;
        bool topmost;
        int code;
    };
    const std::string program(kProgramCaption);
    const std::vector<Case> cases = {
        {MessageId::result(ResultCode::UploadSucceeded), "Uploaded successfully!", program.c_str(),
         MessageIcon::Information, MessageButtons::Ok, MessageOwner::ActiveWindow, true, 100},
        {MessageId::result(ResultCode::CantOpenFile), "Can't open the file!", program.c_str(),
         MessageIcon::Warning, MessageButtons::Ok, MessageOwner::ActiveWindow, true, -151},
        {MessageId::result(ResultCode::InvalidIpAddress), "Invalid IP address!!", program.c_str(),
         MessageIcon::Warning, MessageButtons::Ok, MessageOwner::SettingsForm, true, -150},
        {MessageId::retryQuestion(), "Failed to Upload, would you like to retry?", program.c_str(),
         MessageIcon::Question, MessageButtons::YesNo, MessageOwner::ActiveWindow, true, -153},
        {MessageId::formatError(), "Format Error!", "Program Download", MessageIcon::Warning,
         MessageButtons::Ok, MessageOwner::None, true, 0},
        {MessageId::unexpectedDigest(), "SHA-256 mismatch!", program.c_str(), MessageIcon::Warning,
         MessageButtons::Ok, MessageOwner::ActiveWindow, true, 0},
        {MessageId::commandLine(1), "Wrong command line format!", nullptr, MessageIcon::None,
         MessageButtons::Ok, MessageOwner::None, false, 0},
        {MessageId::commandLine(9), "Wrong Remote Port specified!", nullptr, MessageIcon::None,
         MessageButtons::Ok, MessageOwner::None, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<MessageEntry> entry = findMessage(c.id);
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->text, c.text);
        EXPECT_EQ(entry->caption, c.caption == nullptr ? std::string_view() : c.caption);
        EXPECT_EQ(entry->icon, c.icon);
        EXPECT_EQ(entry->buttons, c.buttons);
        EXPECT_EQ(entry->owner, c.owner);
        EXPECT_EQ(entry->topmost, c.topmost);
        EXPECT_EQ(entry->code(), c.code);
    }
    for (const MessageId outside :
         {MessageId::result(ResultCode::Failed), MessageId::result(ResultCode::Done),
          MessageId::result(static_cast<ResultCode>(-112)), MessageId::commandLine(0),
          MessageId::commandLine(10)}) {
        EXPECT_FALSE(findMessage(outside).has_value()) << outside.number;
    }
}

// The fleet's policy: a failed upload is tried again as often as the policy allows, each time
// with the link and the files opened afresh, without asking; never after a format error. The
// front end is told each decision with why.
TEST(MainLoopRetryPolicy, RetriesAsOftenAsAllowedAndNeverAFileNotValid) {
    struct Case {
        const char* name;
        int retries;
        std::string program;
        std::deque<ResultCode> results;
        int attempts;
        std::vector<bool> decisions;
        int exitCode;
    };
    const std::string valid = "S70500000000FA\r\n";
    const std::vector<Case> cases = {
        {"success at once", 2, valid, {ResultCode::Done}, 1, {}, exit_code::kSuccess},
        {"success at the last retry",
         2,
         valid,
         {ResultCode::Failed, ResultCode::TerminalNotReady, ResultCode::Done},
         3,
         {true, true},
         exit_code::kSuccess},
        {"every retry fails",
         2,
         valid,
         {ResultCode::Failed, ResultCode::Failed, ResultCode::Failed, ResultCode::Done},
         3,
         {true, true, false},
         exit_code::kUploadFailed},
        {"no retries",
         0,
         valid,
         {ResultCode::RecordUploadError, ResultCode::Done},
         1,
         {false},
         exit_code::kUploadFailed},
        {"a file that is not valid",
         2,
         "S3090000100001020304DC\r\n",
         {},
         1,
         {false},
         exit_code::kFileNotValid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.fileSystem.files["app.shx"] = bytesOf(c.program);
        frontEnd.retryAnswers = {true, true, true};  // never asked
        ASSERT_TRUE(applyStartupSettings(session, "app.shx,1,3,1,0,1"));
        int attempts = 0;
        std::deque<ResultCode> results = c.results;
        const UploadAttempt scripted = [&](Session& s) {
            ++attempts;
            if (results.empty()) {
                return uploadProgram(s);
            }
            const ResultCode r = results.front();
            results.pop_front();
            return r;
        };
        runMainLoop(session, scripted, RetryPolicy::retryTimes(c.retries));
        EXPECT_EQ(attempts, c.attempts);
        EXPECT_EQ(frontEnd.retryDecisions, c.decisions);
        EXPECT_EQ(frontEnd.retryAnswers.size(), 3u);
        EXPECT_EQ(platform.serialLine.openCount, c.attempts);
        EXPECT_EQ(session.exitCode, c.exitCode);
    }
}

// A stop settles the run's exit code as a shell reports a program the signal killed; without
// one the session's own stands.
TEST(MainLoopStop, SettlesTheExitCodeOfTheSignal) {
    struct Case {
        int signal;
        int exitCodeBefore;
        int exitCode;
    };
    for (const Case& c :
         std::vector<Case>{{0, 0, 0}, {0, 4, 4}, {2, 0, 130}, {15, 1, 143}, {1, 5, 129}}) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        session.exitCode = c.exitCodeBefore;
        platform.stopSignal = c.signal;
        EXPECT_EQ(settleStop(session), c.signal);
        EXPECT_EQ(session.exitCode, c.exitCode) << c.signal;
    }
}

}  // namespace
}  // namespace vorlanth::shell
