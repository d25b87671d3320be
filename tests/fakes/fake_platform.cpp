// The fake platform of the unit tests: files in memory, a scripted serial line and datagram
// peer, a settings store in memory and a clock that moves only when the code under test waits.
#include "tests/fakes/fake_platform.h"

#include <algorithm>
#include <cctype>

#include "common/text.h"

namespace vorlanth::fakes {

namespace {

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

class MemoryFile final : public platform::ReadableFile {
  public:
    MemoryFile(const Bytes& bytes, int& openFiles, std::uint64_t& bytesRead, std::size_t readLimit)
        : bytes_(bytes), openFiles_(openFiles), bytesRead_(bytesRead), readLimit_(readLimit) {
        ++openFiles_;
    }
    ~MemoryFile() override { --openFiles_; }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::int64_t read(std::span<std::uint8_t> buffer) override {
        std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        if (readLimit_ > 0) {
            count = std::min(count, readLimit_);
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        bytesRead_ += count;
        return static_cast<std::int64_t>(count);
    }
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }
    bool rewind() override {
        position_ = 0;
        return true;
    }

  private:
    Bytes bytes_;
    int& openFiles_;
    std::uint64_t& bytesRead_;
    std::size_t readLimit_;
    std::size_t position_ = 0;
};

// A digest whose finish fails, as the system's would when its library cannot be used.
class FailingSha256 final : public platform::Sha256 {
  public:
    void add(std::span<const std::uint8_t>) override {}
    Result<platform::Sha256Digest> finish() override {
        return objectFailure("SHA-256", "injected failure");
    }
};

}  // namespace

std::unique_ptr<platform::ReadableFile> FakeFileSystem::openForReading(const std::string& path,
                                                                       FailureDetail* why) {
    auto found = files.find(path);
    if (found == files.end()) {
        if (why != nullptr) {
            why->kind = FailureKind::System;
            why->object = path;
            why->reason = "cannot open";
            why->osErrorKind = OsErrorKind::Errno;
            why->osError = 2;
            why->osMessage = "No such file or directory";
        }
        return nullptr;
    }
    opened.push_back(path);
    return std::make_unique<MemoryFile>(found->second, openFiles, bytesRead, readLimit);
}

std::optional<std::uint64_t> FakeFileSystem::fileSize(const std::string& path) {
    auto found = files.find(path);
    if (found == files.end()) {
        return std::nullopt;
    }
    return found->second.size();
}

platform::ProfileReading FakeProfile::readStrings(std::string_view section,
                                                  std::span<const platform::ProfileKey> keys,
                                                  const std::string& path, std::size_t size) {
    readings.push_back(path);
    platform::ProfileReading reading;
    auto file = files.find(path);
    if (tooLarge.count(path) > 0) {
        reading.problem.kind = FailureKind::System;
        reading.problem.object = path;
        reading.problem.reason = std::string(platform::kProfileTooLarge);
        file = files.end();
    }
    reading.fileRead = file != files.end();
    for (const platform::ProfileKey& key : keys) {
        std::string value(key.defaultValue);
        if (file != files.end()) {
            auto sectionEntry = file->second.find(lower(section));
            if (sectionEntry != file->second.end()) {
                auto keyEntry = sectionEntry->second.find(lower(key.name));
                if (keyEntry != sectionEntry->second.end()) {
                    value = keyEntry->second;
                }
            }
        }
        reading.values.push_back(value.substr(0, size > 0 ? size - 1 : 0));
    }
    return reading;
}

FailureDetail FakeProfile::writeStrings(std::string_view section,
                                        std::span<const platform::ProfileEntry> entries,
                                        const std::string& path) {
    FailureDetail failed;
    failed.kind = FailureKind::System;
    failed.object = path;
    failed.reason = "injected failure";
    if (writesFail) {
        return failed;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (failAtEntry == i) {
            return failed;
        }
        writes.emplace_back(std::string(section), std::string(entries[i].name),
                            std::string(entries[i].value));
        store(section, entries[i].name, entries[i].value, path);
    }
    return {};
}

void FakeProfile::store(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
    files[path][lower(section)][lower(key)] = std::string(value);
}

FakePlatform::FakePlatform()
    : serialLine(clockImpl), datagramPeer(clockImpl), socketLibrary(datagramPeer) {}

std::unique_ptr<platform::Sha256> FakePlatform::startSha256() {
    ++digestsStarted;
    if (digestFails) {
        return std::make_unique<FailingSha256>();
    }
    return platform::startSha256();
}

Result<std::unique_ptr<platform::SerialPort>> FakePlatform::openSerialPort(int comPort) {
    openedComPorts.push_back(comPort);
    if (serialLine.openFails || serialLine.isOpen) {
        // Absent, or held: the port is opened without sharing.
        FailureDetail why = objectFailure(comPortName(comPort), "cannot open");
        why.osErrorKind = OsErrorKind::Errno;
        why.osError = serialLine.isOpen ? 16 : 2;
        return why;
    }
    return std::unique_ptr<platform::SerialPort>(std::make_unique<FakeSerialPort>(serialLine));
}

std::string FakePlatform::serialDeviceName(int comPort) {
    const auto found = serialDevices.find(comPort);
    return found != serialDevices.end() ? found->second
                                        : platform::Platform::serialDeviceName(comPort);
}

}  // namespace vorlanth::fakes
