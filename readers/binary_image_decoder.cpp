// Decodes a binary image (sections of start mark, address, length and data; then the end mark)
// into records, leaving out the runs of erased bytes the terminal need not be sent.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <variant>

#include "common/hex_text.h"
#include "readers/program_decoder.h"
#include "readers/reader_support.h"

namespace vorlanth::readers {

namespace {

constexpr std::string_view kStartMark = "TOLVEXSTART";
constexpr std::string_view kEndMark = "TOLVEXEND";
constexpr std::size_t kSectionChunkSize = 64;
constexpr std::size_t kSectionHeaderSize = 11 + 4 + 4;
// Chunks sent whole in every section, and the address below which every chunk is sent whole.
constexpr std::uint32_t kWholeChunksPerSection = 4;
constexpr std::uint32_t kWholeChunkAddressLimit = 256;
constexpr std::uint8_t kErasedByte = 0xFF;

// Cuts each section into 64-byte chunks: the first four chunks of a section and every chunk
// below address 256 become whole records; from the others only the runs of bytes other than
// 0xFF become records, the erased bytes cost nothing on the link.
class BinaryImageDecoder {
  public:
    BinaryImageDecoder(platform::ReadableFile& file, ProgramSink& sink)
        : file_(file), reader_(file), sink_(sink) {}

    DecodeResult run();

  private:
    enum class Step { NextSection, Done };
    // One section from its start mark to its end mark.
    std::variant<Step, DecodeResult> section();
    bool sendRuns(std::uint32_t address, std::span<const std::uint8_t> data);
    // Reads exactly buffer.size() bytes; false when the file ends or fails first.
    bool readExactly(std::span<std::uint8_t> buffer) {
        const std::size_t got = reader_.readFully(buffer);
        consumed_ += got;
        return got == buffer.size();
    }
    std::uint64_t left() const { return fileSize_ - std::min(consumed_, fileSize_); }
    // "section 2 at byte 1234": where a section's trouble is.
    std::string where(std::uint64_t offset) const {
        return "section " + std::to_string(sectionNumber_) + " at byte " + std::to_string(offset);
    }

    platform::ReadableFile& file_;
    BlockReader reader_;
    ProgramSink& sink_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t consumed_ = 0;
    int sectionNumber_ = 0;
};

// Sends each run of bytes other than 0xFF as a record at its own address; runs never reach
// across the chunk, and a chunk of 0xFF bytes only sends nothing.
bool BinaryImageDecoder::sendRuns(std::uint32_t address, std::span<const std::uint8_t> data) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && data[i] != kErasedByte) {
            continue;
        }
        if (i > runStart && !sink_.record(address + static_cast<std::uint32_t>(runStart),
                                          data.subspan(runStart, i - runStart))) {
            return false;
        }
        runStart = i + 1;
    }
    return true;
}

// The header is checked whole before any of the section's data goes out: its marks, that the
// file holds the declared data and the end mark, and that the data stay below 4 GiB.
std::variant<BinaryImageDecoder::Step, DecodeResult> BinaryImageDecoder::section() {
    ++sectionNumber_;
    const std::uint64_t start = consumed_;
    std::array<std::uint8_t, kSectionHeaderSize> header{};
    const std::size_t headerBytes = reader_.readFully(header);
    consumed_ += headerBytes;
    const auto offset = static_cast<std::int64_t>(start);
    const std::size_t markBytes = std::min(headerBytes, kStartMark.size());
    if (!std::equal(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(markBytes),
                    kStartMark.begin())) {
        return formatError(where(start) + ": the start mark \"TOLVEXSTART\" is missing", offset);
    }
    if (headerBytes < kSectionHeaderSize) {
        const char* field = headerBytes < kStartMark.size()       ? "start mark"
                            : headerBytes < kStartMark.size() + 4 ? "address"
                                                                  : "length";
        return formatError(where(start) + ": the file ends inside the section's " +
                               std::string(field) + " (" + std::to_string(headerBytes) + " of " +
                               std::to_string(kSectionHeaderSize) + " header bytes)",
                           static_cast<std::int64_t>(consumed_));
    }
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        address = (address << 8) | header[kStartMark.size() + i];
        length = (length << 8) | header[kStartMark.size() + 4 + i];
    }
    if (std::uint64_t{address} + length > kAddressSpaceEnd) {
        return formatError(where(start) + ": its " + std::to_string(length) + " bytes at " +
                               hexAddress(address) + " run past address 0xFFFFFFFF",
                           offset);
    }
    if (length > left()) {
        return formatError(where(start) + ": the section declares " + std::to_string(length) +
                               " data bytes, the file holds " + std::to_string(left()) +
                               " after its header",
                           offset);
    }

    sink_.covers(address, length);
    std::array<std::uint8_t, kSectionChunkSize> chunk{};
    std::uint32_t remaining = length;
    for (std::uint32_t chunkIndex = 0;; ++chunkIndex) {
        const std::size_t want = std::min<std::size_t>(kSectionChunkSize, remaining);
        const std::span<std::uint8_t> data(chunk.data(), want);
        if (!readExactly(data)) {
            return readError(static_cast<std::int64_t>(consumed_), fileSize_);
        }
        remaining -= static_cast<std::uint32_t>(want);
        const bool whole = address < kWholeChunkAddressLimit || chunkIndex < kWholeChunksPerSection;
        if (!(whole ? sink_.record(address, data) : sendRuns(address, data))) {
            return stopped();
        }
        if (remaining == 0) {
            break;
        }
        address += static_cast<std::uint32_t>(want);
        sink_.progress(consumed_, fileSize_);
    }
    std::array<std::uint8_t, kEndMark.size()> mark{};
    const std::uint64_t markAt = consumed_;
    const bool complete = readExactly(mark);
    if (!complete || !std::equal(mark.begin(), mark.end(), kEndMark.begin())) {
        return formatError(where(start) + ": the end mark \"TOLVEXEND\" is " +
                               (complete ? "wrong" : "missing") + " at byte " +
                               std::to_string(markAt),
                           static_cast<std::int64_t>(markAt));
    }
    return consumed_ >= fileSize_ ? Step::Done : Step::NextSection;
}

// Sections back to back until the file ends.
DecodeResult BinaryImageDecoder::run() {
    const std::int64_t size = file_.size();
    if (size < 0) {
        return readError(0, 0);
    }
    fileSize_ = static_cast<std::uint64_t>(size);
    if (fileSize_ == 0) {
        return formatError("the file is empty", 0);
    }
    for (;;) {
        auto step = section();
        if (auto* ended = std::get_if<DecodeResult>(&step)) {
            return *ended;
        }
        if (std::get<Step>(step) == Step::Done) {
            return completed();
        }
    }
}

}  // namespace

DecodeResult decodeBinaryImage(platform::ReadableFile& file, ProgramSink& sink) {
    BinaryImageDecoder decoder(file, sink);
    return decoder.run();
}

}  // namespace vorlanth::readers
