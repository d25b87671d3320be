#include "shell/fleet.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include "shell/upload_driver.h"

namespace vorlanth::shell {

namespace {

// One target from start to end on the calling thread: its own platform and session, one
// Automatic pass of the main loop. Whatever escapes the pass (memory running out) ends this
// target as failed and no other.
FleetOutcome runTarget(const FleetTarget& target, std::size_t index, FleetHost& host,
                       const UploadAttempt& attempt) {
    FleetOutcome outcome;
    outcome.started = true;
    try {
        const std::unique_ptr<platform::Platform> platform = host.makePlatform();
        platform::Clock& clock = platform->clock();
        const std::uint32_t startTick = clock.tickCount();
        Session session(*platform, host.frontEndOf(index));
        session.settings = target.settings;
        session.settings.executionMode = Automatic;
        host.targetStarted(index, session);
        runMainLoop(session, [&outcome, &attempt](Session& running) {
            ++outcome.attempts;
            outcome.lastResult = attempt(running);
            return outcome.lastResult;
        });
        outcome.exitCode = session.exitCode;
        outcome.failure = session.failure;
        // The link and the files are released now, not when the last target has ended.
        resetPass(session);
        outcome.elapsedMs = clock.tickCount() - startTick;
    } catch (const std::exception& caught) {
        outcome.exitCode = exit_code::kUploadFailed;
        outcome.failure.kind = FailureKind::System;
        outcome.failure.reason = std::string("the upload ended unexpectedly: ") + caught.what();
    }
    return outcome;
}

}  // namespace

std::vector<FleetOutcome> runFleet(const std::vector<FleetTarget>& targets, std::size_t jobs,
                                   FleetHost& host) {
    return runFleet(targets, jobs, host, uploadProgram);
}

// Workers take the next target in list order until none is left; each outcome is written by
// the one worker that ran its target, and read only after every worker has been joined.
std::vector<FleetOutcome> runFleet(const std::vector<FleetTarget>& targets, std::size_t jobs,
                                   FleetHost& host, const UploadAttempt& attempt) {
    std::vector<FleetOutcome> outcomes(targets.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < targets.size(); index = next++) {
            if (host.stopRequested()) {
                host.targetEnded(index, outcomes[index]);
                continue;
            }
            outcomes[index] = runTarget(targets[index], index, host, attempt);
            host.targetEnded(index, outcomes[index]);
        }
    };
    const std::size_t workers = jobs == 0 ? targets.size() : std::min(jobs, targets.size());
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (std::size_t i = 0; i < workers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            // The system gives no more threads: those running take the remaining targets.
            break;
        }
    }
    if (threads.empty()) {
        work();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return outcomes;
}

}  // namespace vorlanth::shell
