// Sends a BASIC program block (checksummed and repeated in checksum mode) and checks for "ACK".
#include "protocol/block.h"

#include "protocol/record.h"
#include "protocol/words.h"

namespace vorlanth::protocol {

// In checksum mode the byte right after the block is overwritten with the checksum once, and
// every resend repeats exactly the same bytes.
ResultCode sendBlock(link::Link& link, TransmitBuffer& buffer, int length, int checksumMode) {
    const bool checksummed = checksumMode > 0;
    const std::size_t limit = checksummed ? kTransmitBufferSize - 1 : kTransmitBufferSize;
    if (length < 0 || static_cast<std::size_t>(length) > limit) {
        return ResultCode::BlockUploadError;
    }
    auto size = static_cast<std::size_t>(length);
    if (checksummed) {
        buffer[size] = onesComplementChecksum(std::span<const std::uint8_t>(buffer.data(), size));
        ++size;
    }
    const std::span<const std::uint8_t> wire(buffer.data(), size);
    const int sends = checksummed ? kChecksumBlockSends : 1;
    for (int send = 0; send < sends; ++send) {
        if (link::exchange(link, wire) != ResultCode::Done) {
            return ResultCode::BlockUploadError;
        }
        if (link.responseLine == reply::kAck) {
            return ResultCode::Done;
        }
    }
    return ResultCode::BlockUploadError;
}

}  // namespace vorlanth::protocol
