// Many uploads at once, and the fleet's policy: each target's upload in a thread of its own,
// retried as the run says, and how each target ended, its exit code and the run's, decided
// here once; a front end only draws them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/fleet_list.h"
#include "shell/main_loop.h"
#include "shell/session.h"

namespace vorlanth::shell {

// How a fleet run goes: how many uploads run at once (0: every target at once), how often a
// failed target is tried again, each time with a fresh link, and the SHA-256 every target's
// program must have (checked again by each upload's own check pass).
struct FleetPolicy {
    std::size_t jobs = 0;
    int retries = 2;
    std::optional<platform::Sha256Digest> expectedSha256{};
};

// A fleet list read and checked: its targets, or why nothing may be uploaded. exitCode is 0 when
// the targets may go, 2 for a list that is not good (its errors say why), or 128 + the signal
// when the user stopped the run while the list was read (stopSignal).
struct FleetListLoad {
    FleetList list;
    int exitCode = exit_code::kSuccess;
    int stopSignal = 0;
};

// Reads the list (a file, or standard input for "-") and checks every line with platform, each
// program's SHA-256 against expected when given; a list that cannot be read is an error of the
// list as a whole (line 0).
FleetListLoad loadFleetList(platform::Platform& platform, const std::string& path,
                            const std::optional<platform::Sha256Digest>& expected = {});

// How a target ended.
enum class FleetResult {
    Uploaded,
    Failed,      // its exit code says how: 1 the upload failed, 3 no file, 4 no link, 5 not valid
    Stopped,     // the user stopped the run before it uploaded
    NotStarted,  // the run was stopped before this target's turn
};

// What a target's run did, as the fleet saw it; what its outcome is decided from.
struct FleetTargetRecord {
    bool started = false;
    int exitCode = exit_code::kSuccess;          // the session's
    int attempts = 0;                            // upload attempts made
    ResultCode lastResult = ResultCode::Failed;  // the last attempt's result, if there was one
    FailureDetail failure;                       // why the session's last failed operation failed
    // The last message told that asked nothing, since the last retry, and why it was told.
    std::string lastMessage;
    FailureDetail lastMessageDetail;
    // The retry question, once a retry was decided, and why it was asked.
    std::string lastQuestion;
    FailureDetail lastQuestionDetail;
    std::uint64_t bytesSent = 0;  // the program bytes the last attempt got through
    std::uint32_t elapsedMs = 0;
    // The program's digests as the last check pass took them; the list's check's until then.
    ProgramDigests digests{};
};

// How one target ended, as a front end shows it.
struct FleetOutcome {
    FleetResult result = FleetResult::NotStarted;
    int exitCode = exit_code::kUploadFailed;  // the target's own: 0, 1, 3, 4, 5 or 128 + the signal
    int attempts = 0;
    ResultCode lastResult = ResultCode::Failed;
    std::uint64_t bytesSent = 0;
    std::uint32_t elapsedMs = 0;
    // The message that says how it ended, and why.
    std::string message;
    FailureDetail detail;
    ProgramDigests digests{};  // the SHA-256 of what was (or would have been) sent
};

// A target's outcome: uploaded only when an attempt succeeded and the session ended well. A stop
// of the run (stopSignal, 0 for none) ends every target that has not uploaded as stopped, with
// 128 + the signal as its exit code and the stop as its message; a target that never started
// exits 1 otherwise. The message is the last one told that asked nothing (the success, a format
// error, a link that did not open), else the message of the code the last attempt ended with,
// else the retry question; its detail is the session's last failure, else the message's own.
FleetOutcome decideFleetOutcome(const FleetTargetRecord& record, int stopSignal);

// The run's exit code: 128 + the signal when one stopped the run, 0 when every target
// uploaded, 1 otherwise.
int fleetExitCode(const std::vector<FleetOutcome>& outcomes, int stopSignal);

// How the whole run ended: every target's outcome in list order, the signal that stopped it (0
// for none), and its exit code.
struct FleetRun {
    std::vector<FleetOutcome> outcomes;
    int stopSignal = 0;
    int exitCode = exit_code::kSuccess;
};

// What a fleet run asks of its caller: a platform and a front end for each target, word of each
// target's start and end, and whether the user stopped the run. Every call but stopSignal
// concerns one target and comes from that target's thread; calls for different targets come at
// the same time.
class FleetHost {
  public:
    virtual ~FleetHost() = default;
    // A platform of the target's own, used by no other target.
    virtual std::unique_ptr<platform::Platform> makePlatform() = 0;
    // The front end of target index; it outlives the run.
    virtual FrontEnd& frontEndOf(std::size_t index) = 0;
    // The target's session is set up and its pass is about to begin.
    virtual void targetStarted(std::size_t /*index*/, const Session& /*session*/) {}
    // The target has ended so, its link and files released.
    virtual void targetEnded(std::size_t /*index*/, const FleetOutcome& /*outcome*/) {}
    // The signal by which the user asked the whole run to stop, or 0: targets not yet started
    // are skipped.
    virtual int stopSignal() { return 0; }
};

// Runs each target's upload (one Automatic pass of the main loop, retried as policy says) in a
// thread, at most policy.jobs at a time, in list order. Each target has a session, a platform
// and a front end of its own; nothing mutable is shared, so one target's silence, refusal or lost
// link never holds up another. Returns when every target has ended.
FleetRun runFleet(const std::vector<FleetTarget>& targets, const FleetPolicy& policy,
                  FleetHost& host);
FleetRun runFleet(const std::vector<FleetTarget>& targets, const FleetPolicy& policy,
                  FleetHost& host, const UploadAttempt& attempt);

}  // namespace vorlanth::shell
