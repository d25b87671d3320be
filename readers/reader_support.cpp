// Reading a program file for the decoders: short reads joined, and the file taken in blocks.
#include "readers/reader_support.h"

#include <algorithm>
#include <cstring>

namespace vorlanth::readers {

// Short reads (pipes, network files) are joined, so that a decoder always sees whole pieces.
std::size_t readFully(platform::ReadableFile& file, std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const std::int64_t count = file.read(buffer.subspan(filled));
        if (count <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    return filled;
}

// One read of up to a block; a short one (the end of the file, a pipe) is kept as it came.
bool BlockReader::refill() {
    if (!block_) {
        block_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
    }
    const std::int64_t count = file_.read(std::span(block_.get(), kBlockSize));
    position_ = 0;
    end_ = count > 0 ? static_cast<std::size_t>(count) : 0;
    return end_ > 0;
}

std::size_t BlockReader::readFully(std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        if (position_ == end_ && !refill()) {
            break;
        }
        const std::size_t count = std::min(buffer.size() - filled, end_ - position_);
        std::memcpy(buffer.data() + filled, block_.get() + position_, count);
        position_ += count;
        filled += count;
    }
    return filled;
}

std::span<const std::uint8_t> BlockReader::next(std::span<std::uint8_t> scratch) {
    if (position_ == end_ && !refill()) {
        return {};
    }
    if (end_ - position_ >= scratch.size()) {
        const std::span<const std::uint8_t> view(block_.get() + position_, scratch.size());
        position_ += scratch.size();
        return view;
    }
    return scratch.first(readFully(scratch));
}

}  // namespace vorlanth::readers
