// The fleet: its list, its threads, its retries and the outcomes and exit codes it decides.
#include "shell/fleet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "tests/fakes/result_code_printer.h"
#include "tests/unit/program_files.h"

namespace vorlanth::shell {
namespace {

using fakes::bytesOf;
using testing::lines;
using testing::srec;

const std::string kProgram = lines({srec(3, 0x1000, {1, 2, 3}), srec(7, 0, {})});

// A platform holding the programs the list tests name: app.shx (valid), cut.shx (no end
// record), prog.qbx without its companion, and COM3 and COM7 reaching one device.
void addPrograms(fakes::FakePlatform& platform) {
    platform.fileSystem.files["app.shx"] = bytesOf(kProgram);
    platform.fileSystem.files["b.shx"] = bytesOf(kProgram);
    platform.fileSystem.files["cut.shx"] = bytesOf(srec(3, 0x1000, {1, 2, 3}) + "\r\n");
    platform.fileSystem.files["prog.qbx"] = bytesOf("0123456789");
    platform.serialDevices[3] = "/dev/ttyUSB0";
    platform.serialDevices[7] = "/dev/ttyUSB0";
}

struct ListCase {
    const char* name;
    std::string list;
    std::vector<int> targetLines;
    // Each bad line: its number, its message, and a piece of its detail ("" when none is wanted).
    std::vector<std::tuple<int, std::string, std::string>> errors;
};

TEST(FleetList, EveryLineIsCheckedAndEveryBadOneSaid) {
    const std::vector<ListCase> cases = {
        {"comments, blank lines, CR LF and blanks around a line",
         "# depot A\r\n\r\n  app.shx,1,3,1,0,1  \r\n\t# cradle 2\n\tb.shx,3,127.0.0.1,3000,0,1\n",
         {3, 5},
         {}},
        {"the command line's own errors, each with its line",
         "app.shx,1,0,1,0,1\napp.shx,4,3,1,0,1\napp.shx,1,3,1,0\n,1,3,1,0,1\n"
         "app.shx,3,,3000,0,1\napp.shx,1,3,1,0,1\n",
         {6},
         {{1, "Wrong COM port specified!", ""},
          {2, "Wrong link type specified!", ""},
          {3, "Wrong command line format!", ""},
          {4, "Wrong file path specified!", ""},
          {5, "Wrong Remote IP specified!", ""}}},
        {"MODE 0 would need the settings form",
         "app.shx,1,3,1,0,0\n",
         {},
         {{1, "Wrong execution mode specified!", "MODE must be 1"}}},
        {"a program that is missing, one that is not valid, a companion that is missing",
         "gone.shx,1,1,1,0,1\ncut.shx,1,2,1,0,1\nprog.qbx,1,4,1,1,1\n",
         {},
         {{1, "Can't open the file!", "gone.shx"},
          {2, "Format Error!", "cut.shx"},
          {3, "Can't open the initial setting file (*.INI)!", "prog.ini"}}},
        {"the same COM port twice, and two COM numbers that reach one device",
         "app.shx,1,1,1,0,1\nb.shx,2,1,2,0,1\napp.shx,1,3,1,0,1\napp.shx,1,7,1,0,1\n",
         {1, 3},
         {{2, "Duplicate target!", "COM1: line 1 names the same terminal"},
          {4, "Duplicate target!", "COM7 (/dev/ttyUSB0): line 3 names the same terminal"}}},
        {"one address and port twice, however the address is written; another port is another "
         "terminal",
         "app.shx,3,127.0.0.1,5000,0,1\napp.shx,3,127.0.0.1,5001,0,1\n"
         "b.shx,3,127.000.0.1,5000,0,1\n",
         {1, 2},
         {{3, "Duplicate target!", "line 1 names the same terminal"}}},
        {"an address that names no terminal, before any link is opened",
         "app.shx,3,127.0.0.1x,5000,0,1\napp.shx,3,0.0.0.0,5000,0,1\n",
         {},
         {{1, "Invalid IP address!!", "127.0.0.1x"}, {2, "Invalid IP address!!", "0.0.0.0"}}},
        {"a list without any target",
         "# nothing here\n\n   \n",
         {},
         {{0, "The list names no target!", ""}}},
        {"an empty list", "", {}, {{0, "The list names no target!", ""}}},
        {"a NUL inside a line",
         std::string("app.shx\0x,1,3,1,0,1\n", 20),
         {},
         {{1, "Wrong command line format!", ""}}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::FakePlatform platform;
        addPrograms(platform);
        const FleetList list = parseFleetList(c.list, platform);
        std::vector<int> targetLines;
        for (const FleetTarget& target : list.targets) {
            targetLines.push_back(target.line);
            EXPECT_EQ(target.settings.executionMode, Automatic);
        }
        EXPECT_EQ(targetLines, c.targetLines);
        ASSERT_EQ(list.errors.size(), c.errors.size());
        for (std::size_t i = 0; i < c.errors.size(); ++i) {
            const auto& [line, message, detail] = c.errors[i];
            EXPECT_EQ(list.errors[i].line, line);
            EXPECT_EQ(list.errors[i].message, message);
            EXPECT_NE(describeFailure(list.errors[i].detail).find(detail), std::string::npos)
                << describeFailure(list.errors[i].detail);
        }
        // The serial port is never opened and nothing is sent while the list is checked.
        EXPECT_TRUE(platform.openedComPorts.empty());
        EXPECT_TRUE(platform.serialLine.writes.empty());
    }
}

TEST(FleetList, TargetsKeepTheirLineTextAndSettings) {
    fakes::FakePlatform platform;
    addPrograms(platform);
    const FleetList list =
        parseFleetList("app.shx, 1, 3, 2, 0, 1\nb.shx,3,10.0.0.7,3001,0,1\n", platform);
    ASSERT_EQ(list.targets.size(), 2u);
    EXPECT_EQ(list.targets[0].text, "app.shx, 1, 3, 2, 0, 1");
    EXPECT_EQ(list.targets[0].settings.comPort, 3);
    EXPECT_EQ(list.targets[0].settings.baudIndex, 1);
    EXPECT_EQ(fleetTargetName(list.targets[0].settings), "COM3");
    EXPECT_EQ(fleetTargetName(list.targets[1].settings), "10.0.0.7:3001");
}

// sha256sum of kProgram, and of kProgram with a comment line after its end record.
const std::string kProgramSha256 =
    "f666fd9adc1ad7cf123af9bde337a87cf43c9351094d33bf79d187d17fb2628e";
const std::string kNextProgramSha256 =
    "7f9a78d23218a2de20b10358c121c4bebac45b172c345ddece943a56a1a78068";

// Every line's program is digested by the list's check; with a digest expected, a line whose
// program has another is refused with both digests, and so nothing of the list is uploaded.
TEST(FleetList, TheListsCheckDigestsEveryProgramAndHoldsItToTheExpectedOne) {
    const std::string list = "app.shx,1,1,1,0,1\nb.shx,1,2,1,0,1\nnext.shx,1,3,1,0,1\n";
    for (const bool expecting : {false, true}) {
        SCOPED_TRACE(expecting ? "a digest expected" : "none expected");
        fakes::FakePlatform platform;
        addPrograms(platform);
        platform.fileSystem.files["next.shx"] = bytesOf(kProgram + "# v2\r\n");
        const FleetList checked = parseFleetList(
            list, platform, expecting ? platform::sha256FromHex(kProgramSha256) : std::nullopt);
        std::vector<std::string> digests;
        for (const FleetTarget& target : checked.targets) {
            digests.push_back(platform::sha256Hex(target.digests.program.value()));
        }
        if (!expecting) {
            EXPECT_TRUE(checked.errors.empty());
            EXPECT_EQ(digests, (std::vector<std::string>{kProgramSha256, kProgramSha256,
                                                         kNextProgramSha256}));
            continue;
        }
        EXPECT_EQ(digests, (std::vector<std::string>{kProgramSha256, kProgramSha256}));
        ASSERT_EQ(checked.errors.size(), 1u);
        EXPECT_EQ(checked.errors[0].line, 3);
        EXPECT_EQ(checked.errors[0].message, "SHA-256 mismatch!");
        EXPECT_EQ(describeFailure(checked.errors[0].detail),
                  "next.shx: its SHA-256 is " + kNextProgramSha256 + ", not the expected " +
                      kProgramSha256);
        EXPECT_TRUE(platform.serialLine.writes.empty());
    }
}

// A host of fake platforms and recording front ends, one per target.
class FakeFleetHost final : public FleetHost {
  public:
    explicit FakeFleetHost(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            frontEnds.push_back(std::make_unique<fakes::RecordingFrontEnd>());
        }
    }
    std::unique_ptr<platform::Platform> makePlatform() override {
        auto platform = std::make_unique<fakes::FakePlatform>();
        addPrograms(*platform);
        ++platformsMade;
        return platform;
    }
    FrontEnd& frontEndOf(std::size_t index) override { return *frontEnds[index]; }
    void targetEnded(std::size_t index, const FleetOutcome& outcome) override {
        std::lock_guard<std::mutex> lock(mutex);
        ended.push_back(index);
        EXPECT_EQ(outcome.result == FleetResult::NotStarted, stop != 0);
    }
    int stopSignal() override { return stop; }

    std::vector<std::unique_ptr<fakes::RecordingFrontEnd>> frontEnds;
    std::atomic<int> platformsMade{0};
    std::mutex mutex;
    std::vector<std::size_t> ended;
    int stop = 0;
};

std::vector<FleetTarget> targetsOn(std::vector<int> comPorts) {
    std::vector<FleetTarget> targets;
    for (const int comPort : comPorts) {
        FleetTarget target;
        target.line = comPort;
        presetUploadSettings(target.settings);
        target.settings.comPort = comPort;
        target.settings.programPath.assign("app.shx");
        target.settings.executionMode = Automatic;
        targets.push_back(target);
    }
    return targets;
}

// Counts the attempts running at once; each waits (at most 5 s) until `wanted` run together.
class Concurrency {
  public:
    explicit Concurrency(int wanted) : wanted_(wanted) {}

    ResultCode attempt() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++running_;
        most = std::max(most, running_);
        woken_.notify_all();
        const bool together = woken_.wait_for(lock, std::chrono::seconds(5),
                                              [this] { return running_ >= wanted_ || released_; });
        // Once `wanted` have met, the rest of the run goes on without waiting.
        released_ = released_ || together;
        woken_.notify_all();
        timedOut += together ? 0 : 1;
        --running_;
        return ResultCode::Done;
    }

    int most = 0;
    int timedOut = 0;

  private:
    int wanted_;
    int running_ = 0;
    bool released_ = false;
    std::mutex mutex_;
    std::condition_variable woken_;
};

TEST(RunFleet, EveryTargetRunsAtOnceOnItsOwnPlatformAndSession) {
    const auto targets = targetsOn({1, 2, 3, 4});
    FakeFleetHost host(targets.size());
    Concurrency concurrency(4);
    std::mutex seenMutex;
    std::vector<const Session*> sessions;
    const auto outcomes = runFleet(targets, {}, host, [&](Session& session) {
                              {
                                  std::lock_guard<std::mutex> lock(seenMutex);
                                  sessions.push_back(&session);
                              }
                              return concurrency.attempt();
                          }).outcomes;
    EXPECT_EQ(concurrency.most, 4);
    EXPECT_EQ(concurrency.timedOut, 0);
    EXPECT_EQ(host.platformsMade, 4);
    std::sort(sessions.begin(), sessions.end());
    EXPECT_EQ(std::unique(sessions.begin(), sessions.end()) - sessions.begin(), 4);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i].exitCode, exit_code::kSuccess);
        EXPECT_EQ(outcomes[i].attempts, 1);
        EXPECT_EQ(host.frontEnds[i]->texts(), std::vector<std::string>{"Uploaded successfully!"});
    }
}

// Each target's outcome carries the digest its own check pass took, the list's until it has
// one; the expected digest reaches every target's session, whose check pass holds it again.
TEST(RunFleet, EachOutcomeCarriesTheDigestOfWhatItsUploadChecked) {
    auto targets = targetsOn({1, 2});
    for (FleetTarget& target : targets) {
        target.digests.program = platform::sha256FromHex(kProgramSha256);
    }
    const std::optional<platform::Sha256Digest> changed =
        platform::sha256FromHex(kNextProgramSha256);
    FakeFleetHost host(targets.size());
    const FleetPolicy policy{.jobs = 1, .retries = 0, .expectedSha256 = targets[0].digests.program};
    const auto outcomes = runFleet(targets, policy, host, [&](Session& session) {
                              EXPECT_EQ(session.expectedSha256, policy.expectedSha256);
                              if (session.settings.comPort == 2) {
                                  session.frontEnd.programChecked({changed, std::nullopt});
                              }
                              return ResultCode::Done;
                          }).outcomes;
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(platform::sha256Hex(outcomes[0].digests.program.value()), kProgramSha256);
    EXPECT_EQ(platform::sha256Hex(outcomes[1].digests.program.value()), kNextProgramSha256);
    EXPECT_EQ(host.frontEnds[1]->checked.size(), 1u);
}

TEST(RunFleet, JobsLimitsHowManyRunAtOnce) {
    const auto targets = targetsOn({1, 2, 3, 4, 5});
    FakeFleetHost host(targets.size());
    Concurrency concurrency(2);
    const auto outcomes = runFleet(targets, {.jobs = 2}, host, [&](Session&) {
                              return concurrency.attempt();
                          }).outcomes;
    EXPECT_EQ(concurrency.most, 2);
    EXPECT_EQ(concurrency.timedOut, 0);
    EXPECT_EQ(host.ended.size(), 5u);
}

TEST(RunFleet, AHangingTargetHoldsUpNoOther) {
    const auto targets = targetsOn({1, 2, 3, 4});
    FakeFleetHost host(targets.size());
    std::mutex mutex;
    std::condition_variable othersDone;
    int done = 0;
    bool waitedOut = false;
    const auto run = runFleet(targets, {}, host, [&](Session& session) {
        std::unique_lock<std::mutex> lock(mutex);
        if (session.settings.comPort == 1) {
            // The hanging one ends only once the others have ended (or after 5 s: failure).
            waitedOut =
                !othersDone.wait_for(lock, std::chrono::seconds(5), [&] { return done == 3; });
            return ResultCode::Failed;
        }
        ++done;
        othersDone.notify_all();
        return ResultCode::Done;
    });
    EXPECT_FALSE(waitedOut);
    EXPECT_EQ(run.outcomes[0].exitCode, exit_code::kUploadFailed);
    EXPECT_EQ(run.outcomes[1].exitCode, exit_code::kSuccess);
    EXPECT_EQ(run.exitCode, exit_code::kUploadFailed);
}

// The policy's retries, not the front ends' answers, decide: nobody is asked.
TEST(RunFleet, RetriesFollowThePolicyAndEachGetsAFreshLink) {
    const auto targets = targetsOn({1, 2});
    FakeFleetHost host(targets.size());
    std::mutex mutex;
    std::map<int, int> calls;
    std::map<int, std::size_t> opens;
    const auto outcomes =
        runFleet(targets, {.retries = 2}, host, [&](Session& session) {
            std::lock_guard<std::mutex> lock(mutex);
            // The port is open for every attempt, opened once more for each retry.
            EXPECT_NE(session.link.transport, nullptr);
            opens[session.settings.comPort] =
                static_cast<fakes::FakePlatform&>(session.platform).openedComPorts.size();
            // Target 1 always fails; target 2 succeeds at its second attempt.
            const int call = ++calls[session.settings.comPort];
            return session.settings.comPort == 2 && call == 2 ? ResultCode::Done
                                                              : ResultCode::TerminalNotReady;
        }).outcomes;
    EXPECT_EQ(outcomes[0].attempts, 3);
    EXPECT_EQ(outcomes[0].lastResult, ResultCode::TerminalNotReady);
    EXPECT_EQ(outcomes[0].exitCode, exit_code::kUploadFailed);
    EXPECT_EQ(outcomes[1].attempts, 2);
    EXPECT_EQ(outcomes[1].exitCode, exit_code::kSuccess);
    EXPECT_EQ(opens[1], 3u);
    EXPECT_EQ(opens[2], 2u);
    EXPECT_EQ(host.frontEnds[0]->retryDecisions, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(host.frontEnds[1]->retryDecisions, (std::vector<bool>{true}));
    // The message kept is the code's own when nothing else was told; the success otherwise.
    EXPECT_EQ(outcomes[0].message, "Terminal is not ready!");
    EXPECT_EQ(outcomes[1].message, "Uploaded successfully!");
}

TEST(RunFleet, AnAttemptThatThrowsEndsItsOwnTargetOnly) {
    const auto targets = targetsOn({1, 2});
    FakeFleetHost host(targets.size());
    const auto outcomes = runFleet(targets, {}, host, [](Session& session) -> ResultCode {
                              if (session.settings.comPort == 1) {
                                  throw std::runtime_error("out of memory");
                              }
                              return ResultCode::Done;
                          }).outcomes;
    EXPECT_EQ(outcomes[0].exitCode, exit_code::kUploadFailed);
    EXPECT_EQ(outcomes[0].result, FleetResult::Failed);
    EXPECT_NE(outcomes[0].detail.reason.find("out of memory"), std::string::npos);
    EXPECT_EQ(outcomes[1].exitCode, exit_code::kSuccess);
}

TEST(RunFleet, AStopBeforeATargetsTurnSkipsIt) {
    const auto targets = targetsOn({1, 2, 3});
    FakeFleetHost host(targets.size());
    host.stop = 15;
    int attempts = 0;
    const auto run = runFleet(targets, {.jobs = 1}, host, [&](Session&) {
        ++attempts;
        return ResultCode::Done;
    });
    EXPECT_EQ(attempts, 0);
    EXPECT_EQ(host.platformsMade, 0);
    EXPECT_EQ(host.ended.size(), 3u);
    EXPECT_EQ(run.stopSignal, 15);
    EXPECT_EQ(run.exitCode, 143);
    for (const FleetOutcome& outcome : run.outcomes) {
        EXPECT_EQ(outcome.result, FleetResult::NotStarted);
        EXPECT_EQ(outcome.exitCode, 143);
        EXPECT_EQ(outcome.message, "stopped by SIGTERM");
    }
}

// Every exit code the fleet decides, each target's and the run's, from what the targets did and
// whether (and by which signal) the user stopped the run.
TEST(FleetExitCodes, EachTargetsAndTheRunsAreDecidedInOnePlace) {
    const FailureDetail noAnswer = objectFailure("COM3", "no answer");
    const FailureDetail notValid =
        objectFailure("app.shx", "no end record", FailureKind::FileFormat);
    const std::string retry = "Failed to Upload, would you like to retry?";
    // What a target did.
    const auto uploaded = [] {
        FleetTargetRecord r;
        r.started = true;
        r.attempts = 1;
        r.lastResult = ResultCode::Done;
        r.lastMessage = "Uploaded successfully!";
        return r;
    };
    const auto failed = [&](int exitCode, int attempts, ResultCode last, std::string message) {
        FleetTargetRecord r;
        r.started = true;
        r.exitCode = exitCode;
        r.attempts = attempts;
        r.lastResult = last;
        r.lastMessage = std::move(message);
        if (attempts > 0) {
            r.lastQuestion = retry;
            r.lastQuestionDetail = noAnswer;
        }
        return r;
    };
    FleetTargetRecord notValidRecord =
        failed(exit_code::kFileNotValid, 1, ResultCode::RecordUploadError, "Format Error!");
    notValidRecord.failure = notValid;
    const FleetTargetRecord notStarted;

    struct Target {
        const char* name;
        FleetTargetRecord record;
        int stopSignal;
        FleetResult result;
        int exitCode;
        std::string message;
        std::string detail;  // describeFailure of the detail kept
    };
    const std::vector<Target> targets = {
        {"uploaded", uploaded(), 0, FleetResult::Uploaded, 0, "Uploaded successfully!", ""},
        {"failed: the code's message", failed(1, 3, ResultCode::TerminalNotReady, ""), 0,
         FleetResult::Failed, 1, "Terminal is not ready!", ""},
        {"failed without a code's message: the question", failed(1, 3, ResultCode::Failed, ""), 0,
         FleetResult::Failed, 1, retry, "COM3: no answer"},
        {"no file", failed(3, 0, ResultCode::Failed, "Can't open the file!"), 0,
         FleetResult::Failed, 3, "Can't open the file!", ""},
        {"no link", failed(4, 0, ResultCode::Failed, "Can't open the COM port!"), 0,
         FleetResult::Failed, 4, "Can't open the COM port!", ""},
        {"not valid: the session's failure as detail", notValidRecord, 0, FleetResult::Failed, 5,
         "Format Error!", "app.shx: no end record"},
        {"stopped by SIGINT", failed(1, 1, ResultCode::Failed, ""), 2, FleetResult::Stopped, 130,
         "stopped by SIGINT", ""},
        {"stopped by SIGTERM", failed(1, 1, ResultCode::Failed, ""), 15, FleetResult::Stopped, 143,
         "stopped by SIGTERM", ""},
        {"stopped by SIGHUP", failed(4, 0, ResultCode::Failed, "Can't open the COM port!"), 1,
         FleetResult::Stopped, 129, "stopped by SIGHUP", ""},
        {"uploaded before the stop", uploaded(), 2, FleetResult::Uploaded, 0,
         "Uploaded successfully!", ""},
        {"not started: the stop", notStarted, 15, FleetResult::NotStarted, 143,
         "stopped by SIGTERM", ""},
        {"not started without a stop", notStarted, 0, FleetResult::NotStarted, 1, "", ""},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.name);
        const FleetOutcome outcome = decideFleetOutcome(t.record, t.stopSignal);
        EXPECT_EQ(outcome.result, t.result);
        EXPECT_EQ(outcome.exitCode, t.exitCode);
        EXPECT_EQ(outcome.message, t.message);
        EXPECT_EQ(describeFailure(outcome.detail), t.detail);
    }

    struct Run {
        const char* name;
        std::vector<int> targetExitCodes;
        int stopSignal;
        int exitCode;
    };
    const std::vector<Run> runs = {
        {"all uploaded", {0, 0, 0}, 0, 0},
        {"some failed", {0, 1, 0}, 0, 1},
        {"one without its file", {3, 0}, 0, 1},
        {"one not valid", {5}, 0, 1},
        {"stopped by SIGINT", {0, 130}, 2, 130},
        {"stopped by SIGTERM", {143, 143}, 15, 143},
        {"stopped by SIGHUP after all uploaded", {0, 0}, 1, 129},
    };
    for (const Run& r : runs) {
        SCOPED_TRACE(r.name);
        std::vector<FleetOutcome> outcomes;
        for (const int code : r.targetExitCodes) {
            FleetOutcome outcome;
            outcome.exitCode = code;
            outcomes.push_back(outcome);
        }
        EXPECT_EQ(fleetExitCode(outcomes, r.stopSignal), r.exitCode);
    }
}

// Loading the list decides before anything is uploaded: a good list goes on (0), a bad one or
// one that cannot be read ends the run with 2, a stop while it is read with the stop's code.
TEST(FleetExitCodes, TheListDecidesBeforeAnyUpload) {
    struct Case {
        const char* name;
        const char* path;
        int stopSignal;
        int exitCode;
        std::size_t targets;
        std::string firstError;
    };
    const std::vector<Case> cases = {
        {"a good list", "good.txt", 0, 0, 2, ""},
        {"a bad line", "bad.txt", 0, 2, 1, "Wrong link type specified!"},
        {"a list that is not there", "missing.txt", 0, 2, 0, "Can't open the file!"},
        {"a stop while the list is read", "missing.txt", 2, 130, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::FakePlatform platform;
        addPrograms(platform);
        platform.fileSystem.files["good.txt"] = bytesOf("app.shx,1,1,1,0,1\nb.shx,1,2,1,0,1\n");
        platform.fileSystem.files["bad.txt"] = bytesOf("app.shx,1,1,1,0,1\nb.shx,4,2,1,0,1\n");
        platform.stopSignal = c.stopSignal;
        const FleetListLoad load = loadFleetList(platform, c.path);
        EXPECT_EQ(load.exitCode, c.exitCode);
        EXPECT_EQ(load.stopSignal, c.stopSignal);
        EXPECT_EQ(load.list.targets.size(), c.targets);
        if (c.firstError.empty()) {
            EXPECT_TRUE(load.list.errors.empty());
        } else {
            ASSERT_FALSE(load.list.errors.empty());
            EXPECT_EQ(load.list.errors[0].message, c.firstError);
        }
    }
}

}  // namespace
}  // namespace vorlanth::shell
