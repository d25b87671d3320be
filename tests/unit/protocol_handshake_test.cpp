// The handshakes and the erase: every reply path, the deadlines a silent terminal costs, and the
// BASIC checksum mode.
#include "protocol/handshake.h"

#include <gtest/gtest.h>

#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::protocol {
namespace {

using testing::Bytes;
using testing::ScriptedTerminal;
using testing::textBytes;

std::vector<Bytes> framesOf(std::initializer_list<std::string_view> texts) {
    std::vector<Bytes> frames;
    for (std::string_view text : texts) {
        frames.push_back(textBytes(text));
    }
    return frames;
}

struct HandshakeCase {
    const char* name;
    std::vector<std::string> replies;
    ResultCode expected;
    std::vector<Bytes> frames;
};

TEST(EnterDownloadMode, EachReplyPath) {
    const std::vector<HandshakeCase> cases = {
        {"FN to CR", {"FN\r"}, ResultCode::Done, framesOf({"\r"})},
        {"FF to CR", {"FF\r"}, ResultCode::Done, framesOf({"\r"})},
        {"FN to MERIDOX", {"", "FN\r"}, ResultCode::Done, framesOf({"\r", "MERIDOX\r"})},
        {"ACK1 then ACK2",
         {"", "ACK1\r", "ACK2\r"},
         ResultCode::Done,
         framesOf({"\r", "MERIDOX\r", "DOWNLOAD\r"})},
        {"ACK1 then FN",
         {"", "ACK1\r", "FN\r"},
         ResultCode::Done,
         framesOf({"\r", "MERIDOX\r", "DOWNLOAD\r"})},
        {"FF to MERIDOX is no match",
         {"", "FF\r", "FN\r"},
         ResultCode::Done,
         framesOf({"\r", "MERIDOX\r", "\r"})},
        {"FF to DOWNLOAD is no match",
         {"", "ACK1\r", "FF\r", "FF\r"},
         ResultCode::Done,
         framesOf({"\r", "MERIDOX\r", "DOWNLOAD\r", "\r"})},
        {"whole and case-sensitive words",
         {"fn\r", "ACK1\r", "ack2\r", "FN \r", "ACK\r", "FNX\r", "ack1\r"},
         ResultCode::Failed,
         framesOf({"\r", "MERIDOX\r", "DOWNLOAD\r", "\r", "MERIDOX\r", "\r", "MERIDOX\r"})},
        {"three cycles of ACK1 and a wrong answer",
         {"", "ACK1\r", "NAK\r", "", "ACK1\r", "NAK\r", "", "ACK1\r", "NAK\r"},
         ResultCode::Failed,
         framesOf({"\r", "MERIDOX\r", "DOWNLOAD\r", "\r", "MERIDOX\r", "DOWNLOAD\r", "\r",
                   "MERIDOX\r", "DOWNLOAD\r"})},
    };
    for (const HandshakeCase& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "";
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        link::Link link = terminal.link();
        EXPECT_EQ(enterDownloadMode(link), test.expected);
        EXPECT_EQ(terminal.frames(), test.frames);
    }
}

TEST(EnterDownloadMode, SilentTerminalCostsSixDeadlines) {
    ScriptedTerminal terminal;
    terminal.defaultReply = "";
    link::Link link = terminal.link();
    const std::uint32_t start = terminal.now();
    EXPECT_EQ(enterDownloadMode(link), ResultCode::Failed);
    EXPECT_EQ(terminal.frames(),
              framesOf({"\r", "MERIDOX\r", "\r", "MERIDOX\r", "\r", "MERIDOX\r"}));
    // Each deadline ends on the first tick past it.
    EXPECT_NEAR(static_cast<double>(terminal.now() - start), 48000.0, 6.0);
}

TEST(EnterDownloadMode, FailedReceiveEndsAtOnce) {
    ScriptedTerminal terminal;
    terminal.useNetwork();
    terminal.platform.datagramPeer.receivesFail = true;
    link::Link link = terminal.link();
    EXPECT_EQ(enterDownloadMode(link), ResultCode::Failed);
    EXPECT_EQ(terminal.platform.datagramPeer.sent.size(), 1u);
}

struct BasicCase {
    const char* name;
    std::vector<std::string> replies;
    ResultCode expected;
    int checksumMode;
    std::vector<Bytes> frames;
};

TEST(EnterBasicDownloadMode, EachReplyPath) {
    const std::vector<BasicCase> cases = {
        {"ACK: plain blocks", {"ACK\r"}, ResultCode::Done, 0, framesOf({"TOLVEX\r"})},
        {"FK then silence: accepted",
         {"FK\r", ""},
         ResultCode::Done,
         1,
         framesOf({"TOLVEX\r", "000300\r"})},
        {"FK then NAK, NAK, OK",
         {"FK\r", "NAK\r", "NAK\r", "OK\r"},
         ResultCode::Done,
         1,
         framesOf({"TOLVEX\r", "000300\r", "000300\r", "000300\r"})},
        {"FK then three NAK",
         {"FK\r", "NAK\r", "NAK\r", "NAK\r"},
         ResultCode::CommunicationError,
         1,
         framesOf({"TOLVEX\r", "000300\r", "000300\r", "000300\r"})},
        {"other words, then ACK",
         {"ack\r", "ACK1\r", "ACK\r"},
         ResultCode::Done,
         0,
         framesOf({"TOLVEX\r", "TOLVEX\r", "TOLVEX\r"})},
        {"never ACK nor FK",
         {"ACK \r", "NAK\r", ""},
         ResultCode::Failed,
         7,
         framesOf({"TOLVEX\r", "TOLVEX\r", "TOLVEX\r"})},
    };
    for (const BasicCase& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "";
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        terminal.session.checksumMode = 7;  // left by an earlier pass
        link::Link link = terminal.link();
        EXPECT_EQ(enterBasicDownloadMode(link, terminal.session.checksumMode), test.expected);
        EXPECT_EQ(terminal.session.checksumMode, test.checksumMode);
        EXPECT_EQ(terminal.frames(), test.frames);
    }
}

TEST(EnterBasicDownloadMode, FailedReceiveDuringNegotiationIsCommunicationError) {
    ScriptedTerminal terminal;
    terminal.useNetwork();
    terminal.script({"FK\r"});
    terminal.platform.datagramPeer.responder = [&](fakes::FakeDatagramPeer& peer,
                                                   std::span<const std::uint8_t>) {
        if (peer.sent.size() == 1) {
            peer.deliver("FK\r");
        } else {
            peer.receivesFail = true;
        }
    };
    link::Link link = terminal.link();
    EXPECT_EQ(enterBasicDownloadMode(link, terminal.session.checksumMode),
              ResultCode::CommunicationError);
    EXPECT_EQ(terminal.platform.datagramPeer.sent.size(), 2u);
}

struct EraseCase {
    const char* name;
    std::vector<std::string> replies;
    ResultCode expected;
    std::size_t erases;
    int windows;
};

TEST(EraseFlash, EachReplyPath) {
    const std::vector<EraseCase> cases = {
        {"FA at once", {"FA\r"}, ResultCode::Done, 1, 0},
        {"FB then FA", {"FB\rFA\r"}, ResultCode::Done, 1, 1},
        {"FB then FB", {"FB\rFB\r"}, ResultCode::CantEraseFlash, 1, 1},
        {"FB then fa", {"FB\rfa\r"}, ResultCode::CantEraseFlash, 1, 1},
        {"FN three times", {"FN\r", "FN\r", "FN\r"}, ResultCode::CantEraseFlash, 3, 0},
        {"silence", {}, ResultCode::CantEraseFlash, 3, 0},
        {"silence, then FA", {"", "", "FA\r"}, ResultCode::Done, 3, 0},
    };
    for (const EraseCase& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "";
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        link::Link link = terminal.link();
        EXPECT_EQ(eraseFlash(link, terminal.frontEnd), test.expected);
        EXPECT_EQ(terminal.frames(), std::vector<Bytes>(test.erases, textBytes(":ERASE\r")));
        EXPECT_EQ(terminal.frontEnd.eraseShown, test.windows);
        EXPECT_EQ(terminal.frontEnd.eraseEnded, test.windows);
    }
}

// Records when the erase window opens and closes on the virtual clock.
struct TimedFrontEnd final : fakes::RecordingFrontEnd {
    explicit TimedFrontEnd(platform::Clock& clockRef) : clock(clockRef) {}
    bool showErase() override {
        openedAt = clock.tickCount();
        return RecordingFrontEnd::showErase();
    }
    void endErase() override {
        closedAt = clock.tickCount();
        RecordingFrontEnd::endErase();
    }
    platform::Clock& clock;
    std::uint32_t openedAt = 0;
    std::uint32_t closedAt = 0;
};

TEST(EraseFlash, FbThenSilenceKeepsTheWindowUpForThirtyFiveSeconds) {
    ScriptedTerminal terminal;
    terminal.defaultReply = "";
    terminal.script({"FB\r"});
    TimedFrontEnd frontEnd(terminal.platform.clock());
    link::Link link = terminal.link();
    EXPECT_EQ(eraseFlash(link, frontEnd), ResultCode::CantEraseFlash);
    EXPECT_EQ(frontEnd.eraseShown, 1);
    EXPECT_EQ(frontEnd.eraseEnded, 1);
    EXPECT_EQ(terminal.frames().size(), 1u);
    // The wait ends on the first tick past its 35-second deadline.
    EXPECT_NEAR(static_cast<double>(frontEnd.closedAt - frontEnd.openedAt), 35000.0, 1.0);
}

TEST(EraseFlash, FaArrivingLateInTheWaitSucceeds) {
    ScriptedTerminal terminal;
    terminal.platform.serialLine.responder = [](fakes::FakeSerialLine& line,
                                                std::span<const std::uint8_t>) {
        line.deliver("FB\r");
        line.deliver("FA\r", 34000);
    };
    link::Link link = terminal.link();
    const std::uint32_t start = terminal.now();
    EXPECT_EQ(eraseFlash(link, terminal.frontEnd), ResultCode::Done);
    EXPECT_EQ(terminal.now() - start, 34000u);
    EXPECT_EQ(terminal.frontEnd.eraseEnded, 1);
}

TEST(EraseFlash, WaitRunsWhenTheWindowCannotBeCreated) {
    ScriptedTerminal terminal;
    terminal.frontEnd.eraseFails = true;
    terminal.platform.serialLine.responder = [](fakes::FakeSerialLine& line,
                                                std::span<const std::uint8_t>) {
        line.deliver("FB\r");
        line.deliver("FA\r", 5000);
    };
    link::Link link = terminal.link();
    EXPECT_EQ(eraseFlash(link, terminal.frontEnd), ResultCode::Done);
    EXPECT_EQ(terminal.frontEnd.eraseEnded, 0);
}

}  // namespace
}  // namespace vorlanth::protocol
