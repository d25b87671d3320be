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

}  // namespace

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

std::optional<Ipv4Address> resolveTargetAddress(platform::SocketLibrary& sockets,
                                                std::string_view text, FailureDetail* why) {
    Ipv4Address address{};
    std::optional<Ipv4Address> found;
    const AddressText form = classifyAddressText(text, address);
    switch (form) {
        case AddressText::Invalid:
            tell(why, refusal(text,
                              "not an IPv4 address (four numbers 0 to 255 separated by "
                              "dots) nor a host name"));
            return std::nullopt;
        case AddressText::DottedQuad:
            found = address;
            break;
        case AddressText::HostName:
            found = sockets.resolveHostName(std::string(text), why);
            if (!found) {
                return std::nullopt;
            }
            break;
    }
    const bool named = form == AddressText::HostName;
    constexpr Ipv4Address kAnyAddress = {0, 0, 0, 0};
    constexpr Ipv4Address kBroadcast = {255, 255, 255, 255};
    if (*found == kAnyAddress) {
        tell(why, refusal(text, std::string(named ? "resolves to 0.0.0.0, which " : "") +
                                    "names no terminal (it would reach this machine)"));
        return std::nullopt;
    }
    if (*found == kBroadcast) {
        tell(why, refusal(text, std::string(named ? "resolves to 255.255.255.255, " : "is ") +
                                    "the broadcast address, not a single terminal"));
        return std::nullopt;
    }
    return found;
}

// Starts the sockets library, checks the address, creates a datagram socket and connects it
// to the address and targetPort; after -104, -105 or -150 what was started stays held until
// closeLink. A refused address sends nothing.
ResultCode openNetworkLink(Link& link, std::string_view addressText, int showMessages,
                           const ShowMessage& showMessage) {
    auto fail = [&](ResultCode code) {
        if (showMessages > 0 && showMessage) {
            showMessage(code);
        }
        return code;
    };
    platform::SocketLibrary& sockets = link.platform.sockets();
    if (!sockets.startup(link.failure)) {
        return fail(result::kSocketLibraryFailed);
    }
    link.state.socketLibraryStarted = true;
    const std::optional<Ipv4Address> address =
        resolveTargetAddress(sockets, addressText, link.failure);
    if (!address) {
        return fail(result::kInvalidIpAddress);
    }
    link.state.socketHandle = sockets.createDatagramSocket(link.failure);
    if (!link.state.socketHandle) {
        return fail(result::kCantCreateSocket);
    }
    if (!link.state.socketHandle->connect(*address, link.settings.targetPort, link.failure)) {
        // The socket stays open until the next closeLink.
        return fail(result::kCantConnect);
    }
    return 1;
}

}  // namespace vorlanth::link
