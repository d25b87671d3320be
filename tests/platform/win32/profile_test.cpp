#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
    EXPECT_EQ(profile->readString("Vorlanth", "FileName", "default", file, 500), "abcdef");
    EXPECT_EQ(profile->readString("Vorlanth", "FileName", "default", file, 4), "abc");
    EXPECT_EQ(profile->readString("Vorlanth", "ComPort", "default", file, 3), "de");
    EXPECT_EQ(profile->readString("Vorlanth", "FileName", "default", scratch / "none.ini", 500),
              "default");
    EXPECT_FALSE(profile->writeString("Vorlanth", "FileName", "a\r\nb", file));
}

TEST(Win32Profile, SettingsExchangeWithPosix) {
    runSettingsExchange('\\');
}

}  // namespace
}  // namespace vorlanth::testing
