// Hexadecimal text: memory addresses as the reports write them, and byte strings both ways.
#include "common/hex_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vorlanth {

namespace {

// The value of one hexadecimal digit, -1 for any other character.
int digitValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string hexAddress(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(address));
    return text;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

bool bytesFromHex(std::string_view text, std::span<std::uint8_t> bytes) {
    if (text.size() != bytes.size() * 2) {
        return false;
    }
    std::vector<std::uint8_t> values(bytes.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int high = digitValue(text[2 * i]);
        const int low = digitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        values[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    std::copy(values.begin(), values.end(), bytes.begin());
    return true;
}

}  // namespace vorlanth
