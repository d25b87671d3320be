// The network link: the address check before anything is sent, the open with what each
// failure leaves held, and a datagram the network refuses.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/udp_transport.h"
#include "tests/unit/link_test_support.h"

namespace vorlanth::link {
namespace {

using testing::LinkRig;
using Address = std::array<std::uint8_t, 4>;

// The address check, before anything is sent: dotted quads as written, host names through
// the resolver (a fake here, which knows "localhost" and a name that resolves to 0.0.0.0),
// everything else refused without asking the resolver. Nothing is ever sent by the check;
// the documentation and private addresses here are only checked, never contacted.
TEST(ResolveTargetAddress, AddressTable) {
    struct Case {
        std::string text;
        std::optional<Address> accepted;  // nothing: refused
        bool asksResolver;
    };
    const std::vector<Case> cases = {
        {"192.0.2.20", Address{192, 0, 2, 20}, false},
        {"127.0.0.1", Address{127, 0, 0, 1}, false},
        {"10.0.0.1", Address{10, 0, 0, 1}, false},
        {"255.255.255.254", Address{255, 255, 255, 254}, false},
        {"010.000.000.001", Address{10, 0, 0, 1}, false},
        {"localhost", Address{127, 0, 0, 1}, true},
        {"terminal-7.example", Address{192, 0, 2, 7}, true},
        {"127.0.0.257", std::nullopt, false},
        {"10.0.0.300", std::nullopt, false},
        {"255.255.255.256", std::nullopt, false},
        {"0", std::nullopt, false},
        {"7", std::nullopt, false},
        {"2130706433", std::nullopt, false},
        {"127.1", std::nullopt, false},
        {"1.2.3", std::nullopt, false},
        {"1.2.3.4.5", std::nullopt, false},
        {"0x7f.0.0.1", std::nullopt, false},
        {"0x7f000001", std::nullopt, false},
        {"1.2.3.1234", std::nullopt, false},
        {"127.0.0.1x", std::nullopt, false},
        {"1.2.3.4abc", std::nullopt, false},
        {"0.0.0.0", std::nullopt, false},
        {"255.255.255.255", std::nullopt, false},
        {"", std::nullopt, false},
        {" 10.0.0.1", std::nullopt, false},
        {"10.0.0.1 ", std::nullopt, false},
        {"10..0.1", std::nullopt, false},
        {"10.0.0.", std::nullopt, false},
        {".10.0.0.1", std::nullopt, false},
        {"10,0,0,1", std::nullopt, false},
        {"-bad.example", std::nullopt, false},
        {"bad_name.example", std::nullopt, false},
        {std::string(64, 'a') + ".example", std::nullopt, false},
        {"no.such.host", std::nullopt, true},
        {"10-0-0-1", std::nullopt, true},
        {"zero.example", std::nullopt, true},  // resolves to 0.0.0.0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        fakes::FakePlatform platform;
        platform.datagramPeer.hostNames = {{"localhost", {127, 0, 0, 1}},
                                           {"terminal-7.example", {192, 0, 2, 7}},
                                           {"zero.example", {0, 0, 0, 0}}};
        // A view cut out of a longer text: the check must stop at the view's end.
        const std::string padded = c.text + "9.9.9.9";
        const Result<Address> address = resolveTargetAddress(
            platform.socketLibrary, std::string_view(padded).substr(0, c.text.size()));
        ASSERT_EQ(address.ok(), c.accepted.has_value());
        EXPECT_EQ(platform.datagramPeer.resolvedNames.size(), c.asksResolver ? 1u : 0u);
        if (c.accepted) {
            EXPECT_EQ(address.value(), *c.accepted);
        } else {
            EXPECT_EQ(address.failure().kind, FailureKind::Address);
            EXPECT_EQ(address.failure().object, c.text);
            EXPECT_FALSE(address.failure().reason.empty());
        }
        EXPECT_TRUE(platform.datagramPeer.sent.empty());
        EXPECT_EQ(platform.datagramPeer.socketsOpen, 0);
    }
}

// A refused address fails the open with -150 before any socket exists: nothing can be sent.
TEST(OpenNetworkLink, RefusedAddressOpensNoSocket) {
    for (const char* text : {"127.0.0.257", "0", "no.such.host", "0.0.0.0"}) {
        SCOPED_TRACE(text);
        LinkRig rig(Network);
        rig.settings.targetAddress.assign(text);
        EXPECT_EQ(openLink(rig.link), ResultCode::InvalidIpAddress);
        EXPECT_EQ(rig.peer().socketsOpen, 0);
        EXPECT_EQ(rig.failure.kind, FailureKind::Address);
        EXPECT_EQ(link::exchange(rig.link, fakes::bytesOf("\r")), ResultCode::Failed);
        EXPECT_TRUE(rig.peer().sent.empty());
        closeLink(rig.link);
        EXPECT_EQ(rig.peer().startups, rig.peer().cleanups);
    }
}

// The socket is connected to the address and the chosen port without sending anything; every
// failure of the open says why.
TEST(OpenNetworkLink, ConnectsToTheAddressAndPortAndSaysWhyItCannot) {
    LinkRig rig(Network);
    rig.settings.targetAddress.assign("192.0.2.20");
    rig.settings.targetPort = 3000;
    EXPECT_EQ(openLink(rig.link), ResultCode::Done);
    EXPECT_EQ(rig.peer().connectedAddress, (Address{192, 0, 2, 20}));
    EXPECT_EQ(rig.peer().connectedPort, 3000);
    EXPECT_EQ(rig.peer().startups, 1);
    EXPECT_TRUE(rig.peer().sent.empty());
    closeLink(rig.link);

    rig.peer().connectFails = true;
    EXPECT_EQ(openLink(rig.link), ResultCode::CantConnect);
    EXPECT_EQ(rig.failure.reason, "cannot connect");
    closeLink(rig.link);
    rig.peer().startupFails = true;
    EXPECT_EQ(openLink(rig.link), ResultCode::SocketLibraryFailed);
    EXPECT_EQ(rig.failure.reason, "cannot start");
    EXPECT_EQ(rig.peer().startups, rig.peer().cleanups);
}

// A datagram the network refuses is no lost line: the exchange goes on to wait for the answer
// that cannot come, to its deadline, as for a datagram lost on the way.
TEST(Exchange, ARefusedDatagramIsLeftToTheAnswer) {
    LinkRig rig(Network);
    ASSERT_EQ(openLink(rig.link), ResultCode::Done);
    rig.peer().sendsFail = true;
    const std::uint32_t start = rig.clock().tickCount();
    EXPECT_EQ(link::exchange(rig.link, fakes::bytesOf("\r")), ResultCode::Done);
    EXPECT_EQ(rig.line.text(), "");
    EXPECT_EQ(rig.clock().tickCount() - start, 8001u);
    EXPECT_TRUE(rig.failure.empty());
}

}  // namespace
}  // namespace vorlanth::link
