#include "link/link.h"

namespace vorlanth::link {

// Four runs of digits, each ended by any one character; only the low 8 bits of each count.
std::array<std::uint8_t, 4> parseIpv4Address(std::string_view text) {
    std::array<std::uint8_t, 4> address{};
    std::size_t position = 0;
    for (std::uint8_t& part : address) {
        std::uint32_t value = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            // Only the low 8 bits count, so keep the running value small.
            value = (value * 10 + static_cast<std::uint32_t>(text[position] - '0')) & 0xFFu;
            ++position;
        }
        part = static_cast<std::uint8_t>(value);
        // The character that ended the run, whatever it is, is consumed.
        if (position < text.size()) {
            ++position;
        }
    }
    return address;
}

// Starts the sockets library, creates a datagram socket and connects it to the address and
// targetPort; after -104 or -105 what was started stays held until closeLink.
ResultCode openNetworkLink(Link& link, std::string_view addressText, int showMessages,
                           const ShowMessage& showMessage) {
    auto fail = [&](ResultCode code) {
        if (showMessages > 0 && showMessage) {
            showMessage(code);
        }
        return code;
    };
    platform::SocketLibrary& sockets = link.platform.sockets();
    if (!sockets.startup()) {
        return fail(result::kSocketLibraryFailed);
    }
    link.state.socketLibraryStarted = true;
    const std::array<std::uint8_t, 4> address = parseIpv4Address(addressText);
    link.state.socketHandle = sockets.createDatagramSocket();
    if (!link.state.socketHandle) {
        return fail(result::kCantCreateSocket);
    }
    if (!link.state.socketHandle->connect(address, link.settings.targetPort)) {
        // The socket stays open until the next closeLink.
        return fail(result::kCantConnect);
    }
    return 1;
}

}  // namespace vorlanth::link
