// Sending one block of a binary image or BASIC program: its bytes and checksum on the wire, and
// how the terminal's replies decide the result.
#include "protocol/block.h"

#include <gtest/gtest.h>

#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::protocol {
namespace {

using testing::Bytes;
using testing::hexBytes;
using testing::ScriptedTerminal;

int place(ScriptedTerminal& terminal, const Bytes& block) {
    std::copy(block.begin(), block.end(), terminal.session.transmitBuffer.begin());
    return static_cast<int>(block.size());
}

TEST(SendBlock, ChecksumByteGolden) {
    struct Case {
        Bytes block;
        std::uint8_t checksum;
    };
    const std::vector<Case> cases = {
        {hexBytes("01 02 03"), 0xF9},
        {hexBytes("05 00"), 0xFA},
        {Bytes(100, 0x00), 0xFF},
        {Bytes(100, 0xFF), 0x63},
    };
    for (const Case& test : cases) {
        for (const int mode : {0, 1}) {
            ScriptedTerminal terminal;
            terminal.defaultReply = "ACK\r";
            link::Link link = terminal.link();
            EXPECT_EQ(
                sendBlock(link, terminal.session.transmitBuffer, place(terminal, test.block), mode),
                ResultCode::Done);
            Bytes expected = test.block;
            if (mode == 1) {
                expected.push_back(test.checksum);
            }
            EXPECT_EQ(terminal.frames(), std::vector<Bytes>{expected});
        }
    }
}

TEST(SendBlock, RepliesDecideResultAndSends) {
    struct Case {
        const char* name;
        int mode;
        std::vector<std::string> replies;
        ResultCode expected;
        std::size_t sends;
    };
    const std::vector<Case> cases = {
        {"plain ACK", 0, {"ACK\r"}, ResultCode::Done, 1},
        {"plain NAK is final", 0, {"NAK\r", "ACK\r"}, ResultCode::BlockUploadError, 1},
        {"plain ACK1 is no ACK", 0, {"ACK1\r"}, ResultCode::BlockUploadError, 1},
        {"checksum: five refusals then ACK",
         1,
         {"NAK\r", "", "ack\r", "ACK1\r", "ACK \r", "ACK\r"},
         ResultCode::Done,
         6},
        {"checksum: six refusals",
         1,
         {"NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r"},
         ResultCode::BlockUploadError,
         6},
        {"checksum mode above 1", 2, {"NAK\r", "ACK\r"}, ResultCode::Done, 2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "ACK\r";
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        link::Link link = terminal.link();
        EXPECT_EQ(sendBlock(link, terminal.session.transmitBuffer,
                            place(terminal, hexBytes("01 02 03")), test.mode),
                  test.expected);
        const std::vector<Bytes> frames = terminal.frames();
        EXPECT_EQ(frames.size(), test.sends);
        for (const Bytes& frame : frames) {
            EXPECT_EQ(frame, test.mode > 0 ? hexBytes("01 02 03 F9") : hexBytes("01 02 03"));
        }
    }
}

TEST(SendBlock, ChecksumReplacesOnlyTheByteAfterTheBlock) {
    ScriptedTerminal terminal;
    terminal.defaultReply = "ACK\r";
    TransmitBuffer& buffer = terminal.session.transmitBuffer;
    buffer.fill(0x5A);
    link::Link link = terminal.link();
    EXPECT_EQ(sendBlock(link, buffer, place(terminal, hexBytes("05 00")), 1), ResultCode::Done);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), hexBytes("05 00 FA 5A"));
}

TEST(SendBlock, FailedReceiveEndsWithoutResend) {
    for (const int mode : {0, 1}) {
        ScriptedTerminal terminal;
        terminal.useNetwork();
        terminal.platform.datagramPeer.receivesFail = true;
        link::Link link = terminal.link();
        EXPECT_EQ(
            sendBlock(link, terminal.session.transmitBuffer, place(terminal, hexBytes("01")), mode),
            ResultCode::BlockUploadError);
        EXPECT_EQ(terminal.platform.datagramPeer.sent.size(), 1u);
    }
}

}  // namespace
}  // namespace vorlanth::protocol
