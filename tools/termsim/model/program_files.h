// Readers of the three program file types, written for checking what the terminal
// received against the file it came from. They are kept apart from the loader's
// own readers on purpose: they are the second opinion.
#pragma once

#include "memory_image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlanth::termsim {

struct ExpectedImage {
    MemoryImage image;
    std::vector<std::string> warnings;
    std::string error;  // non-empty when the file cannot be read as its type
};

struct ExpectedBasic {
    std::vector<uint8_t> program;    // header, counts and pieces as the blocks carry them
    std::vector<uint8_t> companion;  // always 100 bytes: the file's first 100, zero-padded
    std::vector<std::string> warnings;
    std::string error;
};

// S-record text: S0/S5/S6 skipped, S1/S2/S3 data, S7/S8/S9 end; CR LF or LF line
// ends, either hex case, blank lines and trailing blanks ignored; text after the
// end record ignored. A wrong checksum is a warning, malformed hex an error.
ExpectedImage readSRecordProgram(std::span<const uint8_t> text);

// Sections of "TOLVEXSTART", 32-bit big-endian address and length, data,
// "TOLVEXEND", back to back. A last section cut short inside its data counts up to
// where the file ends (with a warning); a missing mark is an error.
ExpectedImage readSectionedImage(std::span<const uint8_t> bytes);

// BASIC object program: 8-byte header, 2-byte little-endian count N, N and then
// (N + 1) / 2 pieces of 64 bytes, count M, M pieces. A file shorter than its counts
// say is an error; bytes after the last piece are a warning.
ExpectedBasic readBasicProgram(std::span<const uint8_t> program,
                               std::span<const uint8_t> companion);

// The companion settings path: everything from the first "." of the file name
// replaced by ".ini", or ".ini" appended when the file name has no ".".
std::string companionPathFor(const std::string& programPath);

// Compares as flash reads: every address either side wrote, unwritten bytes as 0xFF.
// Returns "" when equal, otherwise where they differ.
std::string compareImages(const MemoryImage& expected, const MemoryImage& received);

// Compares the BASIC blocks byte for byte; "" when equal.
std::string compareBasic(const ExpectedBasic& expected, std::span<const uint8_t> program,
                         std::span<const uint8_t> companion);

}  // namespace vorlanth::termsim
