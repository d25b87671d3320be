#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "shell/main_loop.h"
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
            platform.profileImpl.writeString("Vorlanth", key, value, kSettingsPath);
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

TEST(SettingsFileLoad, StoredValuesBecomeSettings) {
    struct Case {
        std::map<std::string, std::string> keys;
        Loaded want;
    };
    const std::string longPath(300, 'p');
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
    };
    for (const auto& c : cases) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.fileSystem.files[kSettingsPath] = {};
        std::string label;
        for (const auto& [key, value] : c.keys) {
            platform.profileImpl.writeString("Vorlanth", key, value, kSettingsPath);
            label += key + "=" + value.substr(0, 30) + " ";
        }
        loadSettings(session);
        expectLoaded(session.settings, c.want, label);
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
    saveSettings(session);
    EXPECT_EQ(platform.profileImpl.writes, (std::vector<Write>{
                                               {"Vorlanth", "FileName", "C:\\Progs\\app.bin"},
                                               {"Vorlanth", "ComPort", "192.168.1.5"},
                                               {"Vorlanth", "ComType", "3"},
                                               {"Vorlanth", "FileType", "2"},
                                               {"Vorlanth", "Baudrate", "3000"},
                                           }));
    EXPECT_EQ(platform.profileImpl.files[kSettingsPath]["vorlanth"]["comport"], "192.168.1.5");

    platform.profileImpl.writes.clear();
    session.settings.linkType = Serial;
    session.settings.comPort = 3;
    session.settings.baudIndex = 4;
    session.settings.programPath.clear();
    session.settings.fileType = SRecord;
    saveSettings(session);
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
        platform.profileImpl.writeString("Enviroment", "AlwaysOnTop", "1", c.environmentFile);
        readEnvironmentFlag(session);
        EXPECT_EQ(session.settings.alwaysOnTop, 1) << c.program;
        loadSettings(session);
        EXPECT_EQ(session.programDirectory.view(), c.directory) << c.program;
        EXPECT_EQ(session.settingsPath.view(), c.directory + "Vorlanth.ini") << c.program;
    }
}

TEST_F(SettingsFileTest, OverlongProgramDirectoryNeitherReadsNorWrites) {
    platform.programPathText = "C:\\" + std::string(250, 'd') + "\\app.exe";
    const std::string cutPath = platform.programPathText.substr(0, 255);
    platform.fileSystem.files[cutPath] = {};
    platform.profileImpl.writeString("Vorlanth", "ComType", "3", cutPath);
    loadSettings(session);
    EXPECT_TRUE(session.programDirectory.empty());
    EXPECT_TRUE(session.settingsPath.empty());
    EXPECT_EQ(session.settings.linkType, Serial);
    platform.profileImpl.writes.clear();
    saveSettings(session);
    EXPECT_TRUE(platform.profileImpl.writes.empty());
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
            platform.profileImpl.writeString("Enviroment", "AlwaysOnTop", *value, file);
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
        platform.profileImpl.writeString("Enviroment", "AlwaysOnTop", "1", wrongFile);
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

}  // namespace
}  // namespace vorlanth::settings
