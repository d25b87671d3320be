// The small texts of common/text.h.
#include "common/text.h"

#include <cstdio>

namespace vorlanth {

std::string_view trimmed(std::string_view text, std::string_view set) {
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(set) - first + 1);
}

std::string comPortName(int comPort) {
    return "COM" + std::to_string(comPort);
}

// The style decides on the value before rounding: 9.96 s is "10.0 s" in either style.
std::string secondsText(double seconds, SecondsStyle style) {
    char text[32];
    const bool tenths = style == SecondsStyle::Tenths || seconds < 10;
    std::snprintf(text, sizeof text, tenths ? "%.1f s" : "%.0f s", seconds);
    return text;
}

}  // namespace vorlanth
