// The fleet: the list loaded and checked, one thread per running target, each target's run
// watched on its way to its front end, and the outcomes and exit codes decided from what it did.
#include "shell/fleet.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include "platform/stop_request.h"
#include "shell/upload_driver.h"

namespace vorlanth::shell {

namespace {

// A target's front end as the fleet sees it: every call goes on to the front end that draws the
// target, and what decides the target's outcome is noted on the way into its record.
class TargetWatch final : public FrontEnd {
  public:
    TargetWatch(FrontEnd& drawn, FleetTargetRecord& record) : drawn_(drawn), record_(record) {}

    void prepare() override { drawn_.prepare(); }
    void tell(MessageId message, const FailureDetail& detail) override {
        if (const std::optional<MessageEntry> entry = findMessage(message)) {
            record_.lastMessage = std::string(entry->text);
            record_.lastMessageDetail = detail;
        }
        drawn_.tell(message, detail);
    }
    bool askRetry(const FailureDetail& why) override {
        const bool retry = drawn_.askRetry(why);
        noteRetryQuestion(retry, why);
        return retry;
    }
    void retryDecided(bool retrying, const FailureDetail& why) override {
        noteRetryQuestion(retrying, why);
        drawn_.retryDecided(retrying, why);
    }
    bool beginProgress() override { return drawn_.beginProgress(); }
    void advanceProgress(std::uint64_t consumed, std::uint64_t total,
                         std::optional<int> percent) override {
        record_.bytesSent = consumed;
        drawn_.advanceProgress(consumed, total, percent);
    }
    void endProgress() override { drawn_.endProgress(); }
    void stayResponsive() override { drawn_.stayResponsive(); }
    bool showErase() override { return drawn_.showErase(); }
    void endErase() override { drawn_.endErase(); }
    SettingsOutcome runSettingsForm(Session& session) override {
        return drawn_.runSettingsForm(session);
    }
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override {
        return drawn_.browseForFile(request);
    }
    void onUploadEvent(UploadEvent event) override {
        if (event == UploadEvent::HandshakeStarted) {
            record_.bytesSent = 0;
        }
        drawn_.onUploadEvent(event);
    }
    void warn(std::string_view summary, const FailureDetail& detail) override {
        drawn_.warn(summary, detail);
    }
    void programChecked(const ProgramDigests& digests) override {
        if (digests.program) {
            record_.digests = digests;
        }
        drawn_.programChecked(digests);
    }

  private:
    // A retry begins a new attempt: the messages of the one before no longer say how it ends.
    void noteRetryQuestion(bool retrying, const FailureDetail& why) {
        record_.lastQuestion = std::string(findMessage(MessageId::retryQuestion())->text);
        record_.lastQuestionDetail = why;
        if (retrying) {
            record_.lastMessage.clear();
            record_.lastMessageDetail = FailureDetail{};
        }
    }

    FrontEnd& drawn_;
    FleetTargetRecord& record_;
};

// One target from start to end on the calling thread, into its record: its own platform and
// session, one Automatic pass of the main loop. Whatever escapes the pass (memory running out)
// ends this target as failed and no other.
FleetTargetRecord runTarget(FleetTargetRecord record, const FleetTarget& target, std::size_t index,
                            const FleetPolicy& policy, FleetHost& host,
                            const UploadAttempt& attempt) {
    record.started = true;
    try {
        const std::unique_ptr<platform::Platform> platform = host.makePlatform();
        platform::Clock& clock = platform->clock();
        const std::uint32_t startTick = clock.tickCount();
        TargetWatch watch(host.frontEndOf(index), record);
        Session session(*platform, watch);
        session.settings = target.settings;
        session.settings.executionMode = Automatic;
        session.expectedSha256 = policy.expectedSha256;
        host.targetStarted(index, session);
        runMainLoop(
            session,
            [&record, &attempt](Session& running) {
                ++record.attempts;
                record.lastResult = attempt(running);
                return record.lastResult;
            },
            RetryPolicy::retryTimes(policy.retries));
        record.exitCode = session.exitCode;
        record.failure = session.failure;
        // The link and the files are released now, not when the last target has ended.
        resetPass(session);
        record.elapsedMs = clock.tickCount() - startTick;
    } catch (const std::exception& caught) {
        record.exitCode = exit_code::kUploadFailed;
        record.failure.kind = FailureKind::System;
        record.failure.reason = std::string("the upload ended unexpectedly: ") + caught.what();
    }
    return record;
}

}  // namespace

FleetListLoad loadFleetList(platform::Platform& platform, const std::string& path,
                            const std::optional<platform::Sha256Digest>& expected) {
    FleetListLoad load;
    const Result<std::string> text = readFleetListText(platform.files(), path);
    if (!text && platform.stopRequested() != 0) {
        // A stop while the list was read (from a terminal, say) is a stop, not a bad list.
        load.stopSignal = platform.stopRequested();
        load.exitCode = exit_code::stoppedBySignal(load.stopSignal);
        return load;
    }
    if (!text) {
        load.list.errors.push_back(
            {0, "", resultMessageText(ResultCode::CantOpenFile), text.failure()});
    } else {
        load.list = parseFleetList(text.value(), platform, expected);
    }
    if (!load.list.errors.empty()) {
        load.exitCode = exit_code::kCommandLineError;
    }
    return load;
}

FleetOutcome decideFleetOutcome(const FleetTargetRecord& record, int stopSignal) {
    FleetOutcome outcome;
    const bool uploaded = record.started && record.exitCode == exit_code::kSuccess &&
                          record.attempts > 0 && succeeded(record.lastResult);
    const bool stopped = !uploaded && stopSignal != 0;
    outcome.result = !record.started ? FleetResult::NotStarted
                     : uploaded      ? FleetResult::Uploaded
                     : stopped       ? FleetResult::Stopped
                                     : FleetResult::Failed;
    outcome.exitCode = record.started ? record.exitCode : exit_code::kUploadFailed;
    if (stopped) {
        outcome.exitCode = exit_code::stoppedBySignal(stopSignal);
    }
    outcome.attempts = record.attempts;
    outcome.lastResult = record.lastResult;
    outcome.bytesSent = record.bytesSent;
    outcome.elapsedMs = record.elapsedMs;
    outcome.digests = record.digests;
    if (record.started) {
        const std::optional<MessageEntry> codeMessage = findResultMessage(record.lastResult);
        if (!record.lastMessage.empty()) {
            outcome.message = record.lastMessage;
            outcome.detail = record.lastMessageDetail;
        } else if (record.attempts > 0 && !succeeded(record.lastResult) && codeMessage) {
            outcome.message = std::string(codeMessage->text);
        } else {
            outcome.message = record.lastQuestion;
            outcome.detail = record.lastQuestionDetail;
        }
        if (!record.failure.empty()) {
            outcome.detail = record.failure;
        }
    }
    if (stopped) {
        // The stop, not whatever the interrupted wait left, is how it ended.
        outcome.message = "stopped by " + std::string(platform::stopSignalName(stopSignal));
        outcome.detail = FailureDetail{};
    }
    return outcome;
}

int fleetExitCode(const std::vector<FleetOutcome>& outcomes, int stopSignal) {
    if (stopSignal != 0) {
        return exit_code::stoppedBySignal(stopSignal);
    }
    const bool allUploaded = std::all_of(
        outcomes.begin(), outcomes.end(),
        [](const FleetOutcome& outcome) { return outcome.exitCode == exit_code::kSuccess; });
    return allUploaded ? exit_code::kSuccess : exit_code::kUploadFailed;
}

FleetRun runFleet(const std::vector<FleetTarget>& targets, const FleetPolicy& policy,
                  FleetHost& host) {
    return runFleet(targets, policy, host, uploadProgram);
}

// Workers take the next target in list order until none is left; each outcome is written by
// the one worker that ran its target, and read only after every worker has been joined.
FleetRun runFleet(const std::vector<FleetTarget>& targets, const FleetPolicy& policy,
                  FleetHost& host, const UploadAttempt& attempt) {
    FleetRun run;
    run.outcomes.resize(targets.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < targets.size(); index = next++) {
            FleetTargetRecord record;
            record.digests = targets[index].digests;
            if (host.stopSignal() == 0) {
                record = runTarget(std::move(record), targets[index], index, policy, host, attempt);
            }
            run.outcomes[index] = decideFleetOutcome(record, host.stopSignal());
            host.targetEnded(index, run.outcomes[index]);
        }
    };
    const std::size_t workers =
        policy.jobs == 0 ? targets.size() : std::min(policy.jobs, targets.size());
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
    run.stopSignal = host.stopSignal();
    run.exitCode = fleetExitCode(run.outcomes, run.stopSignal);
    return run;
}

}  // namespace vorlanth::shell
