// Formats a terminal memory address as "0x" and eight or more upper-case hexadecimal digits.
#include "common/hex_text.h"

#include <cstdio>

namespace vorlanth {

std::string hexAddress(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(address));
    return text;
}

}  // namespace vorlanth
