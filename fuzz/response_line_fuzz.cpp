// Fuzz target: arbitrary byte streams (serial) and datagrams (network) through
// readResponseLine. The first byte picks the link; the rest is cut into datagrams by a
// length prefix per datagram.
#include <cstdint>
#include <cstring>

#include "link/link.h"
#include "shell/session.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorlanth;
    if (size < 1) {
        return 0;
    }
    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    const bool network = (data[0] & 1) != 0;
    session.settings.linkType = network ? Network : Serial;
    session.settings.targetAddress.assign("127.0.0.1");
    link::Link link = linkOf(session);
    if (link::openLink(link) != ResultCode::Done) {
        __builtin_trap();
    }
    std::size_t position = 1;
    while (position < size) {
        if (network) {
            const std::size_t length = data[position] % 6;
            ++position;
            const std::size_t take = length < size - position ? length : size - position;
            platform.datagramPeer.deliver(std::span<const std::uint8_t>(data + position, take),
                                          data[position - 1] % 3);
            position += take;
        } else {
            platform.serialLine.deliver(std::span<const std::uint8_t>(data + position, 1),
                                        data[position] % 2);
            ++position;
        }
    }
    // Read lines until the input is used up; every line must stay within its 15 characters.
    for (int i = 0; i < 64; ++i) {
        const ResultCode result = link::readResponseLine(link, data[0] % 3);
        if (std::strlen(session.responseLine.bytes.data()) > 15 ||
            session.responseLine.bytes[15] != 0) {
            __builtin_trap();
        }
        if (result == ResultCode::Failed ||
            (platform.serialLine.input.empty() && platform.datagramPeer.input.empty())) {
            break;
        }
    }
    return 0;
}
