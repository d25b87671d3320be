#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <string>
#include <vector>

#include "dialog/main_dialog.h"
#include "shell/main_loop.h"
#include "tests/fakes/fake_dialog_view.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"

namespace vorlanth::settings {
namespace {

const std::string kSettingsPath = "C:\\Tools\\Loader\\Vorlanth.ini";

struct SettingsFileTest : ::testing::Test {
    // Puts a settings file with these keys beside the program, openable and readable.
    void storeSettings(const std::map<std::string, std::string>& keys) {
        platform.fileSystem.files[kSettingsPath] = {};
        for (const auto& [key, value] : keys) {
            platform.profileImpl.store("Vorlanth", key, value, kSettingsPath);
        }
        platform.profileImpl.writes.clear();
    }

    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session{platform, frontEnd};
};

// What loadSettings leaves in the fields it fills.
struct Loaded {
    int linkType;
    int comPort;
    int baudIndex;
    std::string address;
    int port;
    int fileType;
    std::string programPath;
};

void expectLoaded(const UploadSettings& s, const Loaded& want, const std::string& label) {
    EXPECT_EQ(s.linkType, want.linkType) << label;
    EXPECT_EQ(s.comPort, want.comPort) << label;
    EXPECT_EQ(s.baudIndex, want.baudIndex) << label;
    EXPECT_EQ(s.targetAddress.view(), want.address) << label;
    EXPECT_EQ(s.targetPort, want.port) << label;
    EXPECT_EQ(s.fileType, want.fileType) << label;
    EXPECT_EQ(s.programPath.view(), want.programPath) << label;
}

TEST_F(SettingsFileTest, NoFileLeavesThePresetsAndCreatesNothing) {
    session.settings.linkType = Network;
    session.settings.comPort = 9;
    session.settings.targetPort = 1;
    loadSettings(session);
    expectLoaded(session.settings, {Serial, 1, 0, "", 3000, SRecord, ""}, "no file");
    EXPECT_EQ(session.programDirectory.view(), "C:\\Tools\\Loader\\");
    EXPECT_EQ(session.settingsPath.view(), kSettingsPath);
    EXPECT_TRUE(platform.profileImpl.writes.empty());
    EXPECT_TRUE(platform.profileImpl.files.empty());
}

TEST_F(SettingsFileTest, FileThatCannotBeOpenedIsNotRead) {
    storeSettings({{"ComType", "3"}, {"FileName", "app.shx"}});
    platform.fileSystem.files.clear();  // held open by another program
    loadSettings(session);
    expectLoaded(session.settings, {Serial, 1, 0, "", 3000, SRecord, ""}, "held file");
}

// Each case is loaded, then shown in the dialog, whose COM port rule brings a serial COM port
// into 1..255. Stored numbers at and beyond the 32-bit and 64-bit limits saturate at the 32-bit
// limits; the shift and the range rules then apply without overflow.
TEST(SettingsFileLoad, StoredValuesBecomeSettings) {
    struct Case {
        std::map<std::string, std::string> keys;
        Loaded want;
    };
    const std::string longPath(300, 'p');
    const std::string min32 = "-2147483648", below32 = "-2147483649", max32 = "2147483647",
                      above32 = "2147483648", wrapsTo2 = "4294967298",
                      max64 = "9223372036854775807", above64 = "18446744073709551617",
                      below64 = "-9223372036854775809";
    const std::vector<Case> cases = {
        {{{"ComType", "3"}}, {Network, 1, 0, "1", 3000, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", "0"}}, {Network, 1, 0, "1", 1, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", "65536"}}, {Network, 1, 0, "1", 65535, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", "65535"}}, {Network, 1, 0, "1", 65535, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", "port"}}, {Network, 1, 0, "1", 1, SRecord, ""}},
        {{{"ComType", "3"}, {"ComPort", "192.168.1.5"}, {"Baudrate", "3001"}, {"FileType", "2"}},
         {Network, 1, 0, "192.168.1.5", 3001, BinaryImage, ""}},
        {{{"ComType", "1"}, {"Baudrate", "5"}}, {Serial, 1, 4, "", 3000, SRecord, ""}},
        {{{"ComType", "1"}, {"ComPort", "4"}}, {Serial, 4, 0, "", 3000, SRecord, ""}},
        {{{"ComType", "2"}, {"ComPort", "7"}, {"Baudrate", "3"}, {"FileType", "1"}},
         {CradleIr, 7, 2, "", 3000, Basic, ""}},
        {{{"ComPort", "300"}}, {Serial, 300, 0, "", 3000, SRecord, ""}},
        {{{"FileName", "C:\\Progs\\app.shx"}},
         {Serial, 1, 0, "", 3000, SRecord, "C:\\Progs\\app.shx"}},
        // Values outside their enumerations give way to the presets.
        {{{"ComType", "0"}, {"ComPort", "5"}}, {Serial, 5, 0, "", 3000, SRecord, ""}},
        {{{"ComType", "4"}, {"ComPort", "5"}}, {Serial, 5, 0, "", 3000, SRecord, ""}},
        {{{"ComType", "net"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"FileType", "3"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"FileType", "-1"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"Baudrate", "0"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"Baudrate", "6"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        // Overlong values are cut to their fields.
        {{{"FileName", longPath}}, {Serial, 1, 0, "", 3000, SRecord, longPath.substr(0, 255)}},
        {{{"ComType", "3"}, {"ComPort", "1234567890.1234567890.123"}},
         {Network, 1, 0, "1234567890.12345678", 3000, SRecord, ""}},
        // Numbers at and beyond the limits, and garbage.
        {{{"ComType", below32}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"ComType", min32}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"ComType", above32}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"ComType", wrapsTo2}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"ComType", above64}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"ComType", " +3 garbage"}}, {Network, 1, 0, "1", 3000, SRecord, ""}},
        {{{"ComType", "--3"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"FileType", below32}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"FileType", "4294967297"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"FileType", "0x2"}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"Baudrate", below32}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"Baudrate", min32}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"Baudrate", wrapsTo2}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"Baudrate", max64}}, {Serial, 1, 0, "", 3000, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", below32}}, {Network, 1, 0, "1", 1, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", below64}}, {Network, 1, 0, "1", 1, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", "65537"}}, {Network, 1, 0, "1", 65535, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", above64}}, {Network, 1, 0, "1", 65535, SRecord, ""}},
        {{{"ComType", "3"}, {"Baudrate", ""}}, {Network, 1, 0, "1", 1, SRecord, ""}},
        {{{"ComPort", below32}}, {Serial, INT32_MIN, 0, "", 3000, SRecord, ""}},
        {{{"ComPort", max32}}, {Serial, INT32_MAX, 0, "", 3000, SRecord, ""}},
        {{{"ComPort", above64}}, {Serial, INT32_MAX, 0, "", 3000, SRecord, ""}},
        {{{"ComPort", "99999999999999999999999999"}},
         {Serial, INT32_MAX, 0, "", 3000, SRecord, ""}},
        {{{"ComPort", "\xFF\xFE"}}, {Serial, 0, 0, "", 3000, SRecord, ""}},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.fileSystem.files[kSettingsPath] = {};
        std::string label;
        for (const auto& [key, value] : c.keys) {
            platform.profileImpl.store("Vorlanth", key, value, kSettingsPath);
            label += key + "=" + value.substr(0, 30) + " ";
        }
        loadSettings(session);
        expectLoaded(session.settings, c.want, label);
        if (session.settings.linkType != Network) {
            fakes::FakeDialogView view;
            view.onCommand = [&](int controlId, dialog::Notification notification) {
                dialog::handleMainDialogCommand(session, view, controlId, notification);
            };
            dialog::openMainDialog(session, view);
            EXPECT_EQ(session.settings.comPort, std::clamp(c.want.comPort, 1, 255)) << label;
        }
    }
}

TEST_F(SettingsFileTest, SavesTheFiveKeysInOrderForEachLinkKind) {
    using Write = std::tuple<std::string, std::string, std::string>;
    loadSettings(session);
    session.settings.linkType = Network;
    session.settings.targetAddress.assign("192.168.1.5");
    session.settings.targetPort = 3000;
    session.settings.programPath.assign("C:\\Progs\\app.bin");
    session.settings.fileType = BinaryImage;
    EXPECT_TRUE(saveSettings(session));
    // The program path is cleared first and written last, so that a store writing key by key
    // that stops midway leaves no program beside a half-written link.
    EXPECT_EQ(platform.profileImpl.writes, (std::vector<Write>{
                                               {"Vorlanth", "FileName", ""},
                                               {"Vorlanth", "ComPort", "192.168.1.5"},
                                               {"Vorlanth", "ComType", "3"},
                                               {"Vorlanth", "FileType", "2"},
                                               {"Vorlanth", "Baudrate", "3000"},
                                               {"Vorlanth", "FileName", "C:\\Progs\\app.bin"},
                                           }));
    EXPECT_EQ(platform.profileImpl.files[kSettingsPath]["vorlanth"]["comport"], "192.168.1.5");

    platform.profileImpl.writes.clear();
    session.settings.linkType = Serial;
    session.settings.comPort = 3;
    session.settings.baudIndex = 4;
    session.settings.programPath.clear();
    session.settings.fileType = SRecord;
    EXPECT_TRUE(saveSettings(session));
    EXPECT_EQ(platform.profileImpl.writes, (std::vector<Write>{
                                               {"Vorlanth", "FileName", ""},
                                               {"Vorlanth", "ComPort", "3"},
                                               {"Vorlanth", "ComType", "1"},
                                               {"Vorlanth", "FileType", "0"},
                                               {"Vorlanth", "Baudrate", "5"},
                                           }));
    // The Serial save replaced the address held in ComPort with the COM number.
    EXPECT_EQ(platform.profileImpl.files[kSettingsPath]["vorlanth"]["comport"], "3");
}

TEST(SettingsFilePaths, ProgramDirectoryAndEnvironmentFile) {
    struct Case {
        std::string program;
        char separator;
        std::string directory;
        std::string environmentFile;
    };
    const std::vector<Case> cases = {
        {"C:\\Tools\\Loader\\app.exe", '\\', "C:\\Tools\\Loader\\", "C:\\Tools\\Kestmor.ini"},
        {"C:\\app.exe", '\\', "C:\\", "C:\\Kestmor.ini"},
        {"\\\\server\\share\\app.exe", '\\', "\\\\server\\share\\", "\\\\server\\Kestmor.ini"},
        {"/home/op/.config/vorlanth/vorlanth", '/', "/home/op/.config/vorlanth/",
         "/home/op/.config/Kestmor.ini"},
        // The first character never ends a directory, so a directory just below the root
        // holds the environment file itself.
        {"/vorlanth/vorlanth", '/', "/vorlanth/", "/vorlanth/Kestmor.ini"},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.programPathText = c.program;
        platform.separator = c.separator;
        platform.profileImpl.store("Enviroment", "AlwaysOnTop", "1", c.environmentFile);
        readEnvironmentFlag(session);
        EXPECT_EQ(session.settings.alwaysOnTop, 1) << c.program;
        loadSettings(session);
        EXPECT_EQ(session.programDirectory.view(), c.directory) << c.program;
        EXPECT_EQ(session.settingsPath.view(), c.directory + "Vorlanth.ini") << c.program;
    }
}

// Neither is read from nor written to a cut path; both are said with the path the file would
// have.
TEST_F(SettingsFileTest, OverlongProgramDirectoryNeitherReadsNorWritesAndSaysSo) {
    const std::string directory = "C:\\" + std::string(250, 'd') + "\\";
    platform.programPathText = directory + "app.exe";
    const std::string cutPath = platform.programPathText.substr(0, 255);
    platform.fileSystem.files[cutPath] = {};
    platform.profileImpl.store("Vorlanth", "ComType", "3", cutPath);
    loadSettings(session);
    EXPECT_TRUE(session.programDirectory.empty());
    EXPECT_TRUE(session.settingsPath.empty());
    EXPECT_EQ(session.settings.linkType, Serial);
    EXPECT_FALSE(saveSettings(session));
    EXPECT_TRUE(platform.profileImpl.writes.empty());
    ASSERT_EQ(frontEnd.warnings.size(), 2u);
    EXPECT_EQ(frontEnd.warnings[0].summary, "settings not read");
    EXPECT_EQ(frontEnd.warnings[1].summary, "settings not saved");
    for (const auto& warning : frontEnd.warnings) {
        EXPECT_EQ(describeFailure(warning.detail),
                  directory + "Vorlanth.ini: path longer than 255 characters");
    }
}

// Without a home folder the platform names no program path: no settings file, no environment
// file, nothing written by a load, two saves or a command-line start, and one warning in all.
TEST_F(SettingsFileTest, NoHomeFolderKeepsNoSettingsAndSaysSoOnce) {
    platform.programPathText = "";
    platform.fileSystem.files["Vorlanth.ini"] = {};
    platform.profileImpl.store("Vorlanth", "ComType", "3", "Vorlanth.ini");
    readEnvironmentFlag(session);
    loadSettings(session);
    EXPECT_EQ(session.settings.linkType, Serial);
    EXPECT_TRUE(session.settingsPath.empty());
    EXPECT_FALSE(saveSettings(session));
    EXPECT_FALSE(shell::applyStartupSettings(session, "app.shx,1,1,1,0,0") &&
                 saveSettings(session));
    EXPECT_TRUE(platform.profileImpl.readings.empty());
    EXPECT_TRUE(platform.profileImpl.writes.empty());
    ASSERT_EQ(frontEnd.warnings.size(), 1u);
    EXPECT_EQ(frontEnd.warnings[0].summary + ": " + describeFailure(frontEnd.warnings[0].detail),
              "settings not saved: no home folder");
}

TEST(SettingsFileEnvironment, AlwaysOnTopIsTheLeadingNumberOfTheKey) {
    const std::string file = "C:\\Tools\\Kestmor.ini";
    const std::vector<std::pair<std::optional<std::string>, int>> cases = {
        {"1", 1}, {"2", 2}, {" 1 window", 1}, {"yes", 0}, {std::nullopt, 0}};
    for (const auto& [value, want] : cases) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        session.settings.alwaysOnTop = 7;
        if (value) {
            platform.profileImpl.store("Enviroment", "AlwaysOnTop", *value, file);
        }
        readEnvironmentFlag(session);
        EXPECT_EQ(session.settings.alwaysOnTop, want) << value.value_or("(missing)");
    }
}

TEST(SettingsFileEnvironment, NoEnvironmentFileWithoutAFittingDirectory) {
    const std::string longDirectory = "C:\\" + std::string(600, 'd') + "\\";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"app.exe", "app.exeKestmor.ini"},                              // no directory at all
        {longDirectory + "x\\app.exe", longDirectory + "Kestmor.ini"},  // beyond 503 characters
    };
    for (const auto& [program, wrongFile] : cases) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.programPathText = program;
        platform.profileImpl.store("Enviroment", "AlwaysOnTop", "1", wrongFile);
        readEnvironmentFlag(session);
        EXPECT_EQ(session.settings.alwaysOnTop, 0) << program.size();
    }
}

TEST_F(SettingsFileTest, CommandLineStartSavesBesideTheProgramWithoutReadingTheFile) {
    storeSettings({{"ComType", "3"}, {"ComPort", "10.1.1.1"}});
    ASSERT_TRUE(shell::applyStartupSettings(session, "app.shx,1,3,1,0,0"));
    EXPECT_EQ(session.settings.linkType, Serial);
    EXPECT_EQ(session.settings.comPort, 3);
    EXPECT_EQ(session.programDirectory.view(), "C:\\Tools\\Loader\\");
    saveSettings(session);
    EXPECT_EQ(platform.profileImpl.files[kSettingsPath]["vorlanth"]["comport"], "3");
    EXPECT_EQ(platform.profileImpl.files[kSettingsPath]["vorlanth"]["filename"], "app.shx");
}

TEST_F(SettingsFileTest, TheFileIsReadOnceForAllKeys) {
    storeSettings({{"ComType", "1"}, {"ComPort", "4"}, {"Baudrate", "2"}, {"FileName", "a.shx"}});
    loadSettings(session);
    EXPECT_EQ(platform.profileImpl.readings, std::vector<std::string>{kSettingsPath});
    expectLoaded(session.settings, {Serial, 4, 1, "", 3000, SRecord, "a.shx"}, "serial");
}

// A file too large to read is taken as missing, and said; so is an environment file.
TEST_F(SettingsFileTest, TooLargeFilesGiveThePresetsAndAWarning) {
    storeSettings({{"ComType", "3"}, {"FileName", "a.shx"}});
    platform.profileImpl.tooLarge.insert(kSettingsPath);
    const std::string environmentFile = "C:\\Tools\\Kestmor.ini";
    platform.profileImpl.store("Enviroment", "AlwaysOnTop", "1", environmentFile);
    platform.profileImpl.tooLarge.insert(environmentFile);

    readEnvironmentFlag(session);
    loadSettings(session);
    EXPECT_EQ(session.settings.alwaysOnTop, 0);
    expectLoaded(session.settings, {Serial, 1, 0, "", 3000, SRecord, ""}, "too large");
    ASSERT_EQ(frontEnd.warnings.size(), 2u);
    EXPECT_EQ(frontEnd.warnings[0].summary, "environment file not read");
    EXPECT_EQ(describeFailure(frontEnd.warnings[0].detail),
              environmentFile + ": larger than 64 KiB");
    EXPECT_EQ(frontEnd.warnings[1].summary, "settings not read");
    EXPECT_EQ(describeFailure(frontEnd.warnings[1].detail), kSettingsPath + ": larger than 64 KiB");
}

// A save the store refuses as a whole is said with the settings path and the store's reason.
TEST_F(SettingsFileTest, FailedSaveIsSaid) {
    loadSettings(session);
    platform.profileImpl.writesFail = true;
    session.settings.comPort = 5;
    EXPECT_FALSE(saveSettings(session));
    ASSERT_EQ(frontEnd.warnings.size(), 1u);
    EXPECT_EQ(frontEnd.warnings[0].summary, "settings not saved");
    EXPECT_EQ(describeFailure(frontEnd.warnings[0].detail), kSettingsPath + ": injected failure");
    EXPECT_TRUE(platform.profileImpl.files.empty());
}

// A store that writes key by key and stops at any one of them never leaves the old program
// path beside a link the save had begun to change: the file then names no program at all.
TEST(SettingsFileSave, StoppingAtAnyKeyLeavesNoOldProgramBesideNewLinkKeys) {
    for (std::size_t failing = 0; failing < 6; ++failing) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.fileSystem.files[kSettingsPath] = {};
        for (const auto& [key, value] :
             std::map<std::string, std::string>{{"FileName", "/old/a.bin"},
                                                {"ComPort", "3"},
                                                {"ComType", "1"},
                                                {"FileType", "2"},
                                                {"Baudrate", "5"}}) {
            platform.profileImpl.store("Vorlanth", key, value, kSettingsPath);
        }
        loadSettings(session);
        const Loaded old{Serial, 3, 4, "", 3000, BinaryImage, "/old/a.bin"};
        expectLoaded(session.settings, old, "before");

        session.settings.linkType = Network;
        session.settings.targetAddress.assign("10.1.1.2");
        session.settings.targetPort = 4000;
        session.settings.fileType = SRecord;
        session.settings.programPath.assign("/new/b.shx");
        platform.profileImpl.failAtEntry = failing;
        EXPECT_FALSE(saveSettings(session)) << failing;
        EXPECT_EQ(frontEnd.warnings.size(), 1u) << failing;

        Session reloaded(platform, frontEnd);
        loadSettings(reloaded);
        if (failing == 0) {
            expectLoaded(reloaded.settings, old, "nothing written");
        } else {
            EXPECT_EQ(reloaded.settings.programPath.view(), "") << "stopped at " << failing;
        }
    }
}

}  // namespace
}  // namespace vorlanth::settings
