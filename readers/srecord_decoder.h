// The hexadecimal pair reader of the S-record decoder, open to tests.
#pragma once

namespace vorlanth::readers {

// The value of two hexadecimal digits (upper or lower case), 0..255; -1 when either
// character is no hexadecimal digit.
int hexPairValue(char first, char second);

}  // namespace vorlanth::readers
