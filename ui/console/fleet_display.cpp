// Draws a fleet run on the console from its own thread: live lines redrawn in place at a
// terminal, phase lines otherwise, JSON lines gathered into batched writes.
#include "ui/console/fleet_display.h"

#include <algorithm>
#include <chrono>

#include "common/text.h"
#include "ui/console/progress_line.h"

namespace vorlanth::ui::console {

namespace {

// The longest line drawn at a terminal, so that no line wraps on an 80-column screen.
constexpr std::size_t kLineWidth = 79;
// The widest name column; longer names are cut.
constexpr std::size_t kNameWidth = 26;
// A terminal's lines are redrawn at most this often (ten times a second), however many targets
// change phase in between; the last drawing at the end is not held back.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// For progress alone, at most this often.
constexpr auto kProgressRedrawInterval = std::chrono::milliseconds(200);
// Without any change the lines are still redrawn this often, so that an erase's seconds count.
constexpr auto kIdleRedrawInterval = std::chrono::seconds(1);
// JSON and plain lines are gathered this long into one write.
constexpr auto kBatchInterval = std::chrono::milliseconds(20);

// How long after the last drawing the lines are drawn again, for what changed since.
std::chrono::milliseconds redrawInterval(bool phaseChanged, bool progressed) {
    return phaseChanged ? kRedrawInterval
           : progressed ? kProgressRedrawInterval
                        : std::chrono::milliseconds(kIdleRedrawInterval);
}

// Cuts text to at most width bytes, never inside a UTF-8 sequence.
std::string cutTo(std::string text, std::size_t width) {
    if (text.size() <= width) {
        return text;
    }
    std::size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text;
}

// What a phase has to say besides its name: the erase's seconds, the transfer's percent and
// rate, the bytes and time of an upload, or the phase's note; the attempt when not the first.
std::string phaseDetail(const FleetTargetView& view, std::uint32_t now) {
    std::string detail;
    switch (view.phase) {
        case FleetPhase::Erasing:
            detail = std::to_string((now - view.phaseTick) / 1000) + " s";
            break;
        case FleetPhase::Sending: {
            char text[16];
            std::snprintf(text, sizeof text, "%3d%%", std::max(view.percent, 0));
            detail = text;
            const std::uint32_t elapsed = now - view.transferTick;
            if (elapsed >= 500 && view.consumed > 0) {
                detail.append("  ")
                    .append(formatBytes(view.consumed * 1000 / elapsed))
                    .append("/s");
            }
            break;
        }
        case FleetPhase::Uploaded:
            detail = formatBytes(view.total) + " in " +
                     secondsText((view.phaseTick - view.startTick) / 1000.0);
            break;
        default:
            detail = view.note;
            break;
    }
    const bool underway = view.phase == FleetPhase::Handshake ||
                          view.phase == FleetPhase::Erasing || view.phase == FleetPhase::Sending;
    if (underway && view.attempt > 1) {
        detail.append(detail.empty() ? "" : "  ")
            .append("(attempt ")
            .append(std::to_string(view.attempt))
            .append(")");
    }
    return detail;
}

}  // namespace

const char* fleetPhaseName(FleetPhase phase) {
    switch (phase) {
        case FleetPhase::Waiting:
            return "waiting";
        case FleetPhase::Opening:
            return "opening";
        case FleetPhase::Handshake:
            return "handshake";
        case FleetPhase::Erasing:
            return "erasing";
        case FleetPhase::Sending:
            return "sending";
        case FleetPhase::Retrying:
            return "retrying";
        case FleetPhase::Uploaded:
            return "uploaded";
        case FleetPhase::Failed:
            return "failed";
        case FleetPhase::Stopped:
            return "stopped";
    }
    return "";
}

FleetDisplay::FleetDisplay(std::FILE* error, std::FILE* json, bool live, platform::Clock& clock,
                           std::vector<std::string> names)
    : error_(error),
      json_(json),
      live_(live),
      clock_(clock),
      names_(std::move(names)),
      views_(names_.size()) {
    for (const std::string& name : names_) {
        nameWidth_ = std::max(nameWidth_, std::min(name.size(), kNameWidth));
    }
    const std::uint32_t now = clock_.tickCount();
    for (FleetTargetView& view : views_) {
        view.startTick = now;
        view.phaseTick = now;
    }
}

FleetDisplay::~FleetDisplay() {
    finish();
}

std::string FleetDisplay::liveLine(const std::string& name, std::size_t nameWidth,
                                   const FleetTargetView& view, std::uint32_t now) {
    std::string line = cutTo(name, nameWidth);
    line.append(nameWidth + 2 - line.size(), ' ');
    char phase[16];
    std::snprintf(phase, sizeof phase, "%-10s", fleetPhaseName(view.phase));
    line.append(phase).append(phaseDetail(view, now));
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return cutTo(line, kLineWidth);
}

std::string FleetDisplay::phaseLine(const std::string& name, const FleetTargetView& view,
                                    std::uint32_t now) {
    std::string line = name + ": " + fleetPhaseName(view.phase);
    // A line is written when the phase begins: its seconds and percent would say nothing yet.
    if (view.phase == FleetPhase::Handshake || view.phase == FleetPhase::Erasing ||
        view.phase == FleetPhase::Sending) {
        if (view.attempt > 1) {
            line.append(" (attempt ").append(std::to_string(view.attempt)).append(")");
        }
        return line;
    }
    const std::string detail = phaseDetail(view, now);
    if (!detail.empty()) {
        line.append(view.phase == FleetPhase::Uploaded ? " " : ": ").append(detail);
    }
    return line;
}

void FleetDisplay::start() {
    if (writer_.joinable()) {
        return;
    }
    stopping_ = false;
    writer_ = std::thread([this] { writerLoop(); });
}

void FleetDisplay::finish() {
    if (!writer_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

void FleetDisplay::phase(std::size_t target, FleetPhase phase, std::string note) {
    if (target >= views_.size()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        FleetTargetView& view = views_[target];
        const std::uint32_t now = clock_.tickCount();
        if (phase == FleetPhase::Handshake && view.phase == FleetPhase::Retrying) {
            ++view.attempt;
        }
        if (phase == FleetPhase::Opening) {
            view.startTick = now;
        }
        view.phase = phase;
        view.note = std::move(note);
        view.phaseTick = now;
        if (phase == FleetPhase::Sending) {
            view.transferTick = now;
            view.percent = 0;
            view.consumed = 0;
        }
        if (!live_) {
            textLines_.push_back(phaseLine(names_[target], view, now));
        }
        phaseChanged_ = true;
    }
    wake_.notify_all();
}

// Progress alone wakes nobody: a terminal's lines show it at the next redraw. A percent below
// 0 keeps the one shown. Plain lines show only the bytes of a whole upload, so without a
// terminal the targets take the lock for their last bytes only.
void FleetDisplay::progress(std::size_t target, int percent, std::uint64_t consumed,
                            std::uint64_t total) {
    if (target >= views_.size() || (!live_ && consumed < total)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    FleetTargetView& view = views_[target];
    if (percent >= 0) {
        view.percent = percent;
    }
    view.consumed = consumed;
    view.total = total;
    progressed_ = true;
}

// The writer is woken when the first line of a batch comes; the lines after it wait for it.
void FleetDisplay::writeJsonLine(std::string line) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        first = jsonLines_.empty();
        jsonLines_.push_back(std::move(line));
    }
    if (first) {
        wake_.notify_all();
    }
}

// Moves the lines below the cursor up to the first target's line and writes them all again.
void FleetDisplay::draw(const std::vector<FleetTargetView>& views, std::uint32_t now) {
    std::string text;
    if (drawn_ && !views.empty()) {
        text = "\x1b[" + std::to_string(views.size()) + "A";
    }
    for (std::size_t i = 0; i < views.size(); ++i) {
        text.append("\r").append(liveLine(names_[i], nameWidth_, views[i], now)).append("\x1b[K\n");
    }
    drawn_ = true;
    std::fputs(text.c_str(), error_);
    std::fflush(error_);
}

// Waits for work, takes it under the lock and writes it outside, then lets the next batch
// gather. At a terminal the lines are redrawn after a phase change or progress once the redraw
// interval since the last drawing has passed, so a fleet of any size is drawn at most ten times
// a second; lines to write and the end wake the writer at once.
void FleetDisplay::writerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    auto lastDraw = std::chrono::steady_clock::now() - kIdleRedrawInterval;
    for (;;) {
        const auto hasLines = [this] {
            return stopping_ || !jsonLines_.empty() || !textLines_.empty();
        };
        if (live_) {
            const bool changed = phaseChanged_ || progressed_;
            wake_.wait_until(lock, lastDraw + redrawInterval(phaseChanged_, progressed_),
                             [&] { return hasLines() || (!changed && phaseChanged_); });
        } else {
            wake_.wait(lock, hasLines);
        }
        const bool stopping = stopping_;
        std::vector<std::string> json;
        std::vector<std::string> text;
        json.swap(jsonLines_);
        text.swap(textLines_);
        const auto now = std::chrono::steady_clock::now();
        const bool redraw =
            live_ && (stopping || now - lastDraw >= redrawInterval(phaseChanged_, progressed_));
        std::vector<FleetTargetView> views;
        if (redraw) {
            views = views_;
            phaseChanged_ = false;
            progressed_ = false;
            lastDraw = now;
        }
        lock.unlock();

        if (json_ != nullptr && !json.empty()) {
            for (const std::string& line : json) {
                std::fputs(line.c_str(), json_);
                std::fputc('\n', json_);
            }
            std::fflush(json_);
        }
        for (const std::string& line : text) {
            std::fprintf(error_, "vorlanth: %s\n", line.c_str());
        }
        if (!text.empty()) {
            std::fflush(error_);
        }
        if (redraw) {
            draw(views, clock_.tickCount());
        }

        lock.lock();
        if (stopping && jsonLines_.empty() && textLines_.empty()) {
            return;
        }
        if (!stopping_) {
            wake_.wait_for(lock, kBatchInterval, [this] { return stopping_; });
        }
    }
}

}  // namespace vorlanth::ui::console
