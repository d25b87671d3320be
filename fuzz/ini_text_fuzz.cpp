// Fuzz target: look-up and write-through of the settings files' INI text on arbitrary text.
//
// Input layout: section, key and value separated by NUL bytes, then the file's text. Checked:
// a written key reads back as the value, writing it again changes nothing, and every other
// line of the text is kept (only the key's line is replaced, or the key's line and at most a
// new section line are added).
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_text.h"

namespace {

namespace ini = vorlanth::platform::ini;

[[noreturn]] void invariantBroken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

// Takes the text up to the next NUL (or to the end) off the front of input.
std::string_view takeField(std::string_view& input) {
    const std::size_t end = input.find('\0');
    const std::string_view field = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return field;
}

// The text's lines without their line ends and the CRs before them: a stray CR ending the
// last line joins the line end that adding a line puts after it.
std::vector<std::string_view> lineBodies(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    return lines;
}

std::string_view trimmed(std::string_view text) {
    const char* const blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) + 1 - first);
}

// A line that names key (in any case) before its "=".
bool isLineOfKey(std::string_view line, std::string_view key) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const std::string_view name = trimmed(line.substr(0, equals));
    if (name.size() != key.size()) {
        return false;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (lower(name[i]) != lower(key[i])) {
            return false;
        }
    }
    return true;
}

// True when after differs from before only by the written key's line (replaced or added)
// and at most one added section line.
bool keepsOtherLines(std::string_view before, std::string_view after, std::string_view section,
                     std::string_view key, std::string_view value) {
    const std::vector<std::string_view> old = lineBodies(before);
    const std::vector<std::string_view> now = lineBodies(after);
    const std::string sectionLine = "[" + std::string(section) + "]";
    std::size_t i = 0;
    std::size_t j = 0;
    int added = 0;
    int replaced = 0;
    while (j < now.size()) {
        if (i < old.size() && old[i] == now[j]) {
            ++i;
            ++j;
        } else if (i < old.size() && replaced == 0 && isLineOfKey(old[i], key) &&
                   isLineOfKey(now[j], key) &&
                   trimmed(now[j].substr(now[j].find('=') + 1)) == value) {
            ++replaced;
            ++i;
            ++j;
        } else if (added < 2 && (now[j] == sectionLine ||
                                 now[j] == std::string(key) + "=" + std::string(value))) {
            ++added;
            ++j;
        } else {
            return false;
        }
    }
    return i == old.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view section = takeField(input);
    const std::string_view key = takeField(input);
    const std::string_view value = takeField(input);
    const std::string_view text = input;

    (void)ini::findValue(text, section, key);
    const std::optional<std::string> written = ini::withValue(text, section, key, value);
    if (!written) {
        return 0;
    }
    const std::optional<std::string> readBack = ini::findValue(*written, section, key);
    if (!readBack) {
        invariantBroken("a written key is not found");
    }
    // A value in a matching pair of quotes reads back without them; blanks around it are
    // dropped.
    const std::string_view stored = trimmed(value);
    const bool quoted = stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
                        stored.back() == stored.front();
    if (!quoted && *readBack != stored) {
        invariantBroken("a written key reads back another value");
    }
    if (ini::withValue(*written, section, key, value) != written) {
        invariantBroken("writing the same value again changed the text");
    }
    if (!keepsOtherLines(text, *written, trimmed(section), trimmed(key), stored)) {
        invariantBroken("a line other than the key's was changed or lost");
    }
    return 0;
}
