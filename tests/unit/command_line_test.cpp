// The six-field command line: each field's rule and error number, and the settings each link
// kind's line gives.
#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fakes/recording_front_end.h"

namespace vorlanth::shell {
namespace {

struct CommandLineCase {
    std::string text;
    int error;
};

// Six valid serial fields padded with blanks inside the path to an exact length.
std::string validLineOfLength(std::size_t length) {
    const std::string tail = ",1,1,1,0,1";
    return std::string(length - tail.size(), 'p') + tail;
}

TEST(CommandLine, FieldRulesAndErrorNumbers) {
    const std::vector<CommandLineCase> cases = {
        {validLineOfLength(255 + 10), kCommandLineOk},
        {std::string(357, 'a'), kWrongFormat},
        {"", kWrongFormat},
        {"    ", kWrongFormat},
        {"a,1,1,1,0", kWrongFormat},
        {"a,1,1,1,0,", kCommandLineOk},
        {"a,1,1,1,0,1,x", kWrongFormat},
        {",1,1,1,0,1", kWrongFilePath},
        {"  ,1,1,1,0,1", kWrongFilePath},
        {"a,4,1,1,0,1", kWrongLinkType},
        {"a,,1,1,0,1", kWrongLinkType},
        {"a,  ,1,1,0,1", kWrongLinkType},
        {"a,1,0,1,0,1", kWrongComPort},
        {"a,1,256,1,0,1", kWrongComPort},
        {"a,1,,1,0,1", kWrongComPort},
        {"a,1,1,6,0,1", kWrongBaudRate},
        {"a,1,1,,0,1", kWrongBaudRate},
        {"a,1,1,1,3,1", kWrongFileType},
        {"a,1,1,1,,1", kWrongFileType},
        {"a,1,1,1,0,2", kWrongExecutionMode},
        {"a,3,,3000,0,1", kWrongRemoteIp},
        {"a,3,10.0.0.1,,0,1", kWrongRemotePort},
        {"a, 1 , 2 ,3, 0 ,1", kCommandLineOk},
        {"a,1,3x,1,0,1", kCommandLineOk},
        {"a,1", kWrongFormat},
    };
    for (const auto& c : cases) {
        UploadSettings settings;
        EXPECT_EQ(parseCommandLineFields(c.text, settings), c.error) << "'" << c.text << "'";
    }
}

TEST(CommandLine, StoresTheFieldsOfEachLinkKind) {
    UploadSettings serial;
    ASSERT_EQ(parseCommandLineFields("  C:\\Progs\\app.shx, 1, 3, 1, 0, 1 ", serial), 0);
    EXPECT_EQ(serial.programPath.view(), "C:\\Progs\\app.shx");
    EXPECT_EQ(serial.linkType, Serial);
    EXPECT_EQ(serial.comPort, 3);
    EXPECT_EQ(serial.baudIndex, 0);
    EXPECT_EQ(serial.fileType, SRecord);
    EXPECT_EQ(serial.executionMode, Automatic);

    UploadSettings network;
    ASSERT_EQ(parseCommandLineFields("C:\\Progs\\app.bin,3,192.168.1.20,3000,2,0", network), 0);
    EXPECT_EQ(network.linkType, Network);
    EXPECT_EQ(network.targetAddress.view(), "192.168.1.20");
    EXPECT_EQ(network.targetPort, 3000);
    EXPECT_EQ(network.fileType, BinaryImage);
    EXPECT_EQ(network.executionMode, Interactive);

    UploadSettings clampedHigh;
    ASSERT_EQ(parseCommandLineFields("a,3,10.0.0.1,65536,0,1", clampedHigh), 0);
    EXPECT_EQ(clampedHigh.targetPort, 65535);
    UploadSettings clampedLow;
    ASSERT_EQ(parseCommandLineFields("a,3,10.0.0.1,0,0,1", clampedLow), 0);
    EXPECT_EQ(clampedLow.targetPort, 1);

    UploadSettings cradle;
    ASSERT_EQ(parseCommandLineFields("a,2,255,5,1,1", cradle), 0);
    EXPECT_EQ(cradle.linkType, CradleIr);
    EXPECT_EQ(cradle.comPort, 255);
    EXPECT_EQ(cradle.baudIndex, 4);
    EXPECT_EQ(cradle.fileType, Basic);
}

TEST(CommandLine, OverlongFieldsAreRefusedNotCut) {
    UploadSettings settings;
    EXPECT_EQ(parseCommandLineFields(std::string(256, 'p') + ",1,1,1,0,1", settings),
              kWrongFilePath);
    EXPECT_EQ(parseCommandLineFields(std::string(255, 'p') + ",1,1,1,0,1", settings), 0);
    EXPECT_EQ(parseCommandLineFields("a,3,100.100.100.10000000,3000,0,1", settings),
              kWrongRemoteIp);
    EXPECT_EQ(parseCommandLineFields("a,3,100.100.100.1000000,3000,0,1", settings), 0);
    EXPECT_EQ(settings.targetAddress.view(), "100.100.100.1000000");
}

TEST(CommandLine, ErrorsShowAPlainBoxWithTheirText) {
    fakes::RecordingFrontEnd frontEnd;
    UploadSettings settings;
    EXPECT_EQ(parseCommandLine("a,4,1,1,0,1", settings, frontEnd), 0);
    ASSERT_EQ(frontEnd.messages.size(), 1u);
    const fakes::ToldMessage& box = frontEnd.messages[0];
    EXPECT_EQ(box.text, "Wrong link type specified!");
    EXPECT_EQ(box.owner, MessageOwner::None);
    EXPECT_FALSE(box.caption.has_value());
    EXPECT_EQ(box.icon, MessageIcon::None);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(parseCommandLine("a,1,1,1,0,1", settings, frontEnd), 1);
    EXPECT_EQ(frontEnd.messages.size(), 1u);
}

TEST(CommandLine, TrimSpacesKeepsTabs) {
    std::string text = "  \tab c\t  ";
    trimSpaces(text);
    EXPECT_EQ(text, "\tab c\t");
}

}  // namespace
}  // namespace vorlanth::shell
