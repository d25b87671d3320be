// Reads a program file until a piece is whole, the file ends or a read fails.
#include "readers/reader_support.h"

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

}  // namespace vorlanth::readers
