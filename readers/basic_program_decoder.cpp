// Decodes a BASIC object program into blocks: the companion file's first block, then the
// header, counts and 64-byte pieces, each count checked against the file's size first.
#include <algorithm>
#include <array>
#include <string>

#include "readers/program_decoder.h"
#include "readers/reader_support.h"

namespace vorlanth::readers {

namespace {

constexpr std::size_t kCompanionBlockSize = 100;
constexpr std::size_t kProgramHeaderSize = 8;
constexpr std::size_t kCountSize = 2;
constexpr std::size_t kPieceSize = 64;

// A BASIC object program is its header, a count N, N pieces of 64 bytes and half as many
// again (rounded up), a count M and M pieces; each goes out as one block, after a block of
// the companion settings file's first 100 bytes. The counts are checked against the file's
// size before a piece they announce is handed on; bytes after the last piece are not sent.
class BasicProgramDecoder {
  public:
    BasicProgramDecoder(platform::ReadableFile& program, platform::ReadableFile* companion,
                        ProgramSink& sink)
        : program_(program), reader_(program), companion_(companion), sink_(sink) {}

    DecodeResult run();

  private:
    DecodeResult companionBlock();
    // Reads the next piece of size bytes into the buffer; false when the file ends first.
    bool readPiece(std::size_t size) {
        const std::size_t got = reader_.readFully(std::span(buffer_.data(), size));
        consumed_ += got;
        return got == size;
    }
    // A count: low byte first.
    std::size_t count() const { return buffer_[0] + 256u * buffer_[1]; }
    // Hands count 64-byte pieces on, marking progress after each one.
    DecodeResult pieces(std::size_t count);

    platform::ReadableFile& program_;
    BlockReader reader_;
    platform::ReadableFile* companion_;
    ProgramSink& sink_;
    std::array<std::uint8_t, kCompanionBlockSize> buffer_{};
    std::uint64_t fileSize_ = 0;
    std::uint64_t consumed_ = 0;
    // Program bytes sent; starts at 10 (header and first count), the companion not counted.
    std::uint64_t sentBytes_ = kProgramHeaderSize + kCountSize;
};

// The companion's first 100 bytes, zero-filled when it is shorter. A missing companion (a
// file type out of range from a hand-edited settings file) sends 100 zero bytes.
DecodeResult BasicProgramDecoder::companionBlock() {
    buffer_.fill(0);
    if (companion_ != nullptr) {
        const std::int64_t size = companion_->size();
        const std::size_t got = readFully(*companion_, buffer_);
        if (size <= 0 || got == 0) {
            DecodeResult error =
                formatError(size == 0 ? "the companion settings file is empty"
                                      : "the companion settings file cannot be read",
                            0);
            error.errorIn = ProgramPart::Companion;
            return error;
        }
    }
    if (!sink_.block(buffer_)) {
        return stopped();
    }
    return completed();
}

DecodeResult BasicProgramDecoder::pieces(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!readPiece(kPieceSize)) {
            return readError(static_cast<std::int64_t>(consumed_), fileSize_);
        }
        if (!sink_.block(std::span(buffer_.data(), kPieceSize))) {
            return stopped();
        }
        sentBytes_ += kPieceSize;
        sink_.progress(sentBytes_, fileSize_);
    }
    return completed();
}

DecodeResult BasicProgramDecoder::run() {
    const std::int64_t size = program_.size();
    if (size < 0) {
        return readError(0, 0);
    }
    fileSize_ = static_cast<std::uint64_t>(size);
    if (fileSize_ == 0) {
        return formatError("the file is empty", 0);
    }
    const auto holds = " bytes, the file holds " + std::to_string(fileSize_);
    if (DecodeResult sent = companionBlock(); sent.status != DecodeStatus::Complete) {
        return sent;
    }

    if (!readPiece(kProgramHeaderSize)) {
        return formatError("the 8-byte header is cut short: the file holds " +
                               std::to_string(fileSize_) + " bytes",
                           static_cast<std::int64_t>(consumed_));
    }
    if (!sink_.block(std::span(buffer_.data(), kProgramHeaderSize))) {
        return stopped();
    }
    if (!readPiece(kCountSize)) {
        return formatError("the first count at byte 8 is cut short: the file holds " +
                               std::to_string(fileSize_) + " bytes",
                           static_cast<std::int64_t>(consumed_));
    }
    const std::size_t first = count();
    const std::size_t second = (first + 1) / 2;
    const std::uint64_t secondCountAt =
        kProgramHeaderSize + kCountSize + kPieceSize * (first + second);
    if (fileSize_ < secondCountAt + kCountSize) {
        return formatError("the first count " + std::to_string(first) + " announces " +
                               std::to_string(first + second) +
                               " pieces of 64 bytes and the second count after them: at least " +
                               std::to_string(secondCountAt + kCountSize) + holds,
                           static_cast<std::int64_t>(kProgramHeaderSize));
    }
    if (!sink_.block(std::span(buffer_.data(), kCountSize))) {
        return stopped();
    }
    if (DecodeResult sent = pieces(first + second); sent.status != DecodeStatus::Complete) {
        return sent;
    }

    if (!readPiece(kCountSize)) {
        return readError(static_cast<std::int64_t>(consumed_), fileSize_);
    }
    const std::size_t third = count();
    const std::uint64_t total = secondCountAt + kCountSize + kPieceSize * third;
    if (fileSize_ < total) {
        const std::uint64_t cutPiece = (fileSize_ - secondCountAt - kCountSize) / kPieceSize;
        return formatError("the counts " + std::to_string(first) + " and " + std::to_string(third) +
                               " announce " + std::to_string(total) + holds + ": piece " +
                               std::to_string(cutPiece + 1) + " of the last " +
                               std::to_string(third) + ", at byte " +
                               std::to_string(secondCountAt + kCountSize + cutPiece * kPieceSize) +
                               ", is cut short",
                           static_cast<std::int64_t>(secondCountAt));
    }
    if (!sink_.block(std::span(buffer_.data(), kCountSize))) {
        return stopped();
    }
    sentBytes_ += kCountSize;
    DecodeResult sent = pieces(third);
    if (sent.status == DecodeStatus::Complete) {
        sent.trailingBytes = fileSize_ - total;
    }
    return sent;
}

}  // namespace

DecodeResult decodeBasicProgram(platform::ReadableFile& program, platform::ReadableFile* companion,
                                ProgramSink& sink) {
    BasicProgramDecoder decoder(program, companion, sink);
    return decoder.run();
}

}  // namespace vorlanth::readers
