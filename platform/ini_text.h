// The INI text model under the POSIX settings store: finding a key's value and setting one while
// keeping every other line byte for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text of private-profile (INI) files, as the platform's profile functions read and write it:
// "[Section]" lines open sections, "Key=Value" lines hold values, lines starting with ";" are
// comments. Section and key names match without regard to case; blanks around names and values
// are dropped; a value enclosed in a matching pair of quotes is read without them.
namespace vorlanth::platform::ini {

// The value of key in the first section named section, or nothing when the section or the
// key is missing.
std::optional<std::string> findValue(std::string_view text, std::string_view section,
                                     std::string_view key);

// The text with key set to value in section, every other line kept byte for byte. A missing
// section is appended at the end, a missing key after the last line of its section. New lines
// take the line end of the text's first line, CR LF in a text without one. Nothing when a name
// or the value cannot be stored (empty key, a line break anywhere, "]" in the section, "=" in
// the key, a key that would read as a section or comment line).
std::optional<std::string> withValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value);

}  // namespace vorlanth::platform::ini
