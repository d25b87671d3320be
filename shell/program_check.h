// What the loader would make of a program file, found without any link.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure_detail.h"
#include "common/types.h"
#include "platform/platform.h"
#include "shell/program_digest.h"

namespace vorlanth::shell {

// Memory a program covers: [first, end), end at most 2^32.
struct AddressRange {
    std::uint32_t first = 0;
    std::uint64_t end = 0;
};

enum class CheckOutcome {
    Valid,             // the file would upload
    NotValid,          // the file is not in its format; error says where and why
    UnexpectedDigest,  // the file's SHA-256 is not the expected one; error says both
    CannotOpen,        // the file (or the companion) cannot be opened or read; error says why
};

// What the loader would make of a program file, found without any link.
struct ProgramReport {
    CheckOutcome outcome = CheckOutcome::Valid;
    FailureDetail error;
    int fileType = SRecord;
    std::string path;
    std::string companionPath;  // BASIC programs only
    std::uint64_t fileSize = 0;
    std::uint64_t records = 0;    // records sent (S-record programs and binary images)
    std::uint64_t blocks = 0;     // blocks sent (BASIC programs), the companion's included
    std::uint64_t dataBytes = 0;  // program bytes in those records or blocks
    // Bytes both ways on the line for the transfer and its end, without handshake and erase.
    std::uint64_t lineBytes = 0;
    std::vector<AddressRange> ranges;  // merged, in address order
    std::vector<std::string> warnings;
    // The SHA-256 of the file and its companion, when each could be read to its end.
    ProgramDigests digests{};
    std::optional<platform::Sha256Digest> expectedSha256;  // the one the check was given
};

// Decodes the whole program (and a BASIC program's companion, found as an upload finds it)
// and reports what would be sent, the first error with its place, the files' SHA-256 (taken on
// the same reads), and warnings: text after the end, data that overlap earlier data, data out
// of address order, a companion longer than its block. A program whose SHA-256 is not expected
// (when given) is refused.
ProgramReport checkProgramFile(platform::Platform& platform, std::string_view path, int fileType,
                               const std::optional<platform::Sha256Digest>& expected = {});

// Seconds the transfer takes on the line at rate bit/s (8N1: ten bits a byte), not counting
// the handshake, the erase and the terminal's own time.
double lineSeconds(const ProgramReport& report, std::uint32_t rate);

}  // namespace vorlanth::shell
