#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "shell/fleet_list.h"
#include "shell/main_loop.h"
#include "shell/session.h"

namespace vorlanth::shell {

// How one target's run ended.
struct FleetOutcome {
    bool started = false;  // false: the run was stopped before this target's turn
    int exitCode = exit_code::kSuccess;
    int attempts = 0;           // upload attempts made
    ResultCode lastResult = 0;  // the last attempt's result, when there was one
    FailureDetail failure;      // why the last failed operation failed
    std::uint32_t elapsedMs = 0;
};

// What a fleet run asks of its caller: a platform and a front end for each target, and word of
// each target's start and end. Every call but stopRequested concerns one target and comes from
// that target's thread; calls for different targets come at the same time.
class FleetHost {
  public:
    virtual ~FleetHost() = default;
    // A platform of the target's own, used by no other target.
    virtual std::unique_ptr<platform::Platform> makePlatform() = 0;
    // The front end of target index; it outlives the run.
    virtual FrontEnd& frontEndOf(std::size_t index) = 0;
    // The target's session is set up and its pass is about to begin.
    virtual void targetStarted(std::size_t /*index*/, const Session& /*session*/) {}
    virtual void targetEnded(std::size_t /*index*/, const FleetOutcome& /*outcome*/) {}
    // True once the user asked the whole run to stop: targets not yet started are skipped.
    virtual bool stopRequested() { return false; }
};

// Runs each target's upload (one Automatic pass of the main loop, with its own retries) in a
// thread, at most jobs at a time (0: all at once), in list order. Each target has a session,
// a platform and a front end of its own; nothing mutable is shared, so one target's silence,
// refusal or lost link never holds up another. Returns when every target has ended; the
// outcomes are in list order.
std::vector<FleetOutcome> runFleet(const std::vector<FleetTarget>& targets, std::size_t jobs,
                                   FleetHost& host);
std::vector<FleetOutcome> runFleet(const std::vector<FleetTarget>& targets, std::size_t jobs,
                                   FleetHost& host, const UploadAttempt& attempt);

}  // namespace vorlanth::shell
