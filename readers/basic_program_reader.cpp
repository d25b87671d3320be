#include "readers/basic_program_reader.h"

#include <algorithm>
#include <vector>

#include "link/link.h"
#include "protocol/block.h"
#include "protocol/words.h"

namespace vorlanth::readers {

namespace {

constexpr std::size_t kCompanionBlockSize = 100;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kCountSize = 2;
constexpr std::size_t kPieceSize = 64;
constexpr std::size_t kFirstCountOffset = kHeaderSize;
// The largest well-formed program (both counts 65535); nothing after it is ever sent.
constexpr std::size_t kLargestProgram = 12 + kPieceSize * (65535 + 32768 + 65535);

// A count: low byte first.
std::size_t countAt(const std::vector<std::uint8_t>& program, std::size_t offset) {
    return program[offset] + 256u * program[offset + 1];
}

// The length the counts announce: 12 + 64 × (N + P + M), where P is N / 2 rounded up; 0 when
// the program is too short to hold the counts themselves.
std::size_t announcedLength(const std::vector<std::uint8_t>& program) {
    if (program.size() < kFirstCountOffset + kCountSize) {
        return 0;
    }
    const std::size_t first = countAt(program, kFirstCountOffset);
    const std::size_t second = (first + 1) / 2;
    const std::size_t secondCountOffset =
        kFirstCountOffset + kCountSize + kPieceSize * (first + second);
    if (program.size() < secondCountOffset + kCountSize) {
        return 0;
    }
    const std::size_t third = countAt(program, secondCountOffset);
    return secondCountOffset + kCountSize + kPieceSize * third;
}

// Reads the program (at most its largest possible length) into memory.
std::vector<std::uint8_t> readProgram(platform::ReadableFile& file, std::size_t fileSize) {
    std::vector<std::uint8_t> program(std::min(fileSize, kLargestProgram));
    program.resize(readFully(file, program));
    return program;
}

class BasicUpload {
  public:
    BasicUpload(Session& session, ProgressSink& progress)
        : session_(session), link_(link::linkOf(session)), progress_(progress) {}

    ResultCode run();

  private:
    // Sends program[offset, offset + size) as one block.
    ResultCode sendPiece(std::size_t size) {
        TransmitBuffer& buffer = session_.transmitBuffer;
        std::copy_n(program_.begin() + static_cast<std::ptrdiff_t>(offset_), size, buffer.begin());
        offset_ += size;
        return protocol::sendBlock(link_, buffer, static_cast<int>(size), session_.checksumMode);
    }
    // Sends count 64-byte pieces, serving the progress bar after each one.
    ResultCode sendPieces(std::size_t count);

    Session& session_;
    link::Link link_;
    ProgressSink& progress_;
    std::vector<std::uint8_t> program_;
    std::uint64_t fileSize_ = 0;
    std::size_t offset_ = 0;
    // Program bytes sent; starts at 10 (header and first count), the companion not counted.
    std::uint64_t sentBytes_ = kHeaderSize + kCountSize;
};

// The progress position follows each acknowledged 64-byte piece.
ResultCode BasicUpload::sendPieces(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const ResultCode sent = sendPiece(kPieceSize);
        if (sent <= 0) {
            return sent;
        }
        sentBytes_ += kPieceSize;
        advanceProgress(progress_, sentBytes_, fileSize_);
    }
    return 1;
}

// The program is checked against its counts before anything, the companion block included,
// is sent; bytes after the announced length are ignored.
ResultCode BasicUpload::run() {
    const std::int64_t size = session_.programFile->size();
    fileSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    program_ = readProgram(*session_.programFile, fileSize_);
    const std::size_t needed = announcedLength(program_);
    if (needed == 0 || program_.size() < needed) {
        showFormatError(session_.frontEnd);
        return 0;
    }

    TransmitBuffer& buffer = session_.transmitBuffer;
    std::fill_n(buffer.begin(), kCompanionBlockSize, std::uint8_t{0});
    if (session_.companionFile) {
        readFully(*session_.companionFile, std::span(buffer.data(), kCompanionBlockSize));
    }
    ResultCode sent = protocol::sendBlock(link_, buffer, static_cast<int>(kCompanionBlockSize),
                                          session_.checksumMode);
    if (sent <= 0) {
        return sent;
    }
    if ((sent = sendPiece(kHeaderSize)) <= 0) {
        return sent;
    }
    const std::size_t first = countAt(program_, offset_);
    if ((sent = sendPiece(kCountSize)) <= 0) {
        return sent;
    }
    if ((sent = sendPieces(first + (first + 1) / 2)) <= 0) {
        return sent;
    }
    const std::size_t third = countAt(program_, offset_);
    if ((sent = sendPiece(kCountSize)) <= 0) {
        return sent;
    }
    sentBytes_ += kCountSize;
    if ((sent = sendPieces(third)) <= 0) {
        return sent;
    }

    const std::string_view end = protocol::command::kBasicEnd;
    const auto* endBytes = reinterpret_cast<const std::uint8_t*>(end.data());
    if (link::exchange(link_, std::span<const std::uint8_t>(endBytes, end.size())) != 1 ||
        !(link_.responseLine == protocol::reply::kAck)) {
        return result::kBlockUploadError;
    }
    return 1;
}

}  // namespace

ResultCode transferBasicProgram(Session& session, ProgressSink& progress) {
    if (!session.programFile) {
        return 0;
    }
    BasicUpload upload(session, progress);
    return upload.run();
}

}  // namespace vorlanth::readers
