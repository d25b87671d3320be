// Terminal memory addresses written as hexadecimal text, for messages and the --check report.
#pragma once

#include <cstdint>
#include <string>

namespace vorlanth {

// An address of the terminal's memory as people write it: "0x0001F000" (eight digits, more
// only for the end of the address space, 0x100000000).
std::string hexAddress(std::uint64_t address);

}  // namespace vorlanth
