// Counts and checksums made right in S-record text after the fuzzer has mutated it: a line with
// a wrong checksum is refused before anything else is looked at, so without this almost no
// mutant would get past the line check into the joining of records.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlanth::fuzzing {

// The value of a hexadecimal digit in either case; -1 for any other byte.
inline int hexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

inline void writeHexPair(std::uint8_t* at, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    at[0] = static_cast<std::uint8_t>(kDigits[(value >> 4) & 0xF]);
    at[1] = static_cast<std::uint8_t>(kDigits[value & 0xF]);
}

// Rewrites, in place, the checksum (and with counts, the count) of every line that is "S", a
// type digit and an even number of hexadecimal digits (at least count, one address byte and
// checksum); other lines stay as they are, and so does the text's length.
inline void repairSRecordLines(std::uint8_t* data, std::size_t size, bool counts) {
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && data[end] != '\n') {
            ++end;
        }
        std::uint8_t* const line = data + start;
        std::size_t length = end - start;
        start = end + 1;
        if (length > 0 && line[length - 1] == '\r') {
            --length;
        }
        const std::size_t pairs = length >= 2 ? (length - 2) / 2 : 0;
        if (pairs < 3 || pairs > 256 || length % 2 != 0 || line[0] != 'S' || line[1] < '0' ||
            line[1] > '9') {
            continue;
        }
        bool hex = true;
        for (std::size_t i = 2; i < length && hex; ++i) {
            hex = hexDigit(line[i]) >= 0;
        }
        if (!hex) {
            continue;
        }
        if (counts) {
            writeHexPair(line + 2, static_cast<unsigned>(pairs - 1));
        }
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < pairs; ++i) {
            sum +=
                static_cast<unsigned>(hexDigit(line[2 + 2 * i]) * 16 + hexDigit(line[3 + 2 * i]));
        }
        writeHexPair(line + length - 2, 0xFF - (sum & 0xFF));
    }
}

}  // namespace vorlanth::fuzzing

// The fuzzer's own mutation; absent (null) in the replay drivers, which never mutate.
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize)
    __attribute__((weak));
