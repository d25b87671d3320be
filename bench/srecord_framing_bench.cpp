// Frames an S-record file into acknowledged binary records through the real link code, over
// a serial port that answers "FA\r" to every write at once, and reports the rate.
//
//   vorlanth_bench_srecord FILE              frame FILE as the platform reads it
//   vorlanth_bench_srecord --memory FILE     frame FILE from memory (framing alone)
//   vorlanth_bench_srecord --generate FILE MB   write an S3 file of about MB megabytes

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_transport.h"
#include "platform/platform.h"
#include "readers/reader_support.h"
#include "shell/program_sender.h"
#include "shell/session.h"

namespace vorlanth::bench {
namespace {

// A serial port whose far end accepts every record at once.
class AcceptingSerialPort final : public platform::SerialPort {
  public:
    Status applyLine(const platform::SerialLine&) override { return {}; }
    Status setWriteTimeout(const platform::WriteTimeout&) override { return {}; }
    Result<std::size_t> write(std::span<const std::uint8_t> bytes) override {
        ++writes;
        bytesWritten += bytes.size();
        pending = 0;
        return bytes.size();
    }
    Result<std::optional<std::uint8_t>> readByte(std::uint32_t) override {
        static constexpr char kAnswer[] = "FA\r";
        if (pending >= 3) {
            return std::optional<std::uint8_t>();
        }
        return std::optional<std::uint8_t>(static_cast<std::uint8_t>(kAnswer[pending++]));
    }
    void purge() override {}
    void discardInput() override {}

    std::uint64_t writes = 0;
    std::uint64_t bytesWritten = 0;
    std::size_t pending = 3;
};

class SilentFrontEnd final : public FrontEnd {
  public:
    void tell(MessageId message, const FailureDetail&) override {
        if (const auto entry = findMessage(message)) {
            std::fprintf(stderr, "message: %.*s\n", static_cast<int>(entry->text.size()),
                         entry->text.data());
        }
    }
    bool askRetry(const FailureDetail&) override { return false; }
    bool beginProgress() override { return true; }
    void advanceProgress(std::uint64_t, std::uint64_t, std::optional<int>) override {}
    void endProgress() override {}
    bool showErase() override { return true; }
    void endErase() override {}
    SettingsOutcome runSettingsForm(Session&) override { return SettingsOutcome::Exit; }
    std::optional<BrowseResult> browseForFile(const BrowseRequest&) override {
        return std::nullopt;
    }
};

// A clock that stands still unless something sleeps: no system call per look at the time.
class CountingClock final : public platform::Clock {
  public:
    std::uint32_t tickCount() override { return now_; }
    void sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }

  private:
    std::uint32_t now_ = 0;
};

// The platform's file system and a clock of our own.
class BenchPlatform final : public platform::Platform {
  public:
    explicit BenchPlatform(std::unique_ptr<platform::Platform> system)
        : system_(std::move(system)) {}
    platform::Clock& clock() override { return clock_; }
    Result<std::unique_ptr<platform::SerialPort>> openSerialPort(int comPort) override {
        return objectFailure(comPortName(comPort), "the benchmark opens no port");
    }
    platform::SocketLibrary& sockets() override { return system_->sockets(); }
    platform::FileSystem& files() override { return system_->files(); }
    platform::Profile& profile() override { return system_->profile(); }
    std::string programPath() override { return system_->programPath(); }
    char pathSeparator() override { return system_->pathSeparator(); }
    std::unique_ptr<platform::Sha256> startSha256() override { return system_->startSha256(); }

  private:
    std::unique_ptr<platform::Platform> system_;
    CountingClock clock_;
};

// A file held in memory, read in the sizes the reader asks for.
class MemoryFile final : public platform::ReadableFile {
  public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        std::memcpy(buffer.data(), bytes_.data() + position_, count);
        position_ += count;
        return static_cast<std::int64_t>(count);
    }
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }
    bool rewind() override {
        position_ = 0;
        return true;
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

class NullProgress final : public shell::ProgressSink {
  public:
    void setProgress(int percent, std::uint64_t, std::uint64_t) override { last = percent; }
    void stayResponsive() override {}
    int last = 0;
};

// Writes S3 lines of 32 data bytes at consecutive addresses, then an S7 line.
int generate(const char* path, long megabytes) {
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::uint64_t target = static_cast<std::uint64_t>(megabytes) * 1024 * 1024;
    std::uint64_t written = 0;
    std::uint32_t address = 0x00100000;
    std::uint32_t seed = 12345;
    std::string line;
    while (written < target) {
        std::uint8_t bytes[1 + 4 + 32 + 1];
        bytes[0] = 4 + 32 + 1;
        for (int i = 0; i < 4; ++i) {
            bytes[1 + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
        }
        unsigned sum = bytes[0] + bytes[1] + bytes[2] + bytes[3] + bytes[4];
        for (int i = 0; i < 32; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes[5 + i] = static_cast<std::uint8_t>(seed >> 16);
            sum += bytes[5 + i];
        }
        bytes[37] = static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
        line = "S3";
        for (std::uint8_t byte : bytes) {
            line += kDigits[byte >> 4];
            line += kDigits[byte & 15];
        }
        line += "\r\n";
        out << line;
        written += line.size();
        address += 32;
    }
    out << "S70500000000FA\r\n";
    return out ? 0 : 1;
}

// Frames the file once; from memory when inMemory, else through the platform's file reads.
int frame(BenchPlatform& platform, const char* path, bool inMemory) {
    SilentFrontEnd frontEnd;
    Session session(platform, frontEnd);
    session.settings.linkType = Serial;
    auto port = std::make_unique<AcceptingSerialPort>();
    AcceptingSerialPort& watched = *port;
    session.link.transport =
        std::make_unique<link::SerialTransport>(std::move(port), "COM1", platform, nullptr);
    session.programFile = platform.files().openForReading(path);
    if (!session.programFile) {
        std::fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }
    const std::int64_t size = session.programFile->size();
    if (inMemory) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        bytes.resize(readers::readFully(*session.programFile, bytes));
        session.programFile = std::make_unique<MemoryFile>(std::move(bytes));
    }
    NullProgress progress;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    // Both passes of an upload: the check of the whole file, then the sending.
    ResultCode result = shell::checkProgramFiles(session);
    if (succeeded(result)) {
        result = shell::transferProgram(session, progress);
    }
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double megabytes = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf(
        "%s: result %d, %lld bytes, %llu frames, %llu bytes on the link, %.3f s, "
        "%.1f MB/s; cpu %.3f s, %.1f MB/s\n",
        inMemory ? "framing from memory" : "framing from the file", codeNumber(result),
        static_cast<long long>(size), static_cast<unsigned long long>(watched.writes),
        static_cast<unsigned long long>(watched.bytesWritten), elapsed.count(),
        megabytes / elapsed.count(), cpuSeconds, megabytes / cpuSeconds);
    return result == ResultCode::Done ? 0 : 1;
}

}  // namespace
}  // namespace vorlanth::bench

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--generate") == 0) {
        return vorlanth::bench::generate(argv[2], std::atol(argv[3]));
    }
    if (argc == 2 || (argc == 3 && std::strcmp(argv[1], "--memory") == 0)) {
        vorlanth::bench::BenchPlatform platform(vorlanth::platform::makeSystemPlatform());
        return vorlanth::bench::frame(platform, argv[argc - 1], argc == 3);
    }
    std::fprintf(stderr, "usage: %s FILE | --generate FILE MB\n", argv[0]);
    return 2;
}
