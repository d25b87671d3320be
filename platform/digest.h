// SHA-256 of a stream of bytes, taken from the system's own well-kept implementation (a
// packaged library on POSIX systems, CNG on Windows): the digest says which build of a program
// went into which terminal.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/hex_text.h"
#include "common/result.h"

namespace vorlanth::platform {

// A SHA-256 digest: 32 bytes.
using Sha256Digest = std::array<std::uint8_t, 32>;

// One digest being taken: bytes are added in pieces of any size, then it is finished once.
class Sha256 {
  public:
    virtual ~Sha256() = default;
    // Adds the next bytes of the stream; pieces may have any length, an empty one included.
    virtual void add(std::span<const std::uint8_t> bytes) = 0;
    // The digest of every byte added. A failure of the system's implementation (at the start
    // or on any add) is kept and given here; so is a second finish, which has no stream left.
    virtual Result<Sha256Digest> finish() = 0;
};

// Starts a digest with the system's implementation; never null (a failure to start is told
// by finish). The core asks Platform::startSha256, which gives this on a real system.
std::unique_ptr<Sha256> startSha256();

// The digest as people and scripts compare it: 64 lower-case hexadecimal digits.
inline std::string sha256Hex(const Sha256Digest& digest) {
    return hexBytes(digest);
}

// The digest a person wrote as 64 hexadecimal digits, either case; nothing for any other text.
inline std::optional<Sha256Digest> sha256FromHex(std::string_view text) {
    Sha256Digest digest{};
    if (!bytesFromHex(text, digest)) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace vorlanth::platform
