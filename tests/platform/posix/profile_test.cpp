#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/system_parts.h"
#include "tests/platform/settings_store_support.h"

namespace vorlanth::testing {
namespace {

TEST(PosixProfile, SavesCreateTheDirectoriesAndReadBack) {
    ScratchDirectory scratch;
    const std::string directory = scratch / "config/vorlanth";
    expectSavedFilesAndRoundTrip(directory, '/');
    struct stat status {};
    ASSERT_EQ(::stat(directory.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(PosixProfile, SaveKeepsEveryOtherLineOfAHandWrittenFile) {
    ScratchDirectory scratch;
    const std::string file = scratch / "Vorlanth.ini";
    writeBytes(file,
               "; settings of the loader\n"
               "[Recent]\n"
               "FileName=/old/one.shx\n"
               "\n"
               "[VORLANTH]\n"
               "  fileName = /x.shx  \n"
               "# not a comment here, kept anyway\n"
               "COMPORT=4\n"
               "\n"
               "[Tail]\n"
               "Baudrate=1\n");
    ::chmod(file.c_str(), 0640);
    RelocatedPlatform platform(scratch / "vorlanth");
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    settings::loadSettings(session);
    EXPECT_EQ(describe(session.settings),
              "link 0 com 4 baud 0 address '' port 3000 file 0 path '/x.shx'");
    session.settings.comPort = 2;
    settings::saveSettings(session);
    EXPECT_EQ(readBytes(file),
              "; settings of the loader\n"
              "[Recent]\n"
              "FileName=/old/one.shx\n"
              "\n"
              "[VORLANTH]\n"
              "fileName=/x.shx\n"
              "# not a comment here, kept anyway\n"
              "COMPORT=2\n"
              "ComType=1\n"
              "FileType=0\n"
              "Baudrate=1\n"
              "\n"
              "[Tail]\n"
              "Baudrate=1\n");
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// A save cut short by the file size limit: by default the signal kills the process in the
// middle of writing (a crash); with the signal ignored the write fails and is reported.
TEST(PosixProfile, InterruptedSaveLeavesTheOldFileWhole) {
    for (const bool crash : {true, false}) {
        ScratchDirectory scratch;
        const std::string file = scratch / "Vorlanth.ini";
        const std::string old = "[Vorlanth]\nComPort=4\n" + std::string(64 * 1024, ';') + "\n";
        writeBytes(file, old);

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, crash ? SIG_DFL : SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            auto profile = platform::makeSystemProfile();
            const bool written = profile->writeString("Vorlanth", "ComPort", "5", file);
            ::_exit(written ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (crash) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
            // A failed save cleans up after itself.
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
        }
        EXPECT_EQ(readBytes(file), old) << (crash ? "crash" : "failure");
        auto profile = platform::makeSystemProfile();
        EXPECT_EQ(profile->readString("Vorlanth", "ComPort", "", file, 500), "4");
        // The next save succeeds over the leftovers.
        EXPECT_TRUE(profile->writeString("Vorlanth", "ComPort", "6", file));
        EXPECT_EQ(profile->readString("Vorlanth", "ComPort", "", file, 500), "6");
    }
}

TEST(PosixProfile, ReadsGiveTheDefaultCutToSize) {
    ScratchDirectory scratch;
    const std::string file = scratch / "Vorlanth.ini";
    writeBytes(file, "[Vorlanth]\nFileName=abcdef\n");
    auto profile = platform::makeSystemProfile();
    struct Case {
        std::string path;
        std::string key;
        std::size_t size;
        std::string want;
    };
    const std::vector<Case> cases = {
        {file, "FileName", 500, "abcdef"},
        {file, "FileName", 4, "abc"},
        {file, "FileName", 0, ""},
        {file, "ComPort", 500, "default"},
        {file, "ComPort", 3, "de"},
        {scratch / "missing.ini", "FileName", 500, "default"},
        {scratch.path(), "FileName", 500, "default"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(profile->readString("Vorlanth", c.key, "default", c.path, c.size), c.want)
            << c.path << " " << c.key << " " << c.size;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch / "missing.ini"));
    EXPECT_FALSE(profile->writeString("Vorlanth", "FileName", "x", scratch.path()));
    EXPECT_FALSE(profile->writeString("Vorlanth", "FileName", "a\nb", file));
    EXPECT_EQ(readBytes(file), "[Vorlanth]\nFileName=abcdef\n");
}

TEST(PosixProfile, SettingsExchangeWithWindows) {
    runSettingsExchange('/');
}

}  // namespace
}  // namespace vorlanth::testing
