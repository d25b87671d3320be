#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/link_test_support.h"

namespace vorlanth::link {
namespace {

using testing::LinkRig;
using Address = std::array<std::uint8_t, 4>;

// Runs of digits ended by any one character, low 8 bits of each, missing numbers 0.
TEST(ParseIpv4Address, AddressTable) {
    const std::vector<std::pair<std::string, Address>> cases = {
        {"192.0.2.20", {192, 0, 2, 20}},
        {"10.0.0.300", {10, 0, 0, 44}},
        {"10-0-0-1", {10, 0, 0, 1}},
        {"10..0.1", {10, 0, 0, 1}},
        {" 10.0.0.1", {0, 10, 0, 0}},
        {"1.2.3.4.5", {1, 2, 3, 4}},
        {"1.2.3.4abc", {1, 2, 3, 4}},
        {"99999999999999999999.1.2.3", {255, 1, 2, 3}},
        {"", {0, 0, 0, 0}},
        {"7", {7, 0, 0, 0}},
        {"1.2.", {1, 2, 0, 0}},
        {"255.255.255.256", {255, 255, 255, 0}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        // A view cut out of a longer text: parsing must stop at the view's end.
        const std::string padded = text + "9.9.9.9";
        EXPECT_EQ(parseIpv4Address(std::string_view(padded).substr(0, text.size())), expected);
    }
}

// The socket is connected to the parsed address and the chosen port; messages are shown only
// when asked for.
TEST(OpenNetworkLink, ConnectsAndReportsFailuresOnlyWhenAsked) {
    LinkRig rig(Network);
    rig.settings.targetPort = 3000;
    std::vector<ResultCode> shown;
    const ShowMessage show = [&](ResultCode code) { shown.push_back(code); };
    EXPECT_EQ(openNetworkLink(rig.link, "192.0.2.20", 1, show), 1);
    EXPECT_EQ(rig.peer().connectedAddress, (Address{192, 0, 2, 20}));
    EXPECT_EQ(rig.peer().connectedPort, 3000);
    EXPECT_EQ(rig.peer().startups, 1);
    EXPECT_TRUE(shown.empty());
    closeLink(rig.link);

    rig.peer().connectFails = true;
    EXPECT_EQ(openNetworkLink(rig.link, "192.0.2.20", 0, show), result::kCantConnect);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(openNetworkLink(rig.link, "192.0.2.20", 1, show), result::kCantConnect);
    rig.peer().startupFails = true;
    EXPECT_EQ(openNetworkLink(rig.link, "192.0.2.20", 1, show), result::kSocketLibraryFailed);
    EXPECT_EQ(shown, (std::vector<ResultCode>{result::kCantConnect, result::kSocketLibraryFailed}));
}

}  // namespace
}  // namespace vorlanth::link
