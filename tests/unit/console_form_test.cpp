#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>

#include "shell/session.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "ui/console/settings_form.h"

namespace vorlanth::ui::console {
namespace {

// The form over the fake platform, answering from a script of typed lines.
struct FormFixture {
    FormFixture() : session(platform, frontEnd), out(std::tmpfile()) {
        session.programDirectory.assign("C:\\Tools\\Loader\\");
        session.settingsPath.assign("C:\\Tools\\Loader\\Vorlanth.ini");
    }
    ~FormFixture() { std::fclose(out); }

    int run(std::deque<std::string> lines) {
        SettingsForm form(session, out, [&lines](std::string& line) {
            if (lines.empty()) {
                return false;
            }
            line = lines.front();
            lines.pop_front();
            return true;
        });
        return form.run();
    }

    std::string saved(const std::string& key) {
        return platform.profileImpl.files[session.settingsPath.str()]["vorlanth"][key];
    }

    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session;
    std::FILE* out;
};

TEST(ConsoleSettingsForm, NetworkChoicesFollowTheDialogRulesAndOkSaves) {
    FormFixture f;
    f.platform.fileSystem.files["C:\\Progs\\app.bin"] = fakes::bytesOf("TOLVEXSTART");
    const int result = f.run({
        "1",
        "3",  // comm type: TCP / IP
        "2",
        "10.0.0.1234567890123",  // over 15 characters: refused, the box keeps its text
        "o",                     // OK not available: no address yet
        "2",
        "1.2.3",  // too short for OK
        "3",
        "65536",  // port corrected to 65535
        "o",      // refused: "Invalid IP address!!"
        "2",
        "10.0.0.5",
        "4",
        "3",  // file type .BIN
        "b",
        "",  // browse cancelled
        "o",
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(f.frontEnd.texts(), std::vector<std::string>{"Invalid IP address!!"});
    EXPECT_EQ(f.session.settings.linkType, Network);
    EXPECT_EQ(f.session.settings.targetAddress.view(), "10.0.0.5");
    EXPECT_EQ(f.session.settings.targetPort, 65535);
    EXPECT_EQ(f.saved("comtype"), "3");
    EXPECT_EQ(f.saved("comport"), "10.0.0.5");
    EXPECT_EQ(f.saved("baudrate"), "65535");
    EXPECT_EQ(f.saved("filetype"), "2");
}

TEST(ConsoleSettingsForm, SerialFieldsBrowseAndExit) {
    FormFixture f;
    f.session.settings.comPort = 300;
    // The form takes a typed path as the full path the open-file dialog would give.
    const std::string full =
        std::filesystem::absolute("/progs/app.QBX").lexically_normal().string();
    f.platform.fileSystem.files[full] = fakes::bytesOf("x");
    const int result = f.run({
        "2",
        "007",  // leading zeros dropped
        "3",
        "5",  // 9600 bps
        "b",
        "/progs/app.QBX",
        "x",
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(f.session.settings.comPort, 7);
    EXPECT_EQ(f.session.settings.baudIndex, 4);
    // The file's extension picks the BASIC filter, as picking it in the open-file dialog would.
    EXPECT_EQ(f.session.settings.fileType, Basic);
    EXPECT_EQ(f.session.settings.programPath.view(), full);
    EXPECT_TRUE(f.platform.profileImpl.writes.empty());  // Exit saves nothing
}

TEST(ConsoleSettingsForm, EndOfInputIsExit) {
    FormFixture f;
    f.session.settings.comPort = 300;
    EXPECT_EQ(f.run({"1"}), 2);
    // A COM port of 300 is shown as 255 as soon as the form is filled.
    EXPECT_EQ(f.session.settings.comPort, 255);
}

}  // namespace
}  // namespace vorlanth::ui::console
