// Reads and edits INI text line by line: sections and keys matched without regard to case,
// new sections and keys placed where the system's profile functions would put them.
#include "platform/ini_text.h"

#include <cstddef>
#include <vector>

#include "common/text.h"

namespace vorlanth::platform::ini {

namespace {

// A name or value without the white space around it.
std::string_view trim(std::string_view text) {
    return trimmed(text, kWhiteSpace);
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

enum class LineKind { Other, Section, Key };

// One line of the text: its content without the line end, the line end ("\r\n", "\n" or
// nothing on a last line without one) and what it holds.
struct Line {
    std::string_view body;
    std::string_view ending;
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

// Classifies one line. A section line is "[" up to the last "]"; a key line holds "=" and does
// not start with ";"; everything else (blank lines, comments, stray text) is kept as it is.
Line classify(std::string_view body, std::string_view ending) {
    Line line{body, ending, LineKind::Other, {}, {}};
    const std::string_view content = trim(body);
    if (content.empty() || content.front() == ';') {
        return line;
    }
    if (content.front() == '[') {
        const std::size_t close = content.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = trim(content.substr(1, close - 1));
            return line;
        }
    }
    const std::size_t equals = content.find('=');
    if (equals != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = trim(content.substr(0, equals));
        line.value = trim(content.substr(equals + 1));
    }
    return line;
}

// Splits the text into lines; a CR before LF belongs to the line end.
std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        if (newline == std::string_view::npos) {
            lines.push_back(classify(text.substr(start), {}));
            break;
        }
        std::size_t bodyEnd = newline;
        if (bodyEnd > start && text[bodyEnd - 1] == '\r') {
            --bodyEnd;
        }
        lines.push_back(classify(text.substr(start, bodyEnd - start),
                                 text.substr(bodyEnd, newline + 1 - bodyEnd)));
        start = newline + 1;
    }
    return lines;
}

// Index of the first section line named section, or lines.size().
std::size_t findSection(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && sameName(lines[i].name, section)) {
            return i;
        }
    }
    return lines.size();
}

// A value in a matching pair of single or double quotes is read without them.
std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::optional<std::string> findValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
    section = trim(section);
    key = trim(key);
    const std::vector<Line> lines = splitLines(text);
    for (std::size_t i = findSection(lines, section) + 1; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section) {
            break;
        }
        if (lines[i].kind == LineKind::Key && sameName(lines[i].name, key)) {
            return std::string(unquote(lines[i].value));
        }
    }
    return std::nullopt;
}

std::optional<std::string> withValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    value = trim(value);
    if (key.empty() || hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';') {
        return std::nullopt;
    }

    const std::vector<Line> lines = splitLines(text);
    const std::string_view lineEnd =
        (!lines.empty() && !lines.front().ending.empty()) ? lines.front().ending : "\r\n";
    const std::size_t sectionLine = findSection(lines, section);

    // Where the key's line goes: in place of the key's old line, or after the last line of the
    // section that is not blank.
    std::size_t replaced = lines.size();
    std::size_t insertAfter = sectionLine;
    if (sectionLine < lines.size()) {
        for (std::size_t i = sectionLine + 1; i < lines.size(); ++i) {
            if (lines[i].kind == LineKind::Section) {
                break;
            }
            if (lines[i].kind == LineKind::Key && sameName(lines[i].name, key)) {
                replaced = i;
                break;
            }
            if (!trim(lines[i].body).empty()) {
                insertAfter = i;
            }
        }
    }

    std::string result;
    result.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == replaced) {
            // The name keeps the spelling it has in the file.
            result.append(lines[i].name).append("=").append(value).append(lines[i].ending);
            continue;
        }
        result.append(lines[i].body);
        if (i == insertAfter && replaced == lines.size()) {
            result.append(lines[i].ending.empty() ? lineEnd : lines[i].ending);
            result.append(key).append("=").append(value);
            // A key added after the file's last line ends as that line did.
            result.append(i + 1 < lines.size() || !lines[i].ending.empty() ? lineEnd : "");
            continue;
        }
        result.append(lines[i].ending);
    }
    if (sectionLine == lines.size()) {
        if (!lines.empty() && lines.back().ending.empty()) {
            result.append(lineEnd);
        }
        result.append("[").append(section).append("]").append(lineEnd);
        result.append(key).append("=").append(value).append(lineEnd);
    }
    return result;
}

}  // namespace vorlanth::platform::ini
