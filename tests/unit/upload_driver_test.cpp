// One upload attempt end to end over the fake link for each file type: the check, handshake,
// erase, progress and send pass, and what the front end is told.
#include "shell/upload_driver.h"

#include <gtest/gtest.h>

#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::shell {
namespace {

using testing::Bytes;
using testing::hexBytes;
using testing::kEndRecordBytes;
using testing::ScriptedTerminal;
using testing::textBytes;

// A terminal that answers like a real one: ready at once, erase under way then done,
// records accepted, BASIC mode with checksums, blocks accepted.
void answerLikeATerminal(ScriptedTerminal& terminal) {
    terminal.platform.serialLine.responder = [](fakes::FakeSerialLine& line,
                                                std::span<const std::uint8_t> sent) {
        const std::string text(sent.begin(), sent.end());
        if (text == "\r") {
            line.deliver("FN\r");
        } else if (text == ":ERASE\r") {
            line.deliver("FB\r");
            line.deliver("FA\r", 3000);
        } else if (text == "TOLVEX\r") {
            line.deliver("FK\r");
        } else if (text == "000300\r" || text == "END\r" || sent[0] != 'S') {
            line.deliver("ACK\r");
        } else {
            line.deliver("FA\r");
        }
    };
}

const std::string kSRecordFile = "S3090000100001020304DC\r\nS70500000000FA\r\n";

// A valid program of each file type, so that only the terminal decides how an attempt goes.
Bytes validProgram(int fileType) {
    if (fileType == BinaryImage) {
        Bytes image = textBytes("TOLVEXSTART");
        for (const Bytes& part : {hexBytes("00 00 80 00 00 00 00 01 5A"), textBytes("TOLVEXEND")}) {
            image.insert(image.end(), part.begin(), part.end());
        }
        return image;
    }
    if (fileType == SRecord) {
        return textBytes(kSRecordFile);
    }
    return Bytes(12, 0);  // BASIC: both counts 0
}

TEST(UploadProgram, SRecordUploadEndToEnd) {
    ScriptedTerminal terminal;
    answerLikeATerminal(terminal);
    terminal.session.settings.fileType = SRecord;
    terminal.setProgramFile(kSRecordFile);
    EXPECT_EQ(uploadProgram(terminal.session), ResultCode::Done);
    EXPECT_EQ(
        terminal.frames(),
        (std::vector<Bytes>{textBytes("\r"), textBytes(":ERASE\r"),
                            hexBytes("53 33 09 00 00 10 00 01 02 03 04 DC 0D"), kEndRecordBytes}));
    // Every write of the attempt gives up after 5 ms a byte plus 50 ms.
    EXPECT_EQ(terminal.platform.serialLine.writeTimeouts,
              (std::vector<platform::WriteTimeout>{{.perByteMs = 5, .extraMs = 50}}));
    const fakes::RecordingFrontEnd& frontEnd = terminal.frontEnd;
    EXPECT_EQ(frontEnd.eraseShown, 1);
    EXPECT_EQ(frontEnd.eraseEnded, 1);
    EXPECT_EQ(frontEnd.progressBegun, 1);
    EXPECT_EQ(frontEnd.progressEnded, 1);
    EXPECT_EQ(frontEnd.events, (std::vector<UploadEvent>{
                                   UploadEvent::HandshakeStarted, UploadEvent::HandshakeSucceeded,
                                   UploadEvent::EraseStarted, UploadEvent::EraseSucceeded,
                                   UploadEvent::TransferStarted, UploadEvent::TransferFinished}));
}

TEST(UploadProgram, BinaryImageUploadEndToEnd) {
    ScriptedTerminal terminal;
    answerLikeATerminal(terminal);
    terminal.session.settings.fileType = BinaryImage;
    Bytes file = textBytes("TOLVEXSTART");
    for (std::uint8_t byte : hexBytes("00 00 80 00 00 00 00 03 01 02 03")) {
        file.push_back(byte);
    }
    for (std::uint8_t byte : textBytes("TOLVEXEND")) {
        file.push_back(byte);
    }
    terminal.setProgramFile(file);
    EXPECT_EQ(uploadProgram(terminal.session), ResultCode::Done);
    EXPECT_EQ(
        terminal.frames(),
        (std::vector<Bytes>{textBytes("\r"), textBytes(":ERASE\r"),
                            hexBytes("53 33 08 00 00 80 00 01 02 03 71 0D"), kEndRecordBytes}));
    EXPECT_EQ(terminal.frontEnd.progress, (std::vector<int>{100}));
}

TEST(UploadProgram, BasicProgramsAreNeverErased) {
    // 12 + 64 × (1 + 1 + 0) bytes: N = 1, P = 1, M = 0.
    Bytes file(12 + 128, 0x10);
    file[8] = 1;
    file[9] = 0;
    file[10 + 128] = 0;
    file[11 + 128] = 0;
    for (const int fileType : {static_cast<int>(Basic), 7, -1}) {
        SCOPED_TRACE(fileType);
        ScriptedTerminal terminal;
        answerLikeATerminal(terminal);
        terminal.session.settings.fileType = fileType;
        terminal.setProgramFile(file);
        terminal.setCompanionFile(textBytes("[Settings]"));
        EXPECT_EQ(uploadProgram(terminal.session), ResultCode::Done);
        const std::vector<Bytes> frames = terminal.frames();
        ASSERT_EQ(frames.size(), 2u + 7u);
        EXPECT_EQ(frames[0], textBytes("TOLVEX\r"));
        EXPECT_EQ(frames[1], textBytes("000300\r"));
        EXPECT_EQ(frames[2].size(), 101u);  // checksum mode: the companion block and its sum
        EXPECT_EQ(frames.back(), textBytes("END\r"));
        for (const Bytes& frame : frames) {
            EXPECT_NE(frame, textBytes(":ERASE\r"));
        }
        EXPECT_EQ(terminal.session.checksumMode, 1);
        EXPECT_EQ(terminal.frontEnd.eraseShown, 0);
        EXPECT_EQ(terminal.frontEnd.progress, (std::vector<int>{52, 98}));
    }
}

TEST(UploadProgram, FailuresOfEachStep) {
    struct Case {
        const char* name;
        int fileType;
        std::vector<std::string> replies;
        bool progressFails;
        ResultCode expected;
        UploadEvent lastEvent;
    };
    const std::vector<Case> cases = {
        {"silent terminal",
         SRecord,
         {"", "", "", "", "", ""},
         false,
         ResultCode::TerminalNotReady,
         UploadEvent::HandshakeFailed},
        {"checksum request refused",
         Basic,
         {"FK\r", "NAK\r", "NAK\r", "NAK\r"},
         false,
         ResultCode::TerminalNotReady,
         UploadEvent::HandshakeFailed},
        {"BASIC mode never entered",
         Basic,
         {"NAK\r", "NAK\r", "NAK\r"},
         false,
         ResultCode::TerminalNotReady,
         UploadEvent::HandshakeFailed},
        {"erase fails",
         SRecord,
         {"FN\r", "FB\rFB\r"},
         false,
         ResultCode::CantEraseFlash,
         UploadEvent::EraseFailed},
        {"no progress window",
         BinaryImage,
         {"FN\r", "FA\r"},
         true,
         ResultCode::Failed,
         UploadEvent::EraseSucceeded},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "";
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        terminal.frontEnd.progressFails = test.progressFails;
        terminal.session.settings.fileType = test.fileType;
        terminal.setProgramFile(validProgram(test.fileType));
        terminal.setCompanionFile(textBytes("[Settings]"));
        EXPECT_EQ(uploadProgram(terminal.session), test.expected);
        EXPECT_EQ(terminal.frames().size(), test.replies.size());
        EXPECT_EQ(terminal.frontEnd.progressBegun, 0);
        EXPECT_EQ(terminal.frontEnd.progressEnded, 0);
        ASSERT_FALSE(terminal.frontEnd.events.empty());
        EXPECT_EQ(terminal.frontEnd.events.back(), test.lastEvent);
    }
}

TEST(UploadProgram, NetworkLinkSetsNoSerialTimeouts) {
    ScriptedTerminal terminal;
    terminal.useNetwork();
    terminal.platform.datagramPeer.responder = [](fakes::FakeDatagramPeer& peer,
                                                  std::span<const std::uint8_t> sent) {
        peer.deliver(sent.size() == 1 ? "FF\r" : "FA\r");
    };
    terminal.session.settings.fileType = SRecord;
    terminal.setProgramFile(kSRecordFile);
    EXPECT_EQ(uploadProgram(terminal.session), ResultCode::Done);
    EXPECT_EQ(terminal.platform.datagramPeer.sent.size(), 4u);
    EXPECT_TRUE(terminal.platform.serialLine.writeTimeouts.empty());
}

TEST(UploadProgram, TransferFailureClosesTheProgressWindow) {
    ScriptedTerminal terminal;
    terminal.script({"FN\r", "FA\r", "FF\r"});
    terminal.session.settings.fileType = SRecord;
    terminal.setProgramFile(kSRecordFile);
    EXPECT_EQ(uploadProgram(terminal.session), ResultCode::RecordUploadError);
    EXPECT_EQ(terminal.frontEnd.progressBegun, 1);
    EXPECT_EQ(terminal.frontEnd.progressEnded, 1);
}

}  // namespace
}  // namespace vorlanth::shell
