// The settings form's rules over a view in memory: filling, each box's change rules, the address
// check and the save on OK, and Browse's open-file request.
#include "dialog/main_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/fake_dialog_view.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "vorlanth/version.h"

namespace vorlanth::dialog {
namespace {

using fakes::Bytes;
using fakes::FakeDialogView;
namespace id = control;

// A session wired to a dialog held in memory.
struct DialogFixture {
    DialogFixture() {
        session.programDirectory.assign("C:\\Tools\\Loader\\");
        view.onCommand = [this](int controlId, Notification notification) {
            handleMainDialogCommand(session, view, controlId, notification);
        };
    }

    void open() { openMainDialog(session, view); }
    std::string text(int controlId) { return view.controls[controlId].text; }
    bool visible(int controlId) { return view.controls[controlId].visible; }
    bool okEnabled() { return view.controls[id::kOkButton].enabled; }
    void click(int controlId) {
        handleMainDialogCommand(session, view, controlId, Notification::Clicked);
    }
    // Where in the log an entry first appears.
    std::ptrdiff_t logIndex(const std::string& entry) {
        auto found = std::find(view.log.begin(), view.log.end(), entry);
        return found == view.log.end() ? -1 : found - view.log.begin();
    }

    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session{platform, frontEnd};
    FakeDialogView view;
};

TEST(MainDialog, OpeningInSerialModeSettlesComPortAfterDialogReady) {
    DialogFixture f;
    f.session.settings.linkType = CradleIr;
    f.session.settings.comPort = 300;  // loaded unchecked from the settings file
    f.session.settings.baudIndex = 3;
    f.session.link.cradleRate = 4;
    f.open();

    EXPECT_EQ(f.view.caption, "Program download  (Ver. " VORLANTH_VERSION_TEXT ")");
    EXPECT_TRUE(f.session.settingsFormReady);
    EXPECT_EQ(f.text(id::kComPortBox), "255");
    EXPECT_EQ(f.session.settings.comPort, 255);
    EXPECT_EQ(f.session.link.cradleRate, 0u);
    EXPECT_EQ(f.view.controls[id::kCommTypeBox].entries,
              (std::vector<std::string>{"RS-232 / IrDA", "Cradle-IR", "TCP / IP"}));
    EXPECT_EQ(f.view.controls[id::kBaudRateBox].entries.size(), 5u);
    EXPECT_EQ(f.view.controls[id::kCommTypeBox].selected, 1);
    EXPECT_EQ(f.view.controls[id::kBaudRateBox].selected, 3);
    // No program path: the box shows the program's directory.
    EXPECT_EQ(f.text(id::kFileNameBox), "C:\\Tools\\Loader\\");
    EXPECT_EQ(f.view.upDownRange, (std::pair<int, int>{1, 255}));
    for (int shown : {401, 402, 101, 501, 302}) {
        EXPECT_TRUE(f.visible(shown)) << shown;
    }
    for (int hidden : {403, 404, 102, 103}) {
        EXPECT_FALSE(f.visible(hidden)) << hidden;
    }
    // The file name box is written before the COM port box, whose rule then runs in full.
    EXPECT_LT(f.logIndex("text 104"), f.logIndex("text 101"));
    EXPECT_LT(f.logIndex("show 302 1"), f.logIndex("text 101"));
    EXPECT_EQ(f.view.topmostRequests, 0);
    EXPECT_TRUE(f.view.endResults.empty());
}

TEST(MainDialog, OpeningInNetworkModeKeepsCradleRateAndShowsAddressRows) {
    DialogFixture f;
    f.session.settings.linkType = Network;
    f.session.settings.targetAddress.assign("192.168.1.5");
    f.session.settings.targetPort = 3000;
    f.session.settings.alwaysOnTop = 1;
    f.session.link.cradleRate = 4;
    f.open();

    EXPECT_EQ(f.session.link.cradleRate, 4u);
    EXPECT_EQ(f.text(id::kAddressBox), "192.168.1.5");
    EXPECT_EQ(f.text(id::kPortBox), "3000");
    EXPECT_EQ(f.view.controls[id::kBaudRateBox].selected, -1);
    for (int hidden : {401, 402, 101, 501, 302}) {
        EXPECT_FALSE(f.visible(hidden)) << hidden;
    }
    for (int shown : {403, 404, 102, 103}) {
        EXPECT_TRUE(f.visible(shown)) << shown;
    }
    EXPECT_EQ(f.view.topmostRequests, 1);
}

// The OK button after opening, in each mode, by what the boxes hold.
TEST(MainDialog, OkButtonEnablingAfterOpening) {
    struct Case {
        int linkType;
        const char* address;
        const char* programPath;
        const char* programDirectory;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {Serial, "", "", "", true},  // serial leaves OK enabled whatever the file name box holds
        {CradleIr, "", "C:\\a.shx", "", true},
        {Network, "10.0.0.1", "C:\\a.shx", "", true},
        {Network, "10.0.0.1", "", "C:\\dir\\", true},
        {Network, "10.0.0.1", "", "", false},   // no file name
        {Network, "", "C:\\a.shx", "", false},  // no address
    };
    for (const Case& c : cases) {
        DialogFixture f;
        f.session.settings.linkType = c.linkType;
        f.session.settings.targetAddress.assign(c.address);
        f.session.settings.programPath.assign(c.programPath);
        f.session.programDirectory.assign(c.programDirectory);
        f.open();
        EXPECT_EQ(f.okEnabled(), c.enabled)
            << c.linkType << " '" << c.address << "' '" << c.programPath << "'";
    }
}

TEST(MainDialog, ComPortBoxCorrectsWhatIsTyped) {
    struct Case {
        const char* typed;
        const char* shown;
        int comPort;
    };
    const std::vector<Case> cases = {
        {"0", "1", 1},
        {"300", "255", 255},
        {"007", "7", 7},
        {"", "1", 1},
        {"12", "12", 12},
        {"255", "255", 255},
        {"2147483647", "255", 255},
        {"2147483648", "1", 1},
        {"4294967295", "1", 1},
        {"4294967296", "1", 1},  // no 32-bit number at all
        {"x", "1", 1},
    };
    for (const Case& c : cases) {
        DialogFixture f;
        f.open();
        f.session.link.cradleRate = 3;
        f.view.type(id::kComPortBox, c.typed);
        EXPECT_EQ(f.text(id::kComPortBox), c.shown) << c.typed;
        EXPECT_EQ(f.session.settings.comPort, c.comPort) << c.typed;
        EXPECT_EQ(f.session.link.cradleRate, 0u) << c.typed;
        EXPECT_FALSE(f.view.nestingRanAway);
    }
}

TEST(MainDialog, ComPortChangesBeforeFillingAreIgnored) {
    DialogFixture f;
    f.session.link.cradleRate = 3;
    f.view.type(id::kComPortBox, "0");
    EXPECT_EQ(f.text(id::kComPortBox), "0");
    EXPECT_EQ(f.session.settings.comPort, 1);
    EXPECT_EQ(f.session.link.cradleRate, 3u);
}

TEST(MainDialog, PortBoxCorrectsWhatIsTyped) {
    struct Case {
        const char* typed;
        const char* shown;
        int port;
    };
    const std::vector<Case> cases = {
        {"0", "1", 1},          {"65536", "65535", 65535}, {"03000", "3000", 3000},
        {"", "1", 1},           {"65535", "65535", 65535}, {"2147483648", "1", 1},
        {"8080", "8080", 8080},
    };
    for (const Case& c : cases) {
        DialogFixture f;
        f.session.settings.linkType = Network;
        f.open();
        f.view.type(id::kPortBox, c.typed);
        EXPECT_EQ(f.text(id::kPortBox), c.shown) << c.typed;
        EXPECT_EQ(f.session.settings.targetPort, c.port) << c.typed;
    }
}

TEST(MainDialog, AddressBoxHoldsAtMostFifteenCharacters) {
    DialogFixture f;
    f.session.settings.linkType = Network;
    f.session.settings.targetAddress.assign("10.0.0.1");
    f.open();
    f.view.type(id::kAddressBox, "192.168.100.2001");  // 16 characters
    EXPECT_EQ(f.text(id::kAddressBox), "10.0.0.1");
    EXPECT_EQ(f.session.settings.targetAddress, "192.168.100.200");
    EXPECT_FALSE(f.view.nestingRanAway);
}

// A stored address longer than the box (from the settings file or the command line) is shown
// and kept as its first 15 characters, and the rule settles.
TEST(MainDialog, OverlongStoredAddressSettlesToFifteenCharacters) {
    for (const char* stored : {"192.168.100.2001", "192.168.100.200.19"}) {
        DialogFixture f;
        f.session.settings.linkType = Network;
        f.session.settings.targetAddress.assign(stored);
        f.session.settings.programPath.assign("C:\\a.shx");
        f.open();
        EXPECT_FALSE(f.view.nestingRanAway) << stored;
        EXPECT_EQ(f.text(id::kAddressBox), std::string(stored).substr(0, 15));
        EXPECT_EQ(f.session.settings.targetAddress, std::string(stored).substr(0, 15));
        EXPECT_TRUE(f.okEnabled());
    }
}

TEST(MainDialog, SwitchingLinkTypeSwapsRowsAndGuardsOk) {
    DialogFixture f;
    f.session.settings.programPath.assign("C:\\p\\app.shx");
    f.open();
    f.session.link.cradleRate = 5;

    f.view.pick(id::kCommTypeBox, Network);
    EXPECT_EQ(f.session.settings.linkType, Network);
    EXPECT_EQ(f.session.link.cradleRate, 0u);
    for (int hidden : {401, 402, 101, 501, 302}) {
        EXPECT_FALSE(f.visible(hidden)) << hidden;
    }
    for (int shown : {403, 404, 102, 103}) {
        EXPECT_TRUE(f.visible(shown)) << shown;
    }
    EXPECT_FALSE(f.okEnabled());
    f.view.type(id::kAddressBox, "1");
    EXPECT_TRUE(f.okEnabled());
    f.view.type(id::kAddressBox, "");
    EXPECT_FALSE(f.okEnabled());

    // A notification that changes nothing (the list gains the focus) refills but keeps the rate.
    f.session.link.cradleRate = 6;
    handleMainDialogCommand(f.session, f.view, id::kCommTypeBox, Notification::Other);
    EXPECT_EQ(f.session.link.cradleRate, 6u);

    f.view.pick(id::kCommTypeBox, Serial);
    EXPECT_TRUE(f.visible(id::kComPortBox));
    EXPECT_FALSE(f.visible(id::kAddressBox));
    EXPECT_TRUE(f.okEnabled());
    EXPECT_EQ(f.session.link.cradleRate, 0u);
}

TEST(MainDialog, FileNameTextOnlyGuardsOk) {
    DialogFixture f;
    f.session.settings.programPath.assign("C:\\p\\app.shx");
    f.open();
    f.view.type(id::kFileNameBox, "");
    EXPECT_FALSE(f.okEnabled());
    f.view.type(id::kFileNameBox, "D:\\typed.shx");
    EXPECT_TRUE(f.okEnabled());
    EXPECT_EQ(f.session.settings.programPath, "C:\\p\\app.shx");
}

// OK in network mode: the length rule (at least 7 characters) with validateIpText, then the
// address must name a terminal: a dotted quad, or a host name that resolves (the fake
// resolver knows "a.b.c.d"), never 0.0.0.0 or 255.255.255.255. The box's own rule keeps out
// a name without dots such as "localhost". Nothing is contacted.
TEST(MainDialog, OkInNetworkModeChecksTheAddress) {
    struct Case {
        const char* address;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"1.2.3.4", true},    {"1.2.3", false},     {"1234.1.1.1", false},
        {"300.1.1.1", false}, {"a.b.c.d", true},    {"e.f.g.h", false},
        {"1.2.3.4.5", false}, {"10.0.0.1.", false}, {"255.255.255.255", false},
        {"0.0.0.0", false},   {"1..2..3", false},   {"-1.2.3.4", false},
        {"1.2.3.256", false}, {"localhost", false}, {"192.0.2.20", true},
    };
    for (const Case& c : cases) {
        DialogFixture f;
        f.platform.datagramPeer.hostNames = {{"a.b.c.d", {192, 0, 2, 9}}};
        f.session.settings.linkType = Network;
        f.session.settings.programPath.assign("C:\\p\\app.shx");
        f.open();
        f.view.type(id::kAddressBox, c.address);
        f.view.type(id::kPortBox, "4000");
        f.click(id::kOkButton);
        if (c.accepted) {
            EXPECT_EQ(f.view.endResults, std::vector<int>{kDialogOk}) << c.address;
            EXPECT_EQ(f.session.settings.targetAddress, c.address);
            EXPECT_EQ(f.session.settings.targetPort, 4000);
            EXPECT_TRUE(f.frontEnd.messages.empty()) << c.address;
        } else {
            EXPECT_TRUE(f.view.endResults.empty()) << c.address;
            EXPECT_TRUE(f.session.settings.targetAddress.empty()) << c.address;
            EXPECT_EQ(f.text(id::kAddressBox), c.address);
            ASSERT_EQ(f.frontEnd.messages.size(), 1u) << c.address;
            EXPECT_EQ(f.frontEnd.messages[0].text, "Invalid IP address!!");
            EXPECT_EQ(f.frontEnd.messages[0].owner, MessageOwner::SettingsForm);
            EXPECT_TRUE(f.platform.profileImpl.writes.empty()) << c.address;
        }
    }
}

TEST(MainDialog, ValidateIpTextAlone) {
    EXPECT_EQ(validateIpText(""), 1);  // an empty piece counts as 0; OK refuses it by length
    EXPECT_EQ(validateIpText("999"), 0);
    EXPECT_EQ(validateIpText("1.2.3.4x"), 1);  // the kind of characters is not examined
    EXPECT_EQ(validateIpText("1.2.3.0004"), 0);
}

TEST(MainDialog, OkInSerialModeReadsComPortAndBaudRate) {
    DialogFixture f;
    f.session.settings.programPath.assign("C:\\p\\app.shx");
    f.session.settings.targetAddress.assign("10.0.0.9");
    f.open();
    f.view.type(id::kComPortBox, "7");
    f.view.selectListEntry(id::kBaudRateBox, 4);  // selected, but not reported
    f.view.selectListEntry(id::kCommTypeBox, CradleIr);
    f.view.selectListEntry(id::kFileTypeBox, BinaryImage);
    f.click(id::kOkButton);
    EXPECT_EQ(f.view.endResults, std::vector<int>{kDialogOk});
    EXPECT_EQ(f.session.settings.comPort, 7);
    EXPECT_EQ(f.session.settings.baudIndex, 4);
    EXPECT_EQ(f.session.settings.linkType, CradleIr);
    EXPECT_EQ(f.session.settings.fileType, BinaryImage);
    EXPECT_EQ(f.session.settings.targetAddress, "10.0.0.9");
}

// OK goes on with the pass when the save fails: the failure is said, the settings stay in
// memory and the dialog ends with OK.
TEST(MainDialog, OkAfterAFailedSaveSaysSoAndStillEndsWithOk) {
    DialogFixture f;
    f.session.settingsPath.assign("C:\\Tools\\Loader\\Vorlanth.ini");
    f.session.settings.programPath.assign("C:\\p\\app.shx");
    f.platform.profileImpl.writesFail = true;
    f.open();
    f.view.type(id::kComPortBox, "7");
    f.click(id::kOkButton);
    EXPECT_EQ(f.view.endResults, std::vector<int>{kDialogOk});
    EXPECT_EQ(f.session.settings.comPort, 7);
    ASSERT_EQ(f.frontEnd.warnings.size(), 1u);
    EXPECT_EQ(f.frontEnd.warnings[0].summary, "settings not saved");
    EXPECT_EQ(f.frontEnd.warnings[0].detail.object, "C:\\Tools\\Loader\\Vorlanth.ini");
    EXPECT_TRUE(f.frontEnd.messages.empty());
}

TEST(MainDialog, ExitEndsWithoutSaving) {
    DialogFixture f;
    f.open();
    f.click(id::kExitButton);
    EXPECT_EQ(f.view.endResults, std::vector<int>{kDialogExit});
    EXPECT_TRUE(f.platform.profileImpl.writes.empty());
}

TEST(MainDialog, BrowseWithoutProgramStartsAtProgramDirectoryAndForgetsPathOnCancel) {
    DialogFixture f;
    f.session.settings.fileType = Basic;
    f.session.settings.programPath.assign("C:\\gone\\old.qbx");  // no such file
    f.open();
    f.click(id::kBrowseButton);

    ASSERT_EQ(f.view.browseRequests.size(), 1u);
    const BrowseRequest& request = f.view.browseRequests[0];
    // Its owner, the settings dialog, is the desktop front end's to give (tests/wine/ui_dialog.sh).
    EXPECT_EQ(request.initialName, "C:\\Tools\\Loader\\Vorlanth.QBX");
    EXPECT_EQ(request.filterIndex, 2);
    EXPECT_EQ(request.defaultExtension, "QBX");
    EXPECT_EQ(request.maxPathLength, 255u);
    ASSERT_EQ(request.filters.size(), 3u);
    EXPECT_EQ(request.filters[0].name, "Absolute object programs {*.SHX}");
    EXPECT_EQ(request.filters[1].name, "BASIC object programs {*.QBX}");
    EXPECT_EQ(request.filters[1].pattern, "*.QBX");
    EXPECT_EQ(request.filters[2].name, "Absolute object programs {*.BIN}");

    // Cancelled: the old path is forgotten, the file type stays, the box is left alone.
    EXPECT_TRUE(f.session.settings.programPath.empty());
    EXPECT_EQ(f.session.settings.fileType, Basic);
    EXPECT_EQ(f.text(id::kFileNameBox), "C:\\gone\\old.qbx");
}

TEST(MainDialog, BrowseStartsAtAnExistingNonEmptyProgram) {
    for (const auto& [contents, startsThere] :
         {std::pair{Bytes{1, 2, 3}, true}, std::pair{Bytes{}, false}}) {
        DialogFixture f;
        f.session.settings.programPath.assign("C:\\p\\app.shx");
        f.platform.fileSystem.files["C:\\p\\app.shx"] = contents;
        f.open();
        f.click(id::kBrowseButton);
        ASSERT_EQ(f.view.browseRequests.size(), 1u);
        EXPECT_EQ(f.view.browseRequests[0].initialName,
                  startsThere ? "C:\\p\\app.shx" : "C:\\Tools\\Loader\\Vorlanth.SHX");
        EXPECT_EQ(f.session.settings.programPath.empty(), !startsThere);
    }
}

TEST(MainDialog, BrowseTakesFileTypeFromTheChosenFilter) {
    DialogFixture f;
    f.session.settings.programPath.assign("C:\\p\\app.shx");
    f.platform.fileSystem.files["C:\\p\\app.shx"] = {1};
    f.open();
    f.view.browseAnswer = BrowseResult{"C:\\q\\image.shx", 3};
    f.click(id::kBrowseButton);
    EXPECT_EQ(f.session.settings.fileType, BinaryImage);
    EXPECT_EQ(f.session.settings.programPath, "C:\\q\\image.shx");
    EXPECT_EQ(f.view.controls[id::kFileTypeBox].selected, BinaryImage);
    EXPECT_EQ(f.text(id::kFileNameBox), "C:\\q\\image.shx");
    EXPECT_TRUE(f.okEnabled());
}

}  // namespace
}  // namespace vorlanth::dialog
