#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system_parts.h"
#include "tests/platform/settings_store_support.h"

namespace vorlanth::testing {
namespace {

TEST(Win32Profile, SavesThroughThePrivateProfileFunctionsAndReadBack) {
    ScratchDirectory scratch;
    // A Windows program's directory exists; the private-profile functions create no directory.
    std::filesystem::create_directories(scratch / "program");
    expectSavedFilesAndRoundTrip(scratch / "program", '\\');
}

TEST(Win32Profile, ReadsAHandWrittenFile) {
    ScratchDirectory scratch;
    const std::string file = scratch / "Vorlanth.ini";
    // Comments, blanks around names and values, mixed case, another section.
    writeBytes(file,
               "; settings of the loader\r\n"
               "[Recent]\r\n"
               "ComPort=9\r\n"
               "\r\n"
               "[VORLANTH]\r\n"
               "  comport = 10.0.0.7  \r\n"
               "COMTYPE=3\r\n"
               "Baudrate=65535\r\n");
    RelocatedPlatform platform(scratch / "vorlanth.exe");
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    settings::loadSettings(session);
    EXPECT_EQ(describe(session.settings),
              "link 2 com 1 baud 0 address '10.0.0.7' port 65535 file 0 path ''");
}

TEST(Win32Profile, ReadsGiveTheDefaultCutToSize) {
    ScratchDirectory scratch;
    const std::string file = scratch / "Vorlanth.ini";
    writeBytes(file, "[Vorlanth]\r\nFileName=abcdef\r\n");
    auto profile = platform::makeSystemProfile();
    const platform::ProfileKey keys[] = {{"FileName", "default"}, {"ComPort", "default"}};
    EXPECT_EQ(profile->readStrings("Vorlanth", keys, file, 500).values,
              (std::vector<std::string>{"abcdef", "default"}));
    EXPECT_EQ(profile->readStrings("Vorlanth", keys, file, 4).values,
              (std::vector<std::string>{"abc", "def"}));
    const platform::ProfileReading missing =
        profile->readStrings("Vorlanth", keys, scratch / "none.ini", 500);
    EXPECT_FALSE(missing.fileRead);
    EXPECT_EQ(missing.values, (std::vector<std::string>{"default", "default"}));
    const platform::ProfileEntry entries[] = {{"ComPort", "2"}, {"FileName", "a\r\nb"}};
    EXPECT_FALSE(profile->writeStrings("Vorlanth", entries, file).empty());
    EXPECT_EQ(readBytes(file), "[Vorlanth]\r\nFileName=abcdef\r\n");
}

// A file over 64 KiB is not read: its keys take their defaults and the reason comes back.
TEST(Win32Profile, AFileOver64KiBIsNotRead) {
    ScratchDirectory scratch;
    const std::string file = scratch / "Vorlanth.ini";
    const std::string head = "[Vorlanth]\r\nComType=3\r\n";
    auto profile = platform::makeSystemProfile();
    const platform::ProfileKey keys[] = {{"ComType", "1"}};
    writeBytes(file, head + std::string(64 * 1024 - head.size(), ';'));
    EXPECT_EQ(profile->readStrings("Vorlanth", keys, file, 500).values[0], "3");
    writeBytes(file, head + std::string(64 * 1024 + 1 - head.size(), ';'));
    const platform::ProfileReading reading = profile->readStrings("Vorlanth", keys, file, 500);
    EXPECT_FALSE(reading.fileRead);
    EXPECT_EQ(reading.values[0], "1");
    EXPECT_EQ(describeFailure(reading.problem), file + ": larger than 64 KiB");
}

TEST(Win32Profile, SettingsExchangeWithPosix) {
    runSettingsExchange('\\');
}

}  // namespace
}  // namespace vorlanth::testing
