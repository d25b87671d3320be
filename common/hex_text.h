// Terminal memory addresses written as hexadecimal text, for messages and the --check report.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorlanth {

// An address of the terminal's memory as people write it: "0x0001F000" (eight digits, more
// only for the end of the address space, 0x100000000).
std::string hexAddress(std::uint64_t address);

// Bytes as two lower-case hexadecimal digits each, with nothing between them.
std::string hexBytes(std::span<const std::uint8_t> bytes);

// Fills bytes from text of exactly two hexadecimal digits (either case) a byte; false, with
// bytes left as they were, for any other text.
bool bytesFromHex(std::string_view text, std::span<std::uint8_t> bytes);

}  // namespace vorlanth
