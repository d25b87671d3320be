// The link through its transport, on both kinds of line: reading an answer line under its
// deadline, exchanging, opening and closing, and what each failure leaves held and says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/link_test_support.h"

namespace vorlanth::link {
namespace {

using testing::LinkRig;

struct Arrival {
    std::string bytes;  // serial: a run of bytes; network: one datagram
    std::uint32_t delayMs;
};

struct ReadCase {
    const char* name;
    int linkType;
    std::vector<Arrival> arrivals;
    std::int32_t seconds;
    ResultCode result;
    std::string text;
    std::uint32_t elapsedMs;  // from the call to its return
};

// The line, the result and the exact moment the read ends, on both kinds of link.
TEST(ReadResponseLine, EndsAtCrOrAtTheFirstTickPastTheDeadline) {
    const std::string fifteen = "ABCDEFGHIJKLMNO";
    const std::vector<ReadCase> cases = {
        {"answer", Serial, {{"FA\r", 30}}, 8, ResultCode::Done, "FA", 30},
        {"lone CR", Serial, {{"\r", 5}}, 8, ResultCode::Done, "", 5},
        {"silence", Serial, {}, 8, ResultCode::Done, "", 8001},
        {"no CR", Serial, {{"AC", 10}}, 8, ResultCode::Done, "AC", 8001},
        {"CR on the deadline tick", Serial, {{"FA\r", 8000}}, 8, ResultCode::Done, "FA", 8000},
        {"CR after the deadline", Serial, {{"FA\r", 8002}}, 8, ResultCode::Done, "", 8001},
        {"15 characters", Serial, {{fifteen + "\r", 0}}, 8, ResultCode::Done, fifteen, 0},
        {"longer line", Serial, {{fifteen + "PQRST\r", 0}}, 8, ResultCode::Done, fifteen, 0},
        {"zero seconds, silence", Serial, {}, 0, ResultCode::Done, "", 1},
        {"zero seconds, byte there", Serial, {{"F", 0}}, 0, ResultCode::Done, "F", 1},
        {"one datagram", Network, {{"FA\r", 40}}, 8, ResultCode::Done, "FA", 40},
        {"split datagrams", Network, {{"F", 1}, {"A", 2}, {"\r", 3}}, 8, ResultCode::Done, "FA", 3},
        {"CR not last", Network, {{"A\rB", 1}, {"\r", 2}}, 8, ResultCode::Done, "A\rB", 2},
        {"oversize datagram", Network, {{"FAAA", 7}}, 8, ResultCode::Failed, "", 7},
        {"network silence", Network, {}, 8, ResultCode::Done, "", 8001},
        {"network no CR", Network, {{"AC", 10}}, 2, ResultCode::Done, "AC", 2001},
        {"longer network line",
         Network,
         {{"ABC", 0}, {"DEF", 0}, {"GHI", 0}, {"JKL", 0}, {"MNO", 0}, {"PQR", 0}, {"S\r", 0}},
         8,
         ResultCode::Done,
         fifteen,
         0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig(c.linkType);
        ASSERT_EQ(openLink(rig.link), ResultCode::Done);
        for (const Arrival& arrival : c.arrivals) {
            if (c.linkType == Network) {
                rig.peer().deliver(arrival.bytes, arrival.delayMs);
            } else {
                rig.serial().deliver(arrival.bytes, arrival.delayMs);
            }
        }
        rig.line.bytes.fill('x');  // every read starts from a cleared line
        const std::uint32_t start = rig.clock().tickCount();
        EXPECT_EQ(readResponseLine(rig.link, c.seconds), c.result);
        EXPECT_EQ(rig.line.text(), c.text);
        EXPECT_EQ(rig.line.bytes[ResponseLine::kCapacity], '\0');
        EXPECT_EQ(rig.clock().tickCount() - start, c.elapsedMs);
        EXPECT_TRUE(rig.clock().sleeps.empty()) << "waits happen in the port, not in sleeps";
    }
}

// Bytes after a CR stay queued and begin the next line.
TEST(ReadResponseLine, SerialBytesAfterCrBeginTheNextLine) {
    LinkRig rig;
    ASSERT_EQ(openLink(rig.link), ResultCode::Done);
    rig.serial().deliver("FA\rFN\rAC");
    ASSERT_EQ(readResponseLine(rig.link, 8), ResultCode::Done);
    EXPECT_EQ(rig.line.text(), "FA");
    ASSERT_EQ(readResponseLine(rig.link, 2), ResultCode::Done);
    EXPECT_EQ(rig.line.text(), "FN");
    const std::uint32_t start = rig.clock().tickCount();
    ASSERT_EQ(readResponseLine(rig.link, 2), ResultCode::Done);
    EXPECT_EQ(rig.line.text(), "AC");
    EXPECT_EQ(rig.clock().tickCount() - start, 2001u);
}

// A lost line (a read or a write that fails), a link that is not open and a stop request each
// end the exchange at once with 0, without waiting for the deadline; the lost line says why.
TEST(Exchange, EndsAtOnceOnALostLineOrAStop) {
    struct Case {
        const char* name;
        bool readsFail;
        bool writesFail;
        bool portOpen;
        int stopSignal;
        const char* reason;  // of the failure told to the link's user; "" for none
        std::size_t writes;
    };
    const std::vector<Case> cases = {
        {"read fails", true, false, true, 0, "the line was lost", 1},
        {"write fails", false, true, true, 0, "the line was lost", 0},
        {"no port", false, false, false, 0, "the link is not open", 0},
        {"stop requested", false, false, true, 2, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig;
        if (c.portOpen) {
            ASSERT_EQ(openLink(rig.link), ResultCode::Done);
        }
        rig.serial().readsFail = c.readsFail;
        rig.serial().writesFail = c.writesFail;
        rig.platform.stopSignal = c.stopSignal;
        rig.serial().deliver("FA\r", 100);
        const std::uint32_t start = rig.clock().tickCount();
        EXPECT_EQ(link::exchange(rig.link, fakes::bytesOf("\r")), ResultCode::Failed);
        EXPECT_EQ(rig.clock().tickCount(), start);
        EXPECT_TRUE(rig.clock().sleeps.empty());
        EXPECT_EQ(rig.line.text(), "");
        EXPECT_EQ(rig.failure.reason, c.reason);
        EXPECT_EQ(rig.serial().writes.size(), c.writes);
    }
}

// A stop request during a wait ends it at the next look: the far end plays a SIGTERM that
// arrives while the terminal is silent, and the 8-second wait ends right there.
TEST(ReadResponseLine, AStopDuringTheWaitEndsIt) {
    for (int linkType : {Serial, Network}) {
        SCOPED_TRACE(linkType);
        LinkRig rig(linkType);
        rig.settings.targetAddress.assign("127.0.0.1");
        if (linkType == Network) {
            ASSERT_EQ(openLink(rig.link), ResultCode::Done);
            rig.peer().responder = [&](fakes::FakeDatagramPeer& peer, auto) {
                peer.deliver("F", 10);
                rig.platform.stopSignal = 15;
            };
        } else {
            ASSERT_EQ(openLink(rig.link), ResultCode::Done);
            rig.serial().responder = [&](fakes::FakeSerialLine& line, auto) {
                line.deliver("F", 10);
                rig.platform.stopSignal = 15;
            };
        }
        const std::uint32_t start = rig.clock().tickCount();
        EXPECT_EQ(link::exchange(rig.link, fakes::bytesOf("\r")), ResultCode::Failed);
        EXPECT_LT(rig.clock().tickCount() - start, 1000u);
    }
}

// A network receive error ends the read at once with 0, keeping what came before it.
TEST(ReadResponseLine, NetworkReceiveErrorReturnsZeroAtOnce) {
    LinkRig rig(Network);
    ASSERT_EQ(openLink(rig.link), ResultCode::Done);
    rig.peer().deliver("F", 3);
    rig.peer().deliver("TOOLONG", 5);
    EXPECT_EQ(readResponseLine(rig.link, 8), ResultCode::Failed);
    EXPECT_EQ(rig.line.text(), "F");
    EXPECT_EQ(rig.clock().tickCount(), 1005u);
}

// exchange drops input that arrived before the send, so a late answer to an earlier command
// is never taken for the answer to this one; the send and every received chunk are traced.
TEST(Exchange, DiscardsStaleInputThenSendsAndReadsTheAnswer) {
    for (int linkType : {Serial, Network}) {
        SCOPED_TRACE(linkType);
        LinkRig rig(linkType);
        const std::string command = ":ERASE\r";
        if (linkType == Network) {
            ASSERT_EQ(openLink(rig.link), ResultCode::Done);
            rig.peer().deliver("FF\r");
            rig.peer().responder = [](fakes::FakeDatagramPeer& peer, auto) {
                peer.deliver("FA\r", 25);
            };
        } else {
            ASSERT_EQ(openLink(rig.link), ResultCode::Done);
            rig.serial().deliver("FF\r");
            rig.serial().responder = [](fakes::FakeSerialLine& line, auto) {
                line.deliver("FA\r", 25);
            };
        }
        const std::uint32_t start = rig.clock().tickCount();
        EXPECT_EQ(link::exchange(rig.link, fakes::bytesOf(command)), ResultCode::Done);
        EXPECT_EQ(rig.line.text(), "FA");
        EXPECT_EQ(rig.clock().tickCount() - start, 25u);

        ASSERT_FALSE(rig.trace.chunks.empty());
        EXPECT_EQ(rig.trace.chunks.front().direction, WireDirection::Sent);
        EXPECT_EQ(rig.trace.chunks.front().bytes, fakes::bytesOf(command));
        EXPECT_EQ(rig.trace.chunks.front().tick, start);
        fakes::Bytes received;
        for (std::size_t i = 1; i < rig.trace.chunks.size(); ++i) {
            EXPECT_EQ(rig.trace.chunks[i].direction, WireDirection::Received);
            EXPECT_EQ(rig.trace.chunks[i].tick, start + 25);
            received.insert(received.end(), rig.trace.chunks[i].bytes.begin(),
                            rig.trace.chunks[i].bytes.end());
        }
        EXPECT_EQ(received, fakes::bytesOf("FA\r"));
    }
}

// The Serial open: the COM number, and the line at the chosen rate built from scratch (the
// device's own settings cleared), applied once; nothing is written.
TEST(OpenLink, SerialOpensTheNumberedPortWithTheChosenLine) {
    LinkRig rig;
    rig.settings.comPort = 12;
    rig.settings.baudIndex = 3;
    ASSERT_EQ(openLink(rig.link), ResultCode::Done);
    EXPECT_EQ(rig.platform.openedComPorts, std::vector<int>{12});
    platform::SerialLine expected;
    expected.rate = 19200;
    expected.dataBits = 8;
    expected.parity = platform::Parity::None;
    expected.stopBits = platform::StopBits::One;
    expected.flowControl = platform::FlowControl::None;
    expected.dtr = true;
    expected.rts = true;
    expected.otherSettings = platform::OtherSettings::Cleared;
    EXPECT_EQ(rig.serial().appliedLines, std::vector<platform::SerialLine>{expected});
    EXPECT_TRUE(rig.serial().writes.empty());
    EXPECT_TRUE(rig.warnings.said.empty());
}

// A line the device refuses does not stop the open (the link works on the line it has), but
// it is said, once, as a warning with why; the upload's write deadline is set all the same.
TEST(OpenLink, ARefusedLineIsSaidAndTheOpenGoesOn) {
    for (const int linkType : {Serial, CradleIr}) {
        SCOPED_TRACE(linkType);
        LinkRig rig(linkType);
        rig.serial().refuseLines = objectFailure("COM1", "refused the line settings");
        // A cradle that answers whatever the line: the device keeps the line it had.
        rig.serial().responder = [](fakes::FakeSerialLine& line,
                                    std::span<const std::uint8_t> sent) {
            if (sent[0] == 0x0F) {
                line.deliver(sent);
            }
        };
        EXPECT_EQ(openLink(rig.link), ResultCode::Done);
        ASSERT_EQ(rig.warnings.said.size(), 1u);
        EXPECT_EQ(rig.warnings.said[0].first, "line settings not applied");
        EXPECT_EQ(rig.warnings.said[0].second.reason, "refused the line settings");
        EXPECT_TRUE(rig.failure.empty());
        prepareUpload(rig.link);
        EXPECT_EQ(rig.serial().writeTimeouts.back(), (platform::WriteTimeout{5, 50}));
        EXPECT_EQ(rig.warnings.said.size(), 1u);
    }
}

// Open failures and what each leaves held; closeLink releases exactly what is held.
TEST(OpenLink, FailuresAndTheMatchingClose) {
    {
        SCOPED_TRACE("absent or held port");
        LinkRig rig;
        rig.serial().openFails = true;
        EXPECT_EQ(openLink(rig.link), ResultCode::CantOpenComPort);
        EXPECT_FALSE(rig.serial().isOpen);
        EXPECT_EQ(rig.failure.reason, "cannot open");
        rig.serial().openFails = false;
        auto holder = rig.platform.openSerialPort(1);
        EXPECT_EQ(openLink(rig.link), ResultCode::CantOpenComPort);
    }
    {
        SCOPED_TRACE("silent cradle keeps the port open until closeLink");
        LinkRig rig(CradleIr);
        EXPECT_EQ(openLink(rig.link), ResultCode::CantConfigureIrDevice);
        EXPECT_TRUE(rig.serial().isOpen);
        EXPECT_EQ(rig.serial().purgeCount, 0);
        closeLink(rig.link);
        EXPECT_FALSE(rig.serial().isOpen);
        EXPECT_EQ(rig.serial().purgeCount, 1);
        EXPECT_EQ(rig.serial().closeCount, 1);
    }
    {
        SCOPED_TRACE("serial close with nothing open");
        LinkRig rig;
        closeLink(rig.link);
        EXPECT_EQ(rig.serial().closeCount, 0);
        EXPECT_EQ(rig.peer().cleanups, 0);
    }
    struct NetworkCase {
        const char* name;
        bool startupFails, createFails, connectFails;
        ResultCode code;
        int socketsOpen, cleanupsAfterClose;
    };
    const std::vector<NetworkCase> cases = {
        {"connected", false, false, false, ResultCode::Done, 1, 1},
        {"library refused", true, false, false, ResultCode::SocketLibraryFailed, 0, 0},
        {"no socket", false, true, false, ResultCode::CantCreateSocket, 0, 1},
        {"connect refused", false, false, true, ResultCode::CantConnect, 1, 1},
    };
    for (const NetworkCase& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig(Network);
        rig.peer().startupFails = c.startupFails;
        rig.peer().createFails = c.createFails;
        rig.peer().connectFails = c.connectFails;
        EXPECT_EQ(openLink(rig.link), c.code);
        EXPECT_EQ(rig.peer().socketsOpen, c.socketsOpen);
        closeLink(rig.link);
        EXPECT_EQ(rig.peer().socketsOpen, 0);
        EXPECT_EQ(rig.peer().cleanups, c.cleanupsAfterClose);
        closeLink(rig.link);
        EXPECT_EQ(rig.peer().cleanups, c.cleanupsAfterClose) << "one release per start-up";
    }
}

// A hand-edited link type above 2 is a network link for every operation, not only the open.
TEST(OpenLink, LinkTypeAboveNetworkIsNetworkThroughout) {
    LinkRig rig(7);
    ASSERT_EQ(openLink(rig.link), ResultCode::Done);
    rig.peer().responder = [](fakes::FakeDatagramPeer& peer, auto) { peer.deliver("FA\r", 1); };
    EXPECT_EQ(link::exchange(rig.link, fakes::bytesOf("\r")), ResultCode::Done);
    EXPECT_EQ(rig.line.text(), "FA");
    EXPECT_EQ(rig.peer().sent.size(), 1u);
}

}  // namespace
}  // namespace vorlanth::link
