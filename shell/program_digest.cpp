// The program's digests taken on the check pass's own reads, and the refusal of a program whose
// SHA-256 is not the one the run expects.
#include "shell/program_digest.h"

#include <array>

namespace vorlanth::shell {

std::int64_t DigestingFile::read(std::span<std::uint8_t> buffer) {
    const std::int64_t count = file_.read(buffer);
    if (count < 0) {
        readFailed_ = true;
    } else {
        sha256_->add(buffer.first(static_cast<std::size_t>(count)));
    }
    return count;
}

// The rest is read in pieces of a few KiB: a regular file ends, so this ends too.
Result<platform::Sha256Digest> DigestingFile::finish() {
    std::array<std::uint8_t, 4096> piece{};
    while (!readFailed_ && read(piece) > 0) {
    }
    if (readFailed_) {
        return objectFailure("", "the file cannot be read to its end for its SHA-256");
    }
    return sha256_->finish();
}

DigestedCheck decodeWithDigests(platform::Platform& platform, int fileType,
                                const CheckedFiles& files, readers::ProgramSink& sink) {
    DigestedCheck check;
    DigestingFile program(files.program, platform.startSha256());
    std::optional<DigestingFile> companion;
    if (files.companion != nullptr) {
        companion.emplace(*files.companion, platform.startSha256());
    }
    check.decoded =
        readers::decodeProgram(fileType, program, companion ? &*companion : nullptr, sink);
    if (check.decoded.status != readers::DecodeStatus::Complete &&
        check.decoded.status != readers::DecodeStatus::FormatError) {
        return check;  // stopped, or a file that cannot be read: no digest to take
    }
    const auto take = [&check](DigestingFile& file, const std::string& name,
                               std::optional<platform::Sha256Digest>& digest) {
        Result<platform::Sha256Digest> taken = file.finish();
        if (taken) {
            digest = taken.value();
        } else if (check.digestFailure.empty()) {
            check.digestFailure = std::move(taken).failure();
            if (check.digestFailure.object.empty()) {
                check.digestFailure.object = name;
            }
        }
    };
    take(program, files.programName, check.digests.program);
    if (companion) {
        take(*companion, files.companionName, check.digests.companion);
    }
    return check;
}

std::optional<FailureDetail> refuseUnexpected(const DigestedCheck& check,
                                              const std::optional<platform::Sha256Digest>& expected,
                                              const std::string& programName) {
    if (!expected || check.digests.program == expected) {
        return std::nullopt;
    }
    const std::string wanted = platform::sha256Hex(*expected);
    if (!check.digests.program) {
        return objectFailure(programName,
                             "its SHA-256 cannot be taken to compare with the "
                             "expected " +
                                 wanted + " (" + describeFailure(check.digestFailure) + ")");
    }
    return objectFailure(programName,
                         "its SHA-256 is " + platform::sha256Hex(*check.digests.program) +
                             ", not the expected " + wanted,
                         FailureKind::UnexpectedDigest);
}

}  // namespace vorlanth::shell
