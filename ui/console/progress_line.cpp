// Draws upload progress (percent, bytes, rate, time left) and ticks the erase's seconds on a
// thread of its own.
#include "ui/console/progress_line.h"

#include <chrono>

namespace vorlanth::ui::console {

std::string formatBytes(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB",
                      static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

ProgressLine::ProgressLine(std::FILE* stream, bool terminal, platform::Clock& clock)
    : stream_(stream), terminal_(terminal), clock_(clock) {}

ProgressLine::~ProgressLine() {
    stopEraseTicker();
}

std::string ProgressLine::formatLine(int percent, std::uint64_t consumed, std::uint64_t total,
                                     std::uint32_t elapsedMs) {
    constexpr int kBarWidth = 24;
    const int clamped = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
    const int filled = clamped * kBarWidth / 100;
    std::string line = "Downloading... ";
    char number[16];
    std::snprintf(number, sizeof number, "%3d%% [", clamped);
    line += number;
    line += std::string(static_cast<std::size_t>(filled), '#');
    line += std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "]";
    if (total > 0) {
        line.append(" ").append(formatBytes(consumed)).append(" / ").append(formatBytes(total));
    }
    if (elapsedMs >= 500 && consumed > 0) {
        const double rate = static_cast<double>(consumed) * 1000.0 / elapsedMs;
        line.append("  ").append(formatBytes(static_cast<std::uint64_t>(rate))).append("/s");
        if (total > consumed) {
            const auto left = static_cast<unsigned>(static_cast<double>(total - consumed) / rate);
            char eta[32];
            std::snprintf(eta, sizeof eta, "  %u:%02u left", left / 60, left % 60);
            line += eta;
        }
    }
    return line;
}

void ProgressLine::begin() {
    active_ = true;
    percent_ = -1;
    lastDecile_ = -1;
    consumed_ = 0;
    total_ = 0;
    startTick_ = clock_.tickCount();
}

void ProgressLine::bytes(std::uint64_t consumed, std::uint64_t total) {
    consumed_ = consumed;
    total_ = total;
}

void ProgressLine::update(int percent) {
    if (!active_) {
        return;
    }
    percent_ = percent;
    draw();
}

void ProgressLine::draw() {
    if (terminal_) {
        const std::string line =
            formatLine(percent_, consumed_, total_, clock_.tickCount() - startTick_);
        std::fprintf(stream_, "\r%s\x1b[K", line.c_str());
    } else {
        const int decile = percent_ / 10;
        if (decile == lastDecile_) {
            return;
        }
        lastDecile_ = decile;
        std::fprintf(stream_, "Downloading... %d%%\n", decile * 10);
    }
    std::fflush(stream_);
}

void ProgressLine::end() {
    if (active_ && terminal_ && percent_ >= 0) {
        std::fprintf(stream_, "\n");
        std::fflush(stream_);
    }
    active_ = false;
}

void ProgressLine::eraseBegin() {
    stopEraseTicker();
    eraseStartTick_ = clock_.tickCount();
    std::fprintf(stream_, terminal_ ? "Erasing flash memory..." : "Erasing flash memory...\n");
    std::fflush(stream_);
    if (!terminal_) {
        return;
    }
    // The erase wait blocks the loader's thread, so a second thread redraws the seconds.
    eraseRunning_ = true;
    eraseTicker_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return !eraseRunning_; })) {
            const std::uint32_t seconds = (clock_.tickCount() - eraseStartTick_) / 1000;
            std::fprintf(stream_, "\rErasing flash memory... %u s\x1b[K", seconds);
            std::fflush(stream_);
        }
    });
}

void ProgressLine::stopEraseTicker() {
    if (eraseTicker_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            eraseRunning_ = false;
        }
        wake_.notify_all();
        eraseTicker_.join();
    }
}

void ProgressLine::eraseEnd() {
    stopEraseTicker();
    const std::uint32_t seconds = (clock_.tickCount() - eraseStartTick_) / 1000;
    if (terminal_) {
        std::fprintf(stream_, "\rErasing flash memory... %u s\x1b[K\n", seconds);
    } else {
        std::fprintf(stream_, "Erasing flash memory... ended after %u s\n", seconds);
    }
    std::fflush(stream_);
}

}  // namespace vorlanth::ui::console
