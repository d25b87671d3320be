// What the decoders share for reading their files: whole pieces however the file delivers
// them, and the block reader through which every program file is read.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/files.h"

namespace vorlanth::readers {

// Reads until buffer is full, the file ends or a read fails; returns the bytes read.
std::size_t readFully(platform::ReadableFile& file, std::span<std::uint8_t> buffer);

// Reads a program file in blocks of kBlockSize and hands the decoder the pieces it asks for from
// memory, so that a file costs one read a block, whatever the size of its pieces. The decoder
// sees the same bytes in the same pieces as when it reads the file itself. The block is taken
// from the heap when first needed, and only the part of it a read fills is ever touched.
class BlockReader {
  public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    explicit BlockReader(platform::ReadableFile& file) : file_(file) {}

    // Copies the next bytes into buffer until it is full, the file ends or a read fails; the
    // bytes copied.
    std::size_t readFully(std::span<std::uint8_t> buffer);
    // The next scratch.size() bytes (fewer only where the file ends or a read fails): a view into
    // the block when they lie in it, otherwise gathered into scratch. The view stays valid until
    // the next call.
    std::span<const std::uint8_t> next(std::span<std::uint8_t> scratch);

  private:
    // Reads the next block; false when the file ends or the read fails.
    bool refill();

    platform::ReadableFile& file_;
    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
};

}  // namespace vorlanth::readers
