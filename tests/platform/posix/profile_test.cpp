#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/profile_store.h"
#include "platform/system_parts.h"
#include "tests/platform/settings_store_support.h"

namespace vorlanth::testing {
namespace {

// The names in a directory.
std::set<std::string> namesIn(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Runs body in a child process and returns its exit status (or 128 + the signal that ended it);
// the child is ended by SIGALRM if body blocks for 10 s.
int inChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A session over the settings directory, with the system's store or the given one.
struct SettingsDirectory {
    explicit SettingsDirectory(const std::string& directory, platform::Profile* profile = nullptr)
        : platform(directory + "/vorlanth", profile), file(directory + "/Vorlanth.ini") {}

    // Loads the file into a fresh session and describes what it gave.
    std::string load() {
        Session loaded(platform, frontEnd);
        settings::loadSettings(loaded);
        return describe(loaded.settings);
    }
    // Saves the Network settings and returns what was said.
    std::vector<std::string> saveNetwork() {
        frontEnd.warnings.clear();
        Session session(platform, frontEnd);
        settings::computeProgramPaths(session);
        setNetworkSettings(session.settings);
        settings::saveSettings(session);
        std::vector<std::string> said;
        for (const auto& warning : frontEnd.warnings) {
            said.push_back(warning.summary + ": " + describeFailure(warning.detail));
        }
        return said;
    }

    RelocatedPlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    std::string file;
};

const std::string kOldFile = "; kept\n[Vorlanth]\nFileName=/old/a.bin\nComPort=3\nComType=1\n";

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
    EXPECT_TRUE(settings::saveSettings(session));
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

// Calls that fail at one chosen step of a save, as a full disk or a lost device would make
// them, and count what the store does.
class FailingCalls final : public platform::StoreCalls {
  public:
    enum Step { None, OpenTemporary, Write, PartialWrite, Fchmod, Fsync, Close, Rename };

    int open(const char* path, int flags, mode_t mode) override {
        ++opens;
        const bool temporary = (flags & O_CREAT) != 0;
        if (temporary && failing == OpenTemporary) {
            return failWith(ENOSPC);
        }
        const int descriptor = StoreCalls::open(path, flags, mode);
        if (temporary) {
            temporaryDescriptor = descriptor;
        }
        return descriptor;
    }
    ssize_t read(int descriptor, void* buffer, size_t size) override {
        ++reads;
        return StoreCalls::read(descriptor, buffer, size);
    }
    ssize_t write(int descriptor, const void* buffer, size_t size) override {
        if (failing == Write) {
            return failWith(EINTR);  // a signal arrived: the save gives up
        }
        if (failing == PartialWrite) {
            if (written > 0) {
                return failWith(ENOSPC);
            }
            size = std::min<size_t>(size, 7);
        }
        const ssize_t count = StoreCalls::write(descriptor, buffer, size);
        written += count > 0 ? count : 0;
        return count;
    }
    int fchmod(int descriptor, mode_t mode) override {
        return failing == Fchmod ? failWith(EPERM) : StoreCalls::fchmod(descriptor, mode);
    }
    int fsync(int descriptor) override {
        if (failing == Fsync && descriptor == temporaryDescriptor) {
            return failWith(EIO);
        }
        return StoreCalls::fsync(descriptor);
    }
    int close(int descriptor) override {
        const int result = StoreCalls::close(descriptor);
        if (failing == Close && descriptor == temporaryDescriptor) {
            return failWith(EIO);
        }
        return result;
    }
    int rename(const char* from, const char* to) override {
        return failing == Rename ? failWith(EACCES) : StoreCalls::rename(from, to);
    }

    Step failing = None;
    int opens = 0;
    int reads = 0;
    ssize_t written = 0;
    int temporaryDescriptor = -1;

  private:
    static int failWith(int error) {
        errno = error;
        return -1;
    }
};

// A save that fails at any step leaves the file byte for byte as it was and no temporary file
// beside it, and says which step and why.
TEST(PosixProfile, SaveFailingAtAnyStepLeavesTheFileAsItWas) {
    struct Case {
        FailingCalls::Step step;
        std::string said;
    };
    const std::vector<Case> cases = {
        {FailingCalls::OpenTemporary,
         "could not create a temporary file beside it (No space left on device)"},
        {FailingCalls::Write,
         "could not write a temporary file beside it (Interrupted system call)"},
        {FailingCalls::PartialWrite,
         "could not write a temporary file beside it (No space left on device)"},
        {FailingCalls::Fchmod,
         "could not give the new file the old one's permissions (Operation not permitted)"},
        {FailingCalls::Fsync, "could not write a temporary file beside it (Input/output error)"},
        {FailingCalls::Close, "could not write a temporary file beside it (Input/output error)"},
        {FailingCalls::Rename, "could not replace it (Permission denied)"},
    };
    for (const Case& c : cases) {
        ScratchDirectory scratch;
        FailingCalls calls;
        calls.failing = c.step;
        auto store = platform::makePosixProfile(calls);
        SettingsDirectory settings(scratch.path(), store.get());
        writeBytes(settings.file, kOldFile);
        EXPECT_EQ(settings.saveNetwork(),
                  std::vector<std::string>{"settings not saved: " + settings.file + ": " + c.said});
        EXPECT_EQ(readBytes(settings.file), kOldFile) << c.said;
        EXPECT_EQ(namesIn(scratch.path()), std::set<std::string>{"Vorlanth.ini"}) << c.said;
    }
}

// Loading reads the file once, for every key (one read of its text, one of its end); a save
// reads it once and replaces it once.
TEST(PosixProfile, LoadReadsTheFileOnceAndSaveReplacesItOnce) {
    ScratchDirectory scratch;
    FailingCalls calls;
    auto store = platform::makePosixProfile(calls);
    SettingsDirectory settings(scratch.path(), store.get());
    writeBytes(settings.file, kNetworkFile);
    EXPECT_EQ(settings.load(),
              "link 2 com 1 baud 0 address '192.168.1.5' port 3000 file 2 path "
              "'C:\\Progs\\new app.bin'");
    EXPECT_EQ(calls.reads, 2);

    writeBytes(settings.file, kSerialFile);
    calls.reads = 0;
    EXPECT_TRUE(settings.saveNetwork().empty());
    EXPECT_EQ(readBytes(settings.file), kNetworkFile);
    EXPECT_EQ(calls.reads, 2);
    EXPECT_EQ(calls.opens, 2);  // the temporary file, the directory (its fsync)

    // Saving what the file already holds writes nothing.
    calls.opens = 0;
    EXPECT_TRUE(settings.saveNetwork().empty());
    EXPECT_EQ(calls.opens, 0);
}

// A symbolic link to the settings file (dotfile managers keep the real file in their own tree)
// stays a link; the file it leads to gets the settings, whether the link is absolute, relative,
// one of a chain, or leads to a file not yet there. A loop of links is said and changes nothing.
TEST(PosixProfile, SymbolicLinksStayLinksAndTheirTargetIsSaved) {
    struct Case {
        std::string label;
        std::vector<std::pair<std::string, std::string>> links;  // name, what it points to
        std::string target;  // the file that must receive the settings; empty: none
    };
    const std::vector<Case> cases = {
        {"absolute", {{"config/Vorlanth.ini", "@/dotfiles/vorlanth.ini"}}, "dotfiles/vorlanth.ini"},
        {"relative",
         {{"config/Vorlanth.ini", "../dotfiles/vorlanth.ini"}},
         "dotfiles/vorlanth.ini"},
        {"chain",
         {{"config/Vorlanth.ini", "../dotfiles/middle.ini"},
          {"dotfiles/middle.ini", "vorlanth.ini"}},
         "dotfiles/vorlanth.ini"},
        {"dangling", {{"config/Vorlanth.ini", "../dotfiles/new.ini"}}, "dotfiles/new.ini"},
        {"loop",
         {{"config/Vorlanth.ini", "../dotfiles/a.ini"},
          {"dotfiles/a.ini", "../config/Vorlanth.ini"}},
         ""},
    };
    for (const Case& c : cases) {
        ScratchDirectory scratch;
        std::filesystem::create_directories(scratch / "config");
        std::filesystem::create_directories(scratch / "dotfiles");
        writeBytes(scratch / "dotfiles/vorlanth.ini", kSerialFile);
        for (const auto& [name, pointsTo] : c.links) {
            const std::string to =
                pointsTo[0] == '@' ? scratch.path() + pointsTo.substr(1) : pointsTo;
            ASSERT_EQ(::symlink(to.c_str(), (scratch / name).c_str()), 0) << c.label;
        }
        SettingsDirectory settings(scratch / "config");
        const std::vector<std::string> said = settings.saveNetwork();
        for (const auto& link : c.links) {
            EXPECT_TRUE(std::filesystem::is_symlink(scratch / link.first)) << c.label;
        }
        if (c.target.empty()) {
            ASSERT_EQ(said.size(), 1u) << c.label;
            EXPECT_NE(said[0].find("could not follow the link (Too many levels of symbolic links)"),
                      std::string::npos)
                << said[0];
            EXPECT_EQ(readBytes(scratch / "dotfiles/vorlanth.ini"), kSerialFile);
        } else {
            EXPECT_TRUE(said.empty()) << c.label;
            EXPECT_EQ(readBytes(scratch / c.target), kNetworkFile) << c.label;
            UploadSettings network;
            setNetworkSettings(network);
            EXPECT_EQ(settings.load(), describe(network)) << c.label;
        }
        EXPECT_EQ(namesIn(scratch / "config"), std::set<std::string>{"Vorlanth.ini"}) << c.label;
    }
}

// A FIFO, a directory, a socket or a device in the file's place counts as a missing file when
// loading, without blocking, and a save leaves it alone and says so. So does a file too large.
TEST(PosixProfile, WhatIsNotAPlainSmallFileIsNeitherReadNorReplaced) {
    struct Case {
        std::string label;
        std::function<void(const std::string&)> make;
        std::string loadSaid;
        std::string saveSaid;
    };
    const std::string presets = "link 0 com 1 baud 0 address '' port 3000 file 0 path ''";
    const std::string tooLarge = "larger than 64 KiB";
    const std::vector<Case> cases = {
        {"fifo", [](const std::string& f) { ::mkfifo(f.c_str(), 0600); }, "",
         "not a regular file: a FIFO"},
        {"directory", [](const std::string& f) { std::filesystem::create_directory(f); }, "",
         "not a regular file: a directory"},
        {"socket",
         [](const std::string& f) {
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, f.c_str(), sizeof address.sun_path - 1);
             ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
             ::close(s);
         },
         "", "not a regular file: a socket"},
        {"device", [](const std::string& f) { ::symlink("/dev/zero", f.c_str()); }, "",
         "not a regular file: a character device"},
        {"one byte over 64 KiB",
         [](const std::string& f) {
             writeBytes(f, "[Vorlanth]\nComType=3\n" + std::string(64 * 1024 - 20, ';'));
         },
         tooLarge, tooLarge},
        {"256 MiB",
         [](const std::string& f) {
             writeBytes(f, "[Vorlanth]\nComType=3\n");
             std::filesystem::resize_file(f, 256u << 20);
         },
         tooLarge, tooLarge},
    };
    for (const Case& c : cases) {
        ScratchDirectory scratch;
        SettingsDirectory settings(scratch.path());
        c.make(settings.file);
        ASSERT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(settings.file)));
        const auto before = std::filesystem::symlink_status(settings.file).type();
        // In a child: a FIFO that blocked the open would hang the test.
        const int loaded = inChild([&] {
            settings.frontEnd.warnings.clear();
            const std::string got = settings.load();
            const bool saidRight =
                c.loadSaid.empty()
                    ? settings.frontEnd.warnings.empty()
                    : settings.frontEnd.warnings.size() == 1 &&
                          settings.frontEnd.warnings[0].summary == "settings not read" &&
                          settings.frontEnd.warnings[0].detail.reason == c.loadSaid;
            return got == presets && saidRight ? 0 : 1;
        });
        EXPECT_EQ(loaded, 0) << c.label;
        const int saved = inChild([&] {
            const auto said = settings.saveNetwork();
            return said == std::vector<std::string>{"settings not saved: " + settings.file + ": " +
                                                    c.saveSaid}
                       ? 0
                       : 1;
        });
        EXPECT_EQ(saved, 0) << c.label;
        EXPECT_EQ(std::filesystem::symlink_status(settings.file).type(), before) << c.label;
    }
}

// A settings directory that is a file cannot take the settings: the save says so and changes
// nothing.
TEST(PosixProfile, ASettingsDirectoryThatIsAFileIsSaid) {
    ScratchDirectory scratch;
    writeBytes(scratch / "vorlanth", "not a directory");
    SettingsDirectory settings(scratch / "vorlanth");
    EXPECT_EQ(settings.saveNetwork(),
              std::vector<std::string>{"settings not saved: " + settings.file +
                                       ": could not create its directory (Not a directory)"});
    EXPECT_EQ(readBytes(scratch / "vorlanth"), "not a directory");
}

// The largest file still read: exactly 64 KiB.
TEST(PosixProfile, AFileOfExactly64KiBIsRead) {
    ScratchDirectory scratch;
    SettingsDirectory settings(scratch.path());
    const std::string head = "[Vorlanth]\nComType=3\n";
    writeBytes(settings.file, head + std::string(64 * 1024 - head.size(), ';'));
    EXPECT_EQ(settings.load(), "link 2 com 1 baud 0 address '1' port 3000 file 0 path ''");
    EXPECT_TRUE(settings.frontEnd.warnings.empty());
}

// Temporary files of saves whose process is gone are removed by the next save; that of a
// process still running is left to it.
TEST(PosixProfile, SaveRemovesTemporaryFilesOfProcessesThatAreGone) {
    ScratchDirectory scratch;
    SettingsDirectory settings(scratch.path());
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string stale = "Vorlanth.ini.tmp" + std::to_string(gone);
    const std::string running = "Vorlanth.ini.tmp" + std::to_string(::getppid());
    for (const std::string& name : {stale, running, std::string("Vorlanth.ini.tmpx1")}) {
        writeBytes(scratch / name, "half");
    }
    EXPECT_TRUE(settings.saveNetwork().empty());
    EXPECT_EQ(namesIn(scratch.path()),
              (std::set<std::string>{"Vorlanth.ini", running, "Vorlanth.ini.tmpx1"}));
}

// A save cut short by the file size limit: by default the signal kills the process in the
// middle of writing (a crash); with the signal ignored the write fails and is reported.
TEST(PosixProfile, InterruptedSaveLeavesTheOldFileWhole) {
    for (const bool crash : {true, false}) {
        ScratchDirectory scratch;
        const std::string file = scratch / "Vorlanth.ini";
        const std::string old = "[Vorlanth]\nComPort=4\n" + std::string(32 * 1024, ';') + "\n";
        writeBytes(file, old);
        const platform::ProfileEntry entry[] = {{"ComPort", "5"}};

        const int status = inChild([&] {
            ::signal(SIGXFSZ, crash ? SIG_DFL : SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            auto profile = platform::makeSystemProfile();
            return profile->writeStrings("Vorlanth", entry, file).empty() ? 0 : 3;
        });
        if (crash) {
            EXPECT_EQ(status, 128 + SIGXFSZ);
        } else {
            EXPECT_EQ(status, 3);
            // A failed save cleans up after itself.
            EXPECT_EQ(namesIn(scratch.path()), std::set<std::string>{"Vorlanth.ini"});
        }
        EXPECT_EQ(readBytes(file), old) << (crash ? "crash" : "failure");
        auto profile = platform::makeSystemProfile();
        const platform::ProfileKey key[] = {{"ComPort", ""}};
        EXPECT_EQ(profile->readStrings("Vorlanth", key, file, 500).values[0], "4");
        // The next save succeeds over the leftovers, and removes those of the crash.
        const platform::ProfileEntry next[] = {{"ComPort", "6"}};
        EXPECT_TRUE(profile->writeStrings("Vorlanth", next, file).empty());
        EXPECT_EQ(profile->readStrings("Vorlanth", key, file, 500).values[0], "6");
        EXPECT_EQ(namesIn(scratch.path()), std::set<std::string>{"Vorlanth.ini"});
    }
}

// Real faults: a full file system (a tiny tmpfs, where this process may mount one) and a
// directory the user may not write (as an unprivileged user). After the failed save the file
// is byte for byte as it was and nothing else is left in the directory.
TEST(PosixProfile, RealFullDiskAndReadOnlyDirectory) {
    int ran = 0;
    for (const std::string fault : {"full", "read-only"}) {
        ScratchDirectory scratch;
        const std::string directory = scratch / "config";
        std::filesystem::create_directories(directory);
        const int status = inChild([&]() -> int {
            if (fault == "full") {
                if (::unshare(CLONE_NEWNS) != 0 ||
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                    ::mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=16k,mode=0700") != 0) {
                    return 77;  // no mount here
                }
                writeBytes(directory + "/Vorlanth.ini", kOldFile);
                // Fill what is left, so the temporary file cannot be written.
                const int filler =
                    ::open((directory + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
                const std::string block(512, 'x');
                while (::write(filler, block.data(), block.size()) > 0) {
                }
                ::close(filler);
            } else {
                writeBytes(directory + "/Vorlanth.ini", kOldFile);
                ::chmod(directory.c_str(), 0555);
                if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                    return 77;
                }
                // The unprivileged user must still reach the directory.
                if (::access(directory.c_str(), X_OK) != 0) {
                    return 77;
                }
            }
            SettingsDirectory settings(directory);
            const auto said = settings.saveNetwork();
            const std::string reason =
                fault == "full" ? "No space left on device" : "Permission denied";
            const bool saidRight = said.size() == 1 && said[0].find(reason) != std::string::npos;
            std::set<std::string> expected{"Vorlanth.ini"};
            if (fault == "full") {
                expected.insert("filler");
            }
            if (!saidRight) {
                std::fprintf(stderr, "said: %s\n", said.empty() ? "nothing" : said[0].c_str());
            }
            return saidRight && readBytes(directory + "/Vorlanth.ini") == kOldFile &&
                           namesIn(directory) == expected
                       ? 0
                       : 1;
        });
        ::chmod(directory.c_str(), 0700);
        if (status != 77) {
            EXPECT_EQ(status, 0) << fault;
            ++ran;
        }
    }
    if (ran == 0) {
        GTEST_SKIP() << "neither a tmpfs nor an unprivileged user is available here";
    }
}

TEST(PosixProfile, ReadsGiveTheDefaultCutToSize) {
    ScratchDirectory scratch;
    const std::string file = scratch / "Vorlanth.ini";
    writeBytes(file, "[Vorlanth]\nFileName=abcdef\n");
    auto profile = platform::makeSystemProfile();
    struct Case {
        std::string path;
        std::size_t size;
        std::vector<std::string> want;  // FileName, then ComPort (missing)
    };
    const std::vector<Case> cases = {
        {file, 500, {"abcdef", "default"}},
        {file, 4, {"abc", "def"}},
        {file, 0, {"", ""}},
        {scratch / "missing.ini", 500, {"default", "default"}},
        {scratch.path(), 500, {"default", "default"}},
    };
    const platform::ProfileKey keys[] = {{"FileName", "default"}, {"ComPort", "default"}};
    for (const auto& c : cases) {
        EXPECT_EQ(profile->readStrings("Vorlanth", keys, c.path, c.size).values, c.want)
            << c.path << " " << c.size;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch / "missing.ini"));
    // A value with a line break cannot be stored: nothing of that save is written.
    const platform::ProfileEntry entries[] = {{"ComPort", "2"}, {"FileName", "a\nb"}};
    EXPECT_EQ(describeFailure(profile->writeStrings("Vorlanth", entries, file)),
              file + ": \"FileName\" cannot be stored in the file (a line break?)");
    EXPECT_EQ(readBytes(file), "[Vorlanth]\nFileName=abcdef\n");
}

TEST(PosixProfile, SettingsExchangeWithWindows) {
    runSettingsExchange('/');
}

}  // namespace
}  // namespace vorlanth::testing
