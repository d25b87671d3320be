// The SHA-256 of a program file and of a BASIC program's companion, taken while the check pass
// reads them (no read of its own), and the refusal of a program that is not the expected one.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/failure_detail.h"
#include "platform/digest.h"
#include "platform/platform.h"
#include "readers/program_decoder.h"

namespace vorlanth::shell {

// The digests of one check pass; nothing for a file that could not be read to its end.
struct ProgramDigests {
    std::optional<platform::Sha256Digest> program;
    std::optional<platform::Sha256Digest> companion;  // BASIC programs only
};

// A file read through this is digested on the way: every byte a reader takes is added.
class DigestingFile final : public platform::ReadableFile {
  public:
    DigestingFile(platform::ReadableFile& file, std::unique_ptr<platform::Sha256> sha256)
        : file_(file), sha256_(std::move(sha256)) {}

    std::int64_t read(std::span<std::uint8_t> buffer) override;
    std::int64_t size() override { return file_.size(); }
    // Reading from the start again would add the bytes twice: refused.
    bool rewind() override { return false; }

    // Reads what the reader left of the file (text after a program's end, a companion's bytes
    // past its block) and gives the digest of the whole file. A read that failed, here or
    // before, fails it, and so does the system's digest.
    Result<platform::Sha256Digest> finish();

  private:
    platform::ReadableFile& file_;
    std::unique_ptr<platform::Sha256> sha256_;
    bool readFailed_ = false;
};

// The files one check pass reads, by the names a failure gives them.
struct CheckedFiles {
    platform::ReadableFile& program;
    std::string programName;
    platform::ReadableFile* companion = nullptr;  // BASIC programs only
    std::string companionName;
};

// What the check pass made of the files: the decoder's result and the digests. digestFailure
// says why a digest is missing when the decoder read its files without a fault.
struct DigestedCheck {
    readers::DecodeResult decoded;
    ProgramDigests digests;
    FailureDetail digestFailure;
};

// Decodes the program (and companion) into sink as readers::decodeProgram does, digesting every
// byte read on the way. When the decoder got to the program's end, or found the file not in its
// format, the rest of each file is read too: the digests are of the whole files.
DigestedCheck decodeWithDigests(platform::Platform& platform, int fileType,
                                const CheckedFiles& files, readers::ProgramSink& sink);

// Why a program that a run expects to have the digest expected may not go: a program file whose
// SHA-256 differs (both said; kind UnexpectedDigest), or whose SHA-256 could not be taken to
// compare. Nothing when the run expects no digest or the program has it.
std::optional<FailureDetail> refuseUnexpected(const DigestedCheck& check,
                                              const std::optional<platform::Sha256Digest>& expected,
                                              const std::string& programName);

}  // namespace vorlanth::shell
