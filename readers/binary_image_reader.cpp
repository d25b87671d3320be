#include "readers/binary_image_reader.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "link/link.h"
#include "protocol/record.h"

namespace vorlanth::readers {

namespace {

constexpr std::string_view kStartMark = "TOLVEXSTART";
constexpr std::string_view kEndMark = "TOLVEXEND";
constexpr std::size_t kChunkSize = 64;
// Chunks sent whole in every section, and the address below which every chunk is sent whole.
constexpr std::uint32_t kWholeChunksPerSection = 4;
constexpr std::uint32_t kWholeChunkAddressLimit = 256;
constexpr std::uint8_t kErasedByte = 0xFF;

enum class Step { Continue, Finish, Failed };

class BinaryImageUpload {
  public:
    BinaryImageUpload(Session& session, ProgressSink& progress)
        : session_(session), link_(link::linkOf(session)), progress_(progress) {}

    ResultCode run();

  private:
    // Reads exactly mark.size() bytes and compares them with mark.
    bool readMark(std::string_view mark);
    // Reads a 32-bit big-endian number; false when the file ends or fails first.
    bool readNumber(std::uint32_t& value);
    Step sendSection();
    ResultCode sendData(std::uint32_t address, std::span<const std::uint8_t> data);
    ResultCode sendRuns(std::uint32_t address, std::span<const std::uint8_t> data);
    bool fileDone() const { return consumed_ >= fileSize_; }
    ResultCode formatError() {
        showFormatError(session_.frontEnd);
        return 0;
    }

    Session& session_;
    link::Link link_;
    ProgressSink& progress_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t consumed_ = 0;
};

// Every byte read counts as consumed, also when the mark turns out wrong.
bool BinaryImageUpload::readMark(std::string_view mark) {
    std::array<std::uint8_t, 16> bytes{};
    const std::size_t got = readFully(*session_.programFile, std::span(bytes.data(), mark.size()));
    consumed_ += got;
    return got == mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

// Most significant byte first.
bool BinaryImageUpload::readNumber(std::uint32_t& value) {
    std::array<std::uint8_t, 4> bytes{};
    const std::size_t got = readFully(*session_.programFile, bytes);
    consumed_ += got;
    value = 0;
    for (std::uint8_t byte : bytes) {
        value = (value << 8) | byte;
    }
    return got == bytes.size();
}

// Sends data as one record at address.
ResultCode BinaryImageUpload::sendData(std::uint32_t address, std::span<const std::uint8_t> data) {
    TransmitBuffer& buffer = session_.transmitBuffer;
    const std::size_t start = protocol::openDataRecord(buffer, address);
    std::copy(data.begin(), data.end(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
    return protocol::sendRecord(link_, buffer, static_cast<int>(start + data.size()));
}

// Sends each run of bytes other than 0xFF as a record at its own address; runs never reach
// across the chunk, and a chunk of 0xFF bytes only sends nothing.
ResultCode BinaryImageUpload::sendRuns(std::uint32_t address, std::span<const std::uint8_t> data) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && data[i] != kErasedByte) {
            continue;
        }
        if (i > runStart) {
            const ResultCode sent = sendData(address + static_cast<std::uint32_t>(runStart),
                                             data.subspan(runStart, i - runStart));
            if (sent <= 0) {
                return sent;
            }
        }
        runStart = i + 1;
    }
    return 1;
}

// One section from its start mark to its end mark. The image counts as complete when the
// file ends inside the section's data (a section without data has none to end in, so its
// end mark must follow); a read that fails or brings nothing before the end of the file is a
// format error rather than a reason to read on.
Step BinaryImageUpload::sendSection() {
    std::uint32_t chunkAddress = 0;
    std::uint32_t remaining = 0;
    if (!readMark(kStartMark) || !readNumber(chunkAddress) || !readNumber(remaining)) {
        formatError();
        return Step::Failed;
    }
    std::array<std::uint8_t, kChunkSize> chunk{};
    for (std::uint32_t chunkIndex = 0;; ++chunkIndex) {
        if (remaining > 0 && fileDone()) {
            return Step::Finish;
        }
        const std::size_t want = std::min<std::size_t>(kChunkSize, remaining);
        const std::size_t got = readFully(*session_.programFile, std::span(chunk.data(), want));
        if (want > 0 && got == 0) {
            formatError();
            return Step::Failed;
        }
        remaining -= static_cast<std::uint32_t>(got);
        consumed_ += got;
        const std::span<const std::uint8_t> data(chunk.data(), got);
        const bool whole =
            chunkAddress < kWholeChunkAddressLimit || chunkIndex < kWholeChunksPerSection;
        const ResultCode sent = whole ? sendData(chunkAddress, data) : sendRuns(chunkAddress, data);
        if (sent <= 0) {
            return Step::Failed;
        }
        if (remaining == 0) {
            if (!readMark(kEndMark)) {
                formatError();
                return Step::Failed;
            }
            return fileDone() ? Step::Finish : Step::Continue;
        }
        chunkAddress += static_cast<std::uint32_t>(got);
        advanceProgress(progress_, consumed_, fileSize_);
    }
}

// Sections back to back until the file ends, then the end record and position 100.
ResultCode BinaryImageUpload::run() {
    const std::int64_t size = session_.programFile->size();
    if (size < 0) {
        // Without the size the end of the image cannot be told from a cut-off one.
        return formatError();
    }
    fileSize_ = static_cast<std::uint64_t>(size);
    for (;;) {
        switch (sendSection()) {
            case Step::Continue:
                continue;
            case Step::Failed:
                return 0;
            case Step::Finish:
                break;
        }
        break;
    }
    // Neither the exchange's result nor the terminal's answer to the end record is examined.
    protocol::sendEndRecord(link_, session_.transmitBuffer);
    progress_.setProgress(100, consumed_, fileSize_);
    return 1;
}

}  // namespace

ResultCode transferBinaryImage(Session& session, ProgressSink& progress) {
    if (!session.programFile) {
        return 0;
    }
    BinaryImageUpload upload(session, progress);
    return upload.run();
}

}  // namespace vorlanth::readers
