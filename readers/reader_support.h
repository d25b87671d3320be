// What the decoders share for reading a program file: whole pieces from short reads.
#pragma once

#include <cstdint>
#include <span>

#include "platform/files.h"

namespace vorlanth::readers {

// Reads until buffer is full, the file ends or a read fails; returns the bytes read.
std::size_t readFully(platform::ReadableFile& file, std::span<std::uint8_t> buffer);

}  // namespace vorlanth::readers
