// FleetDisplay: the console's one writer during a fleet run, drawing each target's live line or
// phase lines and batching the JSON events on its own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "ui/console/json_events.h"

namespace vorlanth::ui::console {

// Where a fleet target is.
enum class FleetPhase {
    Waiting,
    Opening,
    Handshake,
    Erasing,
    Sending,
    Retrying,
    Uploaded,
    Failed,
    Stopped
};

// The word a phase is shown as: "waiting", "handshake", "sending", ...
const char* fleetPhaseName(FleetPhase phase);

// What the display knows of one target.
struct FleetTargetView {
    FleetPhase phase = FleetPhase::Waiting;
    int attempt = 1;
    int percent = -1;
    std::uint64_t consumed = 0;
    std::uint64_t total = 0;
    std::uint32_t startTick = 0;     // when the target's run began
    std::uint32_t phaseTick = 0;     // when the phase began
    std::uint32_t transferTick = 0;  // when the transfer began (the rate's start)
    std::string note;                // the message that came with the phase
};

// The one writer of a fleet run's output: the targets' threads hand it what happened, and its
// own thread writes it, so no target ever waits for a slow terminal or pipe. At a terminal it
// keeps one line per target redrawn in place (name, phase, percent, rate); otherwise it writes
// one line per target per phase change. JSON lines go to their own stream, in batches.
class FleetDisplay final : public JsonLineSink {
  public:
    // names: one per target, in list order; json: the JSON stream, or nullptr.
    FleetDisplay(std::FILE* error, std::FILE* json, bool live, platform::Clock& clock,
                 std::vector<std::string> names);
    ~FleetDisplay() override;
    FleetDisplay(const FleetDisplay&) = delete;
    FleetDisplay& operator=(const FleetDisplay&) = delete;

    // Starts the writer's thread (at a terminal: draws the lines).
    void start();
    // Writes everything still waiting, draws the lines a last time and ends the thread.
    void finish();

    // From the targets' threads.
    void phase(std::size_t target, FleetPhase phase, std::string note = {});
    // percent below 0: only the bytes changed.
    void progress(std::size_t target, int percent, std::uint64_t consumed, std::uint64_t total);
    void writeJsonLine(std::string line) override;

    // A target's redrawn line, at most 79 characters: the name padded to nameWidth, the phase,
    // and what the phase has to say (percent and rate, seconds, bytes and time, or its note).
    static std::string liveLine(const std::string& name, std::size_t nameWidth,
                                const FleetTargetView& view, std::uint32_t now);
    // The line written when a target's phase changes, without "vorlanth: ".
    static std::string phaseLine(const std::string& name, const FleetTargetView& view,
                                 std::uint32_t now);

  private:
    void writerLoop();
    void draw(const std::vector<FleetTargetView>& views, std::uint32_t now);

    std::FILE* error_;
    std::FILE* json_;
    bool live_;
    platform::Clock& clock_;
    std::vector<std::string> names_;
    std::size_t nameWidth_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<FleetTargetView> views_;
    std::vector<std::string> jsonLines_;
    std::vector<std::string> textLines_;
    bool phaseChanged_ = false;
    bool progressed_ = false;
    bool stopping_ = false;
    bool drawn_ = false;  // the writer's thread only
    std::thread writer_;
};

}  // namespace vorlanth::ui::console
