// Decimal numbers read from text the way the settings file and the dialog's edit boxes give
// them: the leading number of a text, and a whole text as an unsigned number.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlanth {

// The leading decimal number of a text, as the standard decimal conversion reads it:
// leading white space skipped, an optional sign, digits up to the first other character;
// 0 when there are no digits; a value beyond the signed 32-bit range gives the nearest limit.
std::int32_t leadingDecimal(std::string_view text);

// Reads a whole text as an unsigned decimal number, as an edit box reports its number:
// optional blanks and sign, then digits only. Returns false when the text is not a number.
bool readUnsignedDecimal(std::string_view text, std::uint32_t& value);

}  // namespace vorlanth
