// The console's progress display on standard error: a redrawn line at a terminal, a line per
// 10 percent elsewhere, and the erase's elapsed seconds.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"

namespace vorlanth::ui::console {

// A byte count for a person: "512 B", "5.3 KiB", "1.0 MiB".
std::string formatBytes(std::uint64_t bytes);

// The console's progress display on stderr. On a terminal one line is redrawn in place with
// percent, bytes, rate and time left; otherwise one plain line is written per 10 percent.
// The erase wait shows "Erasing flash memory..." with the seconds elapsed.
class ProgressLine {
  public:
    ProgressLine(std::FILE* stream, bool terminal, platform::Clock& clock);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void begin();
    void update(int percent);
    void bytes(std::uint64_t consumed, std::uint64_t total);
    void end();

    void eraseBegin();
    void eraseEnd();

    // The text of the redrawn line for a state, without the leading carriage return.
    static std::string formatLine(int percent, std::uint64_t consumed, std::uint64_t total,
                                  std::uint32_t elapsedMs);

  private:
    void draw();
    void stopEraseTicker();

    std::FILE* stream_;
    bool terminal_;
    platform::Clock& clock_;
    bool active_ = false;
    int percent_ = -1;
    int lastDecile_ = -1;
    std::uint64_t consumed_ = 0;
    std::uint64_t total_ = 0;
    std::uint32_t startTick_ = 0;

    std::uint32_t eraseStartTick_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool eraseRunning_ = false;
    std::thread eraseTicker_;
};

}  // namespace vorlanth::ui::console
