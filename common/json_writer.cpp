// The JSON writer of common/json_writer.h and its string quoting.
#include "common/json_writer.h"

#include <cstdint>
#include <cstdio>
#include <span>

#include "common/hex_text.h"

namespace vorlanth {

namespace {

// Length of the well-formed UTF-8 sequence at the start of text, or 0 when it does not start
// with one: a stray continuation byte, an overlong form, a surrogate, a value above U+10FFFF,
// a byte that never occurs, or a sequence cut short.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte; later bytes are 0x80..0xBF
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // below: overlong
        high = lead == 0xED ? 0x9F : 0xBF;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;   // below: overlong
        high = lead == 0xF4 ? 0x8F : 0xBF;  // above: beyond U+10FFFF
    } else {
        return 0;  // 0x80..0xC1 and 0xF5..0xFF never lead a sequence
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

std::string jsonString(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) {
            quoted += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            continue;
        }
        const auto lead = static_cast<unsigned char>(text[0]);
        // The code point of a one- or two-byte sequence; the control characters are there.
        const unsigned code =
            length == 1   ? lead
            : length == 2 ? ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(text[1]) & 0x3Fu)
                          : 0x800u;
        switch (code) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
                    quoted += escaped;
                } else {
                    quoted.append(text.substr(0, length));
                }
        }
        text.remove_prefix(length);
    }
    return quoted + "\"";
}

// A members-only writer stands inside an object that already holds a member.
JsonWriter JsonWriter::membersOnly() {
    JsonWriter writer;
    writer.empty_.push_back(false);
    return writer;
}

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back()) {
            text_ += ',';
        }
        empty_.back() = false;
    }
}

JsonWriter& JsonWriter::raw(std::string_view json) {
    separate();
    text_.append(json);
    return *this;
}

JsonWriter& JsonWriter::beginObject() {
    separate();
    text_ += '{';
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    text_ += '}';
    empty_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    separate();
    text_ += '[';
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    text_ += ']';
    empty_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    text_.append(jsonString(name)).append(":");
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    return raw(jsonString(text));
}

// The length is taken first: a large value has as many digits as it needs.
JsonWriter& JsonWriter::fixed(double value, int decimals) {
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, value);
    return raw(text);
}

JsonWriter& JsonWriter::boolean(bool value) {
    return raw(value ? "true" : "false");
}

JsonWriter& JsonWriter::textMember(std::string_view name, std::string_view text) {
    key(name).string(text);
    if (!isValidUtf8(text)) {
        key(std::string(name) + "_bytes")
            .string(hexBytes(
                std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
    }
    return *this;
}

// The members come led by a comma; the first member of an object goes without it.
JsonWriter& JsonWriter::append(std::string_view members) {
    if (members.empty()) {
        return *this;
    }
    if (!empty_.empty() && empty_.back() && members.front() == ',') {
        members.remove_prefix(1);
    }
    if (!empty_.empty()) {
        empty_.back() = false;
    }
    text_.append(members);
    return *this;
}

}  // namespace vorlanth
