#pragma once

// Shared by the POSIX and Win32 tests of the settings store: both systems must write the same
// bytes for the same settings and read each other's files.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "settings/settings_file.h"
#include "shell/session.h"
#include "tests/fakes/recording_front_end.h"

namespace vorlanth::testing {

// The system platform with the program placed in a directory of the test's choosing, and
// optionally another settings store.
class RelocatedPlatform final : public platform::Platform {
  public:
    explicit RelocatedPlatform(std::string program, platform::Profile* profile = nullptr)
        : system_(platform::makeSystemPlatform()),
          program_(std::move(program)),
          profile_(profile) {}

    platform::Clock& clock() override { return system_->clock(); }
    Result<std::unique_ptr<platform::SerialPort>> openSerialPort(int comPort) override {
        return system_->openSerialPort(comPort);
    }
    platform::SocketLibrary& sockets() override { return system_->sockets(); }
    platform::FileSystem& files() override { return system_->files(); }
    platform::Profile& profile() override {
        return profile_ != nullptr ? *profile_ : system_->profile();
    }
    std::string programPath() override { return program_; }
    char pathSeparator() override { return system_->pathSeparator(); }
    std::unique_ptr<platform::Sha256> startSha256() override { return system_->startSha256(); }

  private:
    std::unique_ptr<platform::Platform> system_;
    std::string program_;
    platform::Profile* profile_;
};

// A fresh directory under the system's temporary directory, removed with its content at the
// end of the test; paths use the system's own separator.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        static std::atomic<int> counter{0};
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() /
            ("vorlanth-settings-" + std::to_string(std::random_device{}()) + "-" +
             std::to_string(++counter));
        std::filesystem::create_directories(path);
        path_ = path.string();
        separator_ = static_cast<char>(std::filesystem::path::preferred_separator);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The path of name inside the directory.
    std::string operator/(const std::string& name) const { return path_ + separator_ + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    char separator_ = '/';
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The settings saved in the shared tests and the exact file both systems write for them.
inline void setNetworkSettings(UploadSettings& s) {
    s.linkType = Network;
    s.targetAddress.assign("192.168.1.5");
    s.targetPort = 3000;
    s.fileType = BinaryImage;
    s.programPath.assign("C:\\Progs\\new app.bin");
}
inline constexpr const char* kNetworkFile =
    "[Vorlanth]\r\n"
    "FileName=C:\\Progs\\new app.bin\r\n"
    "ComPort=192.168.1.5\r\n"
    "ComType=3\r\n"
    "FileType=2\r\n"
    "Baudrate=3000\r\n";

inline void setSerialSettings(UploadSettings& s) {
    s.linkType = Serial;
    s.comPort = 3;
    s.targetAddress.clear();  // not saved for a serial link
    s.targetPort = 3000;
    s.baudIndex = 4;
    s.fileType = SRecord;
    s.programPath.clear();
}
inline constexpr const char* kSerialFile =
    "[Vorlanth]\r\n"
    "FileName=\r\n"
    "ComPort=3\r\n"
    "ComType=1\r\n"
    "FileType=0\r\n"
    "Baudrate=5\r\n";

inline std::string describe(const UploadSettings& s) {
    std::ostringstream text;
    text << "link " << s.linkType << " com " << s.comPort << " baud " << s.baudIndex << " address '"
         << s.targetAddress.view() << "' port " << s.targetPort << " file " << s.fileType
         << " path '" << s.programPath.view() << "'";
    return text.str();
}

// Saves the Network and then the Serial settings through the system's store into the program
// directory, checking the bytes and what loads back after each save.
inline void expectSavedFilesAndRoundTrip(const std::string& directory, char separator) {
    RelocatedPlatform platform(directory + separator + "vorlanth");
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);

    settings::loadSettings(session);
    const std::string file = directory + separator + "Vorlanth.ini";
    ASSERT_EQ(session.settingsPath.view(), file);
    EXPECT_FALSE(std::filesystem::exists(file)) << "loading created the file";

    for (auto [set, bytes] : {std::pair{&setNetworkSettings, kNetworkFile},
                              std::pair{&setSerialSettings, kSerialFile}}) {
        set(session.settings);
        const std::string saved = describe(session.settings);
        settings::saveSettings(session);
        EXPECT_EQ(readBytes(file), bytes);
        Session loaded(platform, frontEnd);
        settings::loadSettings(loaded);
        EXPECT_EQ(describe(loaded.settings), saved);
    }
}

// One side of the exchange between the two systems (tests/wine/settings_exchange.sh):
// VORLANTH_SETTINGS_EXCHANGE=write saves the Network settings as the program in
// VORLANTH_SETTINGS_EXCHANGE_DIR would; =read loads that directory's file and expects them.
inline void runSettingsExchange(char separator) {
    const char* mode = std::getenv("VORLANTH_SETTINGS_EXCHANGE");
    const char* directory = std::getenv("VORLANTH_SETTINGS_EXCHANGE_DIR");
    if (mode == nullptr || directory == nullptr) {
        GTEST_SKIP() << "run by tests/wine/settings_exchange.sh";
    }
    RelocatedPlatform platform(std::string(directory) + separator + "vorlanth");
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    UploadSettings expected;
    setNetworkSettings(expected);
    if (std::string(mode) == "write") {
        settings::computeProgramPaths(session);
        setNetworkSettings(session.settings);
        settings::saveSettings(session);
        EXPECT_EQ(readBytes(session.settingsPath.str()), kNetworkFile);
    } else {
        settings::loadSettings(session);
        EXPECT_EQ(describe(session.settings), describe(expected));
    }
}

}  // namespace vorlanth::testing
