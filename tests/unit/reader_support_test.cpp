// The block reader the decoders read program files through: the same bytes in the same pieces
// as reading the file directly, one file read a block, and short or failing reads kept.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "readers/reader_support.h"

namespace vorlanth::readers {
namespace {

// A file in memory that counts its reads, delivers at most limit bytes a read (0: no limit)
// and fails every read that would reach past failAt.
class CountingFile final : public platform::ReadableFile {
  public:
    CountingFile(std::size_t size, std::size_t limit, std::optional<std::size_t> failAt)
        : limit_(limit), failAt_(failAt) {
        bytes_.resize(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes_[i] = static_cast<std::uint8_t>((i * 131 + i / 251) & 0xFF);
        }
    }
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        ++reads;
        std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        if (limit_ > 0) {
            count = std::min(count, limit_);
        }
        if (failAt_ && position_ + count > *failAt_) {
            return -1;
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return static_cast<std::int64_t>(count);
    }
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }
    bool rewind() override {
        position_ = 0;
        return true;
    }

    std::vector<std::uint8_t> bytes_;
    int reads = 0;

  private:
    std::size_t limit_;
    std::optional<std::size_t> failAt_;
    std::size_t position_ = 0;
};

// Pieces of the decoders' sizes, taken both ways (copied and viewed in place), give the file's
// bytes in order up to its end or the failed read; a regular file costs one read a block.
TEST(BlockReader, PiecesComeWholeAndTheFileIsReadABlockAtATime) {
    constexpr std::size_t kBlock = BlockReader::kBlockSize;
    struct Case {
        const char* name;
        std::size_t size;
        std::size_t piece;
        std::size_t limit;
        std::optional<std::size_t> failAt;
        std::size_t delivered;  // bytes the pieces hold in all
        int mostReads;          // file reads, the one that finds the end included
    };
    const std::vector<Case> cases = {
        {"empty file", 0, 256, 0, std::nullopt, 0, 1},
        {"smaller than a piece", 100, 256, 0, std::nullopt, 100, 2},
        {"one block exactly", kBlock, 256, 0, std::nullopt, kBlock, 2},
        {"a block and a byte", kBlock + 1, 256, 0, std::nullopt, kBlock + 1, 3},
        {"S-record chunks over 4 MiB", 4 * 1024 * 1024 + 77, 256, 0, std::nullopt,
         4 * 1024 * 1024 + 77, 66},
        {"image chunks", 200003, 64, 0, std::nullopt, 200003, 5},
        {"header-sized pieces", 200003, 19, 0, std::nullopt, 200003, 5},
        {"short reads, pieces across them", 10000, 256, 100, std::nullopt, 10000, 101},
        {"short reads not dividing the piece", 10000, 64, 1000, std::nullopt, 10000, 11},
        {"failure in the second block", 3 * kBlock, 256, 0, kBlock + 5, kBlock, 2},
    };
    for (const Case& c : cases) {
        for (const bool inPlace : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (inPlace ? ", viewed" : ", copied"));
            CountingFile file(c.size, c.limit, c.failAt);
            BlockReader reader(file);
            std::vector<std::uint8_t> got;
            std::vector<std::uint8_t> scratch(c.piece);
            for (;;) {
                std::span<const std::uint8_t> piece;
                if (inPlace) {
                    piece = reader.next(scratch);
                } else {
                    piece = std::span(scratch).first(reader.readFully(scratch));
                }
                got.insert(got.end(), piece.begin(), piece.end());
                if (piece.size() < c.piece) {
                    break;  // only the end of the file or a failed read gives a short piece
                }
            }
            ASSERT_EQ(got.size(), c.delivered);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), file.bytes_.begin()));
            EXPECT_LE(file.reads, c.mostReads);
        }
    }
}

}  // namespace
}  // namespace vorlanth::readers
