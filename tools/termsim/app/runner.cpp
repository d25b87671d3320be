#include "runner.h"

#include "posix_ports.h"
#include "program_files.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

namespace vorlanth::termsim {

namespace {

constexpr Micros kLongestWaitUs = kMicrosPerSecond;
constexpr Micros kDrainUs = 2 * kMicrosPerSecond;  // the loader reads an answer within milliseconds
constexpr uint64_t kLargestInputFile = 64ull * 1024 * 1024;

// Write end of the pipe through which a signal wakes the poll loop.
volatile sig_atomic_t gSignalPipe = -1;

// Wakes the poll loop; only async-signal-safe calls here.
extern "C" void onStopSignal(int) {
    const int fd = gSignalPipe;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto ignored = ::write(fd, &byte, 1);
    }
}

// A pipe whose read end becomes readable on SIGTERM or SIGINT; restores on exit.
class StopSignals {
  public:
    StopSignals() {
        int fds[2];
        if (::pipe(fds) == 0) {
            read_ = FileDescriptor(fds[0]);
            write_ = FileDescriptor(fds[1]);
            ::fcntl(write_.get(), F_SETFL, O_NONBLOCK);
            gSignalPipe = write_.get();
        }
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGTERM, &action, &oldTerm_);
        ::sigaction(SIGINT, &action, &oldInt_);
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~StopSignals() {
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        ::sigaction(SIGINT, &oldInt_, nullptr);
        gSignalPipe = -1;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int descriptor() const { return read_.get(); }

  private:
    FileDescriptor read_;
    FileDescriptor write_;
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
};

// Microseconds since the run began.
class RunClock {
  public:
    Micros nowUs() const {
        return static_cast<Micros>(std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::steady_clock::now() - start_)
                                       .count());
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Reads a whole file; false (with a message) when it cannot be read or is too large.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(in.tellg());
    if (size > kLargestInputFile) {
        error = path + " is larger than 64 MiB";
        return false;
    }
    in.seekg(0);
    bytes.resize(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

// Writes a whole file; false (with a message) on failure.
bool writeFile(const std::string& path, const void* data, size_t size, std::ostream& err) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        err << "vorlanth-termsim: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// Writes the requested output files; false when one could not be written.
bool writeOutputs(const Options& options, const ReceivedProgram& program, std::ostream& out,
                  std::ostream& err) {
    bool ok = true;
    if (!options.imageOut.empty()) {
        const auto bytes = renderBinaryImage(program.image);
        if (!bytes) {
            err << "vorlanth-termsim: received addresses span more than 256 MiB; no image "
                   "written\n";
            ok = false;
        } else {
            ok = writeFile(options.imageOut, bytes->data(), bytes->size(), err) && ok;
            char line[80];
            const uint32_t base = program.image.empty() ? 0 : program.image.lowest();
            std::snprintf(line, sizeof line, "IMAGE base=0x%08" PRIX32 " size=%zu", base,
                          bytes->size());
            out << line << std::endl;
        }
    }
    if (!options.srecOut.empty()) {
        const std::string text = renderSRecordText(program.image);
        ok = writeFile(options.srecOut, text.data(), text.size(), err) && ok;
    }
    if (!options.basicOut.empty()) {
        ok = writeFile(options.basicOut, program.basicProgram.data(), program.basicProgram.size(),
                       err) &&
             ok;
    }
    if (!options.companionOut.empty()) {
        ok = writeFile(options.companionOut, program.companion.data(), program.companion.size(),
                       err) &&
             ok;
    }
    return ok;
}

// Compares the received program with the expected file; returns the exit status.
int checkExpected(const Options& options, const ReceivedProgram& program, std::ostream& err) {
    std::vector<uint8_t> file;
    std::string error;
    if (!readFile(options.expectPath, file, error)) {
        err << "vorlanth-termsim: --expect: " << error << "\n";
        return kExitUsage;
    }
    std::string difference;
    std::vector<std::string> warnings;
    if (options.expectType == ProgramType::Basic) {
        const std::string companionPath = options.companionPath.empty()
                                              ? companionPathFor(options.expectPath)
                                              : options.companionPath;
        std::vector<uint8_t> companion;
        if (!readFile(companionPath, companion, error)) {
            err << "vorlanth-termsim: --expect: companion file: " << error << "\n";
            return kExitUsage;
        }
        const ExpectedBasic expected = readBasicProgram(file, companion);
        warnings = expected.warnings;
        error = expected.error;
        if (error.empty()) {
            difference = program.companion.empty() && program.basicProgram.empty()
                             ? "the terminal received no BASIC blocks"
                             : compareBasic(expected, program.basicProgram, program.companion);
        }
    } else {
        const ExpectedImage expected = options.expectType == ProgramType::SRecord
                                           ? readSRecordProgram(file)
                                           : readSectionedImage(file);
        warnings = expected.warnings;
        error = expected.error;
        if (error.empty()) {
            difference = compareImages(expected.image, program.image);
        }
    }
    for (const std::string& warning : warnings) {
        err << "vorlanth-termsim: " << options.expectPath << ": warning: " << warning << "\n";
    }
    if (!error.empty()) {
        err << "vorlanth-termsim: " << options.expectPath << ": " << error << "\n";
        return kExitUsage;
    }
    if (!difference.empty()) {
        err << "vorlanth-termsim: MISMATCH with " << options.expectPath << ": " << difference
            << "\n";
        return kExitMismatch;
    }
    err << "vorlanth-termsim: received program matches " << options.expectPath << "\n";
    return kExitMatched;
}

// One stderr line per frame handled since the last call.
void printTrace(TerminalModel& model, std::ostream& err) {
    for (const FrameTrace& entry : model.takeTrace()) {
        err << "termsim: #" << entry.number << " +" << entry.atUs / kMicrosPerMilli << "ms "
            << frameKindName(entry.kind) << ' ' << entry.description << " -> "
            << (entry.answer.empty() && entry.fault == FaultKind::Silent
                    ? "(nothing)"
                    : "\"" + entry.answer + "\"");
        if (entry.fault != FaultKind::None) {
            err << " [fault " << faultKindName(entry.fault) << ']';
        }
        err << '\n';
    }
}

// Waits at most waitUs for the descriptors. Whole milliseconds are waited in poll();
// a wait shorter than a millisecond (the last stretch before an answer is due) is slept
// with nanosleep, then the descriptors are looked at without waiting, so an answer leaves
// within the timer's slack of its due time. Input that comes during that short sleep is
// taken at its end, under a millisecond late; a loader waits for the answer meanwhile.
int waitForDescriptors(pollfd* fds, nfds_t count, Micros waitUs) {
    if (waitUs >= kMicrosPerMilli) {
        return ::poll(fds, count, static_cast<int>(waitUs / kMicrosPerMilli));
    }
    if (waitUs > 0) {
        const timespec pause{0, static_cast<long>(waitUs * 1000)};
        ::nanosleep(&pause, nullptr);  // a signal cuts it short; the poll below sees it
    }
    return ::poll(fds, count, 0);
}

// Asks the kernel to wake this thread within a microsecond of a timer instead of the
// usual 50 us slack, which would otherwise be added to every paced answer. Linux only;
// elsewhere the default slack stays.
void tightenTimerSlack() {
#if defined(__linux__)
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif
}

}  // namespace

// Polls the link and the stop pipe with a wait bounded by the next due answer, the
// idle deadline and one second; ends when the sessions are done and answered.
int runTerminal(const Options& options, std::ostream& out, std::ostream& err) {
    std::string error;
    std::unique_ptr<Port> port;
    switch (options.link) {
        case LinkKind::Pty:
            port = openPtyPort(options.linkPath, error);
            break;
        case LinkKind::Device:
            port = openDevicePort(options.devicePath, options.model.baud, error);
            break;
        case LinkKind::Udp:
            port = openUdpPort(options.udpPort, error);
            break;
    }
    if (!port) {
        err << "vorlanth-termsim: " << error << "\n";
        return kExitUsage;
    }
    ModelConfig config = options.model;
    // Without --trace the notes of every frame would only pile up.
    config.keepTrace = options.trace;
    if (options.link == LinkKind::Device) {
        config.baud = 0;  // a real line paces itself
    }
    TerminalModel model(config);
    if (config.baud > 0) {
        tightenTimerSlack();
    }
    StopSignals signals;
    RunClock clock;
    out << "READY " << port->readyText() << std::endl;

    Micros lastInputUs = 0;
    uint64_t lastBytesIn = 0;
    const char* stopReason = nullptr;
    while (stopReason == nullptr) {
        Micros now = clock.nowUs();
        if (model.sessionsEnded() >= options.sessions && !model.hasPendingOutput()) {
            break;
        }
        const Micros idleUs = options.idleTimeoutUs;
        if (idleUs > 0 && now >= lastInputUs + idleUs) {
            stopReason = "idle timeout";
            break;
        }
        Micros waitUs = kLongestWaitUs;
        if (const auto next = model.nextEventUs()) {
            waitUs = std::min(waitUs, *next > now ? *next - now : 0);
        }
        if (idleUs > 0) {
            waitUs = std::min(waitUs, lastInputUs + idleUs - now);
        }
        pollfd fds[2] = {{port->pollDescriptor(), POLLIN, 0}, {signals.descriptor(), POLLIN, 0}};
        const int ready = waitForDescriptors(fds, 2, waitUs);
        if (ready < 0 && errno != EINTR) {
            stopReason = "poll failed";
            break;
        }
        now = clock.nowUs();
        if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
            stopReason = "signal";
            break;
        }
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0) {
            if (!port->receive(model, now)) {
                stopReason = "link lost";
            }
            if (model.stats().bytesIn != lastBytesIn) {
                lastBytesIn = model.stats().bytesIn;
                lastInputUs = now;
            } else if (options.link != LinkKind::Udp &&
                       (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                // A hung-up line with nothing to read would wake poll at once, for ever. (On
                // UDP an error only reports an answer that found no listener.)
                stopReason = "link lost";
            }
        }
        model.advanceUs(now);
        for (const Emission& emission : model.takeDueUs(now)) {
            SeededRandom random = model.faultPlan().randomFor(emission.frame);
            port->send(emission, random);
        }
        if (options.trace) {
            printTrace(model, err);
        }
    }
    if (options.trace) {
        printTrace(model, err);
    }

    if (stopReason == nullptr) {
        port->drain(kDrainUs);
    }
    const bool completed = model.sessionsEnded() >= options.sessions;
    const ReceivedProgram program = completed ? model.lastSession() : model.current();
    int status = completed ? kExitMatched : kExitIncomplete;
    if (!completed) {
        err << "vorlanth-termsim: stopped by " << (stopReason ? stopReason : "?") << " after "
            << model.sessionsEnded() << " of " << options.sessions << " sessions\n";
    }
    if (!writeOutputs(options, program, out, err)) {
        status = status == kExitMatched ? kExitUsage : status;
    }
    if (!options.expectPath.empty()) {
        const int checked = checkExpected(options, program, err);
        if (status == kExitMatched) {
            status = checked;
        }
    }
    const ModelStats& stats = model.stats();
    err << "vorlanth-termsim: sessions " << model.sessionsEnded() << " of " << options.sessions
        << " ended; frames " << stats.frames << " (" << stats.commands << " commands, "
        << stats.records << " records, " << stats.blocks << " blocks, " << stats.damaged
        << " damaged); bytes " << stats.bytesIn << " in, " << stats.bytesOut << " out";
    if (stats.frames > 1) {
        // The time the frames took, for rates that leave out the loader's start and end.
        char span[48];
        std::snprintf(span, sizeof span, "; first to last frame %.6f s",
                      static_cast<double>(stats.lastFrameUs - stats.firstFrameUs) /
                          static_cast<double>(kMicrosPerSecond));
        err << span;
    }
    if (port->droppedBytes() > 0) {
        err << " (" << port->droppedBytes() << " not delivered)";
    }
    err << "; faults injected " << stats.faults;
    if (program.kind == SessionKind::Basic) {
        err << "; BASIC " << program.basicProgram.size() << " program bytes, "
            << program.companion.size() << " companion bytes\n";
    } else {
        err << "; memory " << program.image.writtenCount() << " bytes written\n";
    }
    return status;
}

}  // namespace vorlanth::termsim
