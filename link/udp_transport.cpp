// The network link: the check that an address text names a terminal, the UDP transport (one
// datagram per send, answers in datagrams of at most 3 bytes), and the network link kind.
#include "link/udp_transport.h"

#include <algorithm>

#include "link/link.h"

namespace vorlanth::link {

namespace {

constexpr std::size_t kLongestHostName = 253;
constexpr std::size_t kLongestLabel = 63;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A label that a resolver's numeric parse would take as a number: decimal (or octal) digits,
// or "0x" and hexadecimal digits.
bool isNumericLabel(std::string_view label) {
    if (label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
        return std::all_of(label.begin() + 2, label.end(), isHexDigit);
    }
    return !label.empty() && std::all_of(label.begin(), label.end(), isDigit);
}

// A host name label: 1..63 letters, digits and hyphens, not beginning or ending with one.
bool isHostLabel(std::string_view label) {
    return !label.empty() && label.size() <= kLongestLabel && label.front() != '-' &&
           label.back() != '-' && std::all_of(label.begin(), label.end(), [](char c) {
               return isLetter(c) || isDigit(c) || c == '-';
           });
}

// The refusal of an address text, with what was wrong.
FailureDetail refusal(std::string_view text, std::string reason) {
    return objectFailure(std::string(text), std::move(reason), FailureKind::Address);
}

// What an address text is, before any resolver sees it.
enum class AddressText {
    DottedQuad,  // four decimal numbers 0..255 separated by single dots
    HostName,    // letters, digits, hyphens and dots in labels of 1..63, not all labels numbers
    Invalid,     // anything else, other numeric forms ("127.1", "0x7f.1", "2130706433") included
};

// Classifies address text; address receives the four numbers of a DottedQuad.
AddressText classifyAddressText(std::string_view text, Ipv4Address& address) {
    if (text.empty() || text.size() > kLongestHostName) {
        return AddressText::Invalid;
    }
    std::array<std::string_view, 4> parts{};
    std::size_t partCount = 0;
    bool allNumeric = true;
    bool numericBeforeLast = true;
    bool allHostLabels = true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string_view label = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        allNumeric = allNumeric && isNumericLabel(label);
        allHostLabels = allHostLabels && isHostLabel(label);
        if (partCount < parts.size()) {
            parts[partCount] = label;
        }
        ++partCount;
        if (dot == std::string_view::npos) {
            break;
        }
        numericBeforeLast = numericBeforeLast && isNumericLabel(label);
        start = dot + 1;
    }
    if (allNumeric) {
        // Only the plain dotted form is taken; "127.1", octal or hexadecimal forms and bare
        // numbers are refused rather than read as a resolver would read them.
        if (partCount != parts.size()) {
            return AddressText::Invalid;
        }
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string_view part = parts[i];
            if (part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit)) {
                return AddressText::Invalid;
            }
            int value = 0;
            for (const char c : part) {
                value = value * 10 + (c - '0');
            }
            if (value > 255) {
                return AddressText::Invalid;
            }
            address[i] = static_cast<std::uint8_t>(value);
        }
        return AddressText::DottedQuad;
    }
    // Numbers and dots with something else at the end ("127.0.0.1x", "1.2.3.4abc") are an
    // address mistyped, not a name: no real top-level domain follows numeric labels.
    if (partCount > 1 && numericBeforeLast) {
        return AddressText::Invalid;
    }
    return allHostLabels ? AddressText::HostName : AddressText::Invalid;
}

}  // namespace

Result<Ipv4Address> resolveTargetAddress(platform::SocketLibrary& sockets, std::string_view text) {
    Ipv4Address address{};
    const AddressText form = classifyAddressText(text, address);
    switch (form) {
        case AddressText::Invalid:
            return refusal(text,
                           "not an IPv4 address (four numbers 0 to 255 separated by dots) nor a "
                           "host name");
        case AddressText::DottedQuad:
            break;
        case AddressText::HostName: {
            Result<Ipv4Address> resolved = sockets.resolveHostName(std::string(text));
            if (!resolved) {
                return resolved;
            }
            address = *resolved;
            break;
        }
    }
    const bool named = form == AddressText::HostName;
    constexpr Ipv4Address kAnyAddress = {0, 0, 0, 0};
    constexpr Ipv4Address kBroadcast = {255, 255, 255, 255};
    if (address == kAnyAddress) {
        return refusal(text, std::string(named ? "resolves to 0.0.0.0, which " : "") +
                                 "names no terminal (it would reach this machine)");
    }
    if (address == kBroadcast) {
        return refusal(text, std::string(named ? "resolves to 255.255.255.255, " : "is ") +
                                 "the broadcast address, not a single terminal");
    }
    return address;
}

UdpTransport::UdpTransport(std::string name, platform::Platform& platform, WireObserver* observer)
    : Transport(platform, observer), name_(std::move(name)) {}

UdpTransport::~UdpTransport() {
    UdpTransport::close();
}

void UdpTransport::useSocket(std::unique_ptr<platform::DatagramSocket> socket) {
    socket_ = std::move(socket);
}

void UdpTransport::dropLateInput() {
    if (socket_) {
        socket_->discardPending();
    }
}

void UdpTransport::close() {
    socket_.reset();
    if (libraryStarted_) {
        platform().sockets().cleanup();
        libraryStarted_ = false;
    }
}

// A datagram the network refused (a full buffer, a port that refused an earlier one) is no
// lost line: a connected datagram socket stays usable, and the answer that then does not come
// says the rest, as for a datagram lost on the way. So the send's refusal ends nothing here.
Status UdpTransport::write(std::span<const std::uint8_t> bytes) {
    if (!socket_) {
        return objectFailure(name_, "the link is not open");
    }
    static_cast<void>(socket_->send(bytes));
    return {};
}

Result<std::span<const std::uint8_t>> UdpTransport::receive(std::uint32_t waitMs) {
    if (!socket_) {
        return objectFailure(name_, "the link is not open");
    }
    Result<std::optional<std::size_t>> received = socket_->receive(datagram_, waitMs);
    if (!received) {
        return std::move(received).failure();
    }
    return std::span<const std::uint8_t>(datagram_.data(), received->value_or(0));
}

namespace {

// Starts the sockets library, checks the address, creates a datagram socket and connects it
// to the address and targetPort; after -104, -105 or -150 what was started stays held until
// closeLink. A refused address sends nothing.
ResultCode openUdpLink(Link& link) {
    platform::SocketLibrary& sockets = link.platform.sockets();
    if (Status started = sockets.startup(); !started) {
        link.failure = std::move(started).failure();
        return ResultCode::SocketLibraryFailed;
    }
    const std::string_view addressText = link.settings.targetAddress.view();
    auto transport =
        std::make_unique<UdpTransport>(std::string(addressText), link.platform, link.observer);
    UdpTransport& udp = *transport;
    link.state.transport = std::move(transport);
    const Result<Ipv4Address> address = resolveTargetAddress(sockets, addressText);
    if (!address) {
        link.failure = address.failure();
        return ResultCode::InvalidIpAddress;
    }
    Result<std::unique_ptr<platform::DatagramSocket>> socket = sockets.createDatagramSocket();
    if (!socket) {
        link.failure = std::move(socket).failure();
        return ResultCode::CantCreateSocket;
    }
    platform::DatagramSocket& connecting = **socket;
    udp.useSocket(std::move(socket).value());
    if (Status connected = connecting.connect(address.value(), link.settings.targetPort);
        !connected) {
        // The socket stays open until the next closeLink.
        link.failure = std::move(connected).failure();
        return ResultCode::CantConnect;
    }
    return ResultCode::Done;
}

// The address must name a terminal; nothing is sent to it.
Status checkUdpTarget(const UploadSettings& settings, platform::Platform& platform) {
    const Result<Ipv4Address> address =
        resolveTargetAddress(platform.sockets(), settings.targetAddress.view());
    if (!address) {
        return address.failure();
    }
    return {};
}

// The address as the link would connect to it (a host name resolved), and the port.
Result<std::string> udpTerminalKey(const UploadSettings& settings, platform::Platform& platform) {
    const Result<Ipv4Address> address =
        resolveTargetAddress(platform.sockets(), settings.targetAddress.view());
    if (!address) {
        return address.failure();
    }
    return "udp " + platform::endpointText(address.value(), settings.targetPort);
}

// The address as written, and the port.
std::string udpTargetName(const UploadSettings& settings) {
    return settings.targetAddress.str() + ":" + std::to_string(settings.targetPort);
}

std::string udpTerminalName(const UploadSettings& settings, platform::Platform& /*platform*/) {
    return udpTargetName(settings);
}

// The address as written.
std::string udpLineName(const UploadSettings& settings) {
    return std::string(settings.targetAddress.view());
}

// The address as written, and the port.
void writeUdpTargetMembers(JsonWriter& json, const UploadSettings& settings) {
    json.key("address").string(settings.targetAddress.view());
    json.key("port").number(settings.targetPort);
}

}  // namespace

const LinkKind kUdpLink = {
    .open = openUdpLink,
    .checkTarget = checkUdpTarget,
    .terminalKey = udpTerminalKey,
    .targetName = udpTargetName,
    .terminalName = udpTerminalName,
    .lineName = udpLineName,
    .jsonName = "network",
    .writeTargetMembers = writeUdpTargetMembers,
};

}  // namespace vorlanth::link
