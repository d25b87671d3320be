// Sending one S-record: its frame on the wire, the empty and end records, and how the terminal's
// answers decide the result.
#include "protocol/record.h"

#include <gtest/gtest.h>

#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::protocol {
namespace {

using testing::Bytes;
using testing::hexBytes;
using testing::ScriptedTerminal;

// Assembles a data record for address with data in the terminal's buffer; returns its length.
int assemble(ScriptedTerminal& terminal, std::uint32_t address, const Bytes& data) {
    TransmitBuffer& buffer = terminal.session.transmitBuffer;
    std::size_t length = openDataRecord(buffer, address);
    for (std::uint8_t byte : data) {
        buffer[length++] = byte;
    }
    return static_cast<int>(length);
}

TEST(SendRecord, FramesGolden) {
    struct Case {
        std::uint32_t address;
        Bytes data;
        Bytes frame;
    };
    const std::vector<Case> cases = {
        {0x1000, hexBytes("01 02 03"), hexBytes("53 33 08 00 00 10 00 01 02 03 E1 0D")},
        {0x0, {}, hexBytes("53 33 05 00 00 00 00 FA 0D")},
        {0x8000, hexBytes("01 02 03"), hexBytes("53 33 08 00 00 80 00 01 02 03 71 0D")},
        {0x12345678, hexBytes("FF"), hexBytes("53 33 06 12 34 56 78 FF E6 0D")},
    };
    for (const Case& test : cases) {
        ScriptedTerminal terminal;
        link::Link link = terminal.link();
        EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer,
                             assemble(terminal, test.address, test.data)),
                  ResultCode::Done);
        EXPECT_EQ(terminal.frames(), std::vector<Bytes>{test.frame});
    }
}

TEST(SendRecord, EmptyRecordDiffersFromEndRecordOnlyInType) {
    ScriptedTerminal terminal;
    link::Link link = terminal.link();
    ASSERT_EQ(sendRecord(link, terminal.session.transmitBuffer, assemble(terminal, 0, {})),
              ResultCode::Done);
    Bytes frame = terminal.frames().at(0);
    frame[1] = '7';
    EXPECT_EQ(frame, Bytes(kEndRecord.begin(), kEndRecord.end()));
}

TEST(SendRecord, AnswersDecideResultAndSends) {
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        ResultCode expected;
        std::size_t sends;
    };
    const std::vector<Case> cases = {
        {"FA", {"FA\r"}, ResultCode::Done, 1},
        {"FN three times", {"FN\r", "FN\r", "FN\r"}, ResultCode::RecordUploadError, 3},
        {"FN then FA", {"FN\r", "FA\r"}, ResultCode::Done, 2},
        {"ACK then FA in a further line", {"ACK\rFA\r"}, ResultCode::Done, 1},
        {"FN then FF", {"FN\r", "FF\r"}, ResultCode::RecordUploadError, 2},
        {"FF", {"FF\r"}, ResultCode::RecordUploadError, 1},
        {"no verdict in case or blanks", {"fa\rFA \r FA\r", "Fa\r", "FA\r"}, ResultCode::Done, 3},
        {"fourth line is not looked at", {"X\rX\rX\rFA\r", "FA\r"}, ResultCode::Done, 2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "";
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        link::Link link = terminal.link();
        const int length = assemble(terminal, 0x1000, hexBytes("01 02 03"));
        EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer, length), test.expected);
        const std::vector<Bytes> frames = terminal.frames();
        EXPECT_EQ(frames.size(), test.sends);
        for (const Bytes& frame : frames) {
            EXPECT_EQ(frame, hexBytes("53 33 08 00 00 10 00 01 02 03 E1 0D"));
        }
    }
}

TEST(SendRecord, SilentTerminalGetsThreeIdenticalFramesFourteenSecondsApart) {
    ScriptedTerminal terminal;
    terminal.defaultReply = "";
    link::Link link = terminal.link();
    const std::uint32_t start = terminal.now();
    EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer,
                         assemble(terminal, 0x1000, hexBytes("01 02 03"))),
              ResultCode::RecordUploadError);
    const std::vector<std::uint32_t> ticks = terminal.frameTicks();
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[0], start);
    // One 8-second and three 2-second deadlines per send, each ending on the tick past it.
    EXPECT_NEAR(static_cast<double>(ticks[1] - ticks[0]), 14000.0, 4.0);
    EXPECT_NEAR(static_cast<double>(ticks[2] - ticks[1]), 14000.0, 4.0);
    EXPECT_NEAR(static_cast<double>(terminal.now() - start), 42000.0, 12.0);
    EXPECT_EQ(terminal.frames()[0], terminal.frames()[2]);
}

TEST(SendRecord, FailedReceiveEndsWithoutAnotherSend) {
    for (const bool duringFurtherRead : {false, true}) {
        ScriptedTerminal terminal;
        terminal.useNetwork();
        fakes::FakeDatagramPeer& peer = terminal.platform.datagramPeer;
        peer.responder = [duringFurtherRead](fakes::FakeDatagramPeer& far,
                                             std::span<const std::uint8_t>) {
            if (duringFurtherRead) {
                far.deliver("OK\r");
                far.deliver("FAIL");  // longer than a receive takes: the receive fails
            } else {
                far.receivesFail = true;
            }
        };
        link::Link link = terminal.link();
        EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer,
                             assemble(terminal, 0x1000, hexBytes("01"))),
                  ResultCode::RecordUploadError);
        EXPECT_EQ(peer.sent.size(), 1u);
    }
}

TEST(SendRecord, RefusesLengthsOutsideTheBuffer) {
    ScriptedTerminal terminal;
    link::Link link = terminal.link();
    EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer, 6), ResultCode::RecordUploadError);
    EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer, 257),
              ResultCode::RecordUploadError);
    EXPECT_TRUE(terminal.frames().empty());
    EXPECT_EQ(sendRecord(link, terminal.session.transmitBuffer, 256), ResultCode::Done);
    EXPECT_EQ(terminal.frames().at(0).size(), 258u);
}

}  // namespace
}  // namespace vorlanth::protocol
