// The table of link kinds: the only place that asks which kind a link type is.
#include "link/link_kind.h"

#include <algorithm>
#include <array>

#include "link/cradle_transport.h"
#include "link/serial_transport.h"
#include "link/udp_transport.h"

namespace vorlanth::link {

namespace {

// One row per LinkType value, in its order.
constexpr std::array<const LinkKind*, kLinkTypeCount> kLinkKinds = {&kSerialLink, &kCradleLink,
                                                                    &kUdpLink};

}  // namespace

// A value above the table is taken as its last row (the network link, as the loader always
// took them); a negative value as the cradle.
const LinkKind& linkKindOf(int linkType) {
    if (linkType < 0) {
        return kCradleLink;
    }
    return *kLinkKinds[std::min(static_cast<std::size_t>(linkType), kLinkKinds.size() - 1)];
}

}  // namespace vorlanth::link
