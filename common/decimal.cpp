// Reads decimal numbers out of text without the C library's locale or errno: a leading number
// that saturates at the 32-bit limits, and a whole text as an edit box's unsigned number.
#include "common/decimal.h"

#include <limits>

namespace vorlanth {

namespace {
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::int32_t leadingDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and saturate, so an overlong run of digits cannot overflow.
    constexpr std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t value = 0;
    while (i < text.size() && isDigit(text[i])) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            value = limit;
        }
        ++i;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

bool readUnsignedDecimal(std::string_view text, std::uint32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i >= text.size()) {
        value = 0;
        return false;
    }
    std::uint64_t number = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) {
            value = 0;
            return false;
        }
        number = number * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (number > std::numeric_limits<std::uint32_t>::max()) {
            value = 0;
            return false;
        }
    }
    auto low = static_cast<std::uint32_t>(number);
    value = negative ? static_cast<std::uint32_t>(0u - low) : low;
    return true;
}

}  // namespace vorlanth
