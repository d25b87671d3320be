// A platform in memory for the unit tests: files, profile, serial line, sockets, clock, stop
// request and digest, each recording what the code under test did with it.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <tuple>

#include "platform/platform.h"
#include "tests/fakes/fake_link.h"
#include "tests/fakes/virtual_clock.h"

namespace vorlanth::fakes {

// Files held in memory, by path.
class FakeFileSystem final : public platform::FileSystem {
  public:
    std::unique_ptr<platform::ReadableFile> openForReading(const std::string& path,
                                                           FailureDetail* why = nullptr) override;
    // The same files, read as a stream ("-" is the file of that name).
    std::unique_ptr<platform::ReadableFile> openTextStream(const std::string& path,
                                                           FailureDetail* why = nullptr) override {
        return openForReading(path, why);
    }
    std::optional<std::uint64_t> fileSize(const std::string& path) override;

    std::map<std::string, Bytes> files;
    std::vector<std::string> opened;  // every path opened successfully, in order
    int openFiles = 0;                // files open right now
    std::uint64_t bytesRead = 0;      // bytes read from every file, all reads added
    // When set, reads return at most this many bytes per call.
    std::size_t readLimit = 0;
};

// Profile files held in memory: path → section → key → value; names match without regard
// to case, as the platform's functions do.
class FakeProfile final : public platform::Profile {
  public:
    platform::ProfileReading readStrings(std::string_view section,
                                         std::span<const platform::ProfileKey> keys,
                                         const std::string& path, std::size_t size) override;
    FailureDetail writeStrings(std::string_view section,
                               std::span<const platform::ProfileEntry> entries,
                               const std::string& path) override;
    // Puts a value into a file without counting it as a write.
    void store(std::string_view section, std::string_view key, std::string_view value,
               const std::string& path);

    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> files;
    std::vector<std::string> readings;  // the path of every reading, in order
    std::vector<std::tuple<std::string, std::string, std::string>> writes;  // section, key, value
    std::set<std::string> tooLarge;  // files that are there but too large to read
    // Every save fails with nothing written, as a store that replaces the file at once.
    bool writesFail = false;
    // The save fails at this entry, after those before it were written, as a store that
    // writes key by key.
    std::optional<std::size_t> failAtEntry;
};

// A platform made of fakes, driven by one virtual clock.
class FakePlatform final : public platform::Platform {
  public:
    FakePlatform();
    platform::Clock& clock() override { return clockImpl; }
    Result<std::unique_ptr<platform::SerialPort>> openSerialPort(int comPort) override;
    std::string serialDeviceName(int comPort) override;
    platform::SocketLibrary& sockets() override { return socketLibrary; }
    platform::FileSystem& files() override { return fileSystem; }
    platform::Profile& profile() override { return profileImpl; }
    std::string programPath() override { return programPathText; }
    char pathSeparator() override { return separator; }
    int stopRequested() override { return stopSignal; }
    // The system's own SHA-256 (a digest is computation, nothing to fake), or one that fails at
    // its finish when digestFails is set.
    std::unique_ptr<platform::Sha256> startSha256() override;

    VirtualClock clockImpl;
    FakeSerialLine serialLine;
    FakeDatagramPeer datagramPeer;
    FakeSocketLibrary socketLibrary;
    FakeFileSystem fileSystem;
    FakeProfile profileImpl;
    std::string programPathText = "C:\\Tools\\Loader\\vorlanth.exe";
    char separator = '\\';
    std::vector<int> openedComPorts;
    // The device behind a COM number, where two numbers share one; "COM<n>" otherwise.
    std::map<int, std::string> serialDevices;
    int stopSignal = 0;        // set by a test to play a SIGINT (2), SIGTERM (15) or SIGHUP (1)
    bool digestFails = false;  // every digest's finish fails, as a broken system library's
    int digestsStarted = 0;
};

}  // namespace vorlanth::fakes
