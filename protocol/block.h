// Sending one block of a BASIC program, plain or with its checksum byte, until the terminal
// answers "ACK".
#pragma once

#include "common/types.h"
#include "link/link.h"

namespace vorlanth::protocol {

// Sends of one block in checksum mode; a plain block is sent once.
inline constexpr int kChecksumBlockSends = 6;

// Sends the block buffer[0, length), followed by its checksum byte when checksumMode is above
// 0, and waits for "ACK": Done, or -109.
ResultCode sendBlock(link::Link& link, TransmitBuffer& buffer, int length, int checksumMode);

}  // namespace vorlanth::protocol
