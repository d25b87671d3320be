// A strict JSON reader for the fuzz targets: the grammar of RFC 8259 and nothing more (no
// comments, no trailing commas, no NaN, no bare control characters), valid UTF-8 only, escapes
// decoded with surrogate pairs joined and a lone surrogate refused, and a member name used twice
// in one object refused. It gives the value read, so that a target can compare members.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanth::fuzzing {

struct JsonValue {
    enum Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Null;
    std::string text;  // a string's value (UTF-8), a number as written, "true" or "false"
    std::vector<JsonValue> items;    // an array's items, or an object's values
    std::vector<std::string> names;  // an object's member names, beside its values

    // The member called name of an object; nullptr when there is none.
    const JsonValue* member(std::string_view name) const {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) {
                return &items[i];
            }
        }
        return nullptr;
    }
};

// The length of the well-formed UTF-8 sequence at the start of text (RFC 3629: no overlong
// form, no surrogate, nothing above U+10FFFF), or 0 when there is none.
inline std::size_t utf8Length(std::string_view text) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty()) {
        return 0;
    }
    const unsigned char lead = at(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (at(i) & 0x3Fu);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

inline bool isUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8Length(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

class StrictJsonReader {
  public:
    explicit StrictJsonReader(std::string_view text) : text_(text) {}

    // The one value the whole text holds (blanks around it allowed); nothing, with why, when
    // the text is not exactly that.
    std::optional<JsonValue> read(std::string& why) {
        JsonValue value;
        skipBlanks();
        if (!readValue(value, 0)) {
            why = why_ + " at byte " + std::to_string(at_);
            return std::nullopt;
        }
        skipBlanks();
        if (at_ != text_.size()) {
            why = "text after the value at byte " + std::to_string(at_);
            return std::nullopt;
        }
        return value;
    }

  private:
    static constexpr int kMaxDepth = 64;

    bool fail(const char* why) {
        why_ = why;
        return false;
    }
    bool more() const { return at_ < text_.size(); }
    char peek() const { return more() ? text_[at_] : '\0'; }
    void skipBlanks() {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++at_;
        }
    }
    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return fail("an unknown word");
        }
        at_ += word.size();
        return true;
    }

    bool readValue(JsonValue& value, int depth) {
        if (depth > kMaxDepth) {
            return fail("nested too deep");
        }
        switch (peek()) {
            case '{':
                value.kind = JsonValue::Object;
                return readObject(value, depth);
            case '[':
                value.kind = JsonValue::Array;
                return readArray(value, depth);
            case '"':
                value.kind = JsonValue::String;
                return readString(value.text);
            case 't':
                value.kind = JsonValue::Boolean;
                value.text = "true";
                return literal("true");
            case 'f':
                value.kind = JsonValue::Boolean;
                value.text = "false";
                return literal("false");
            case 'n':
                value.kind = JsonValue::Null;
                return literal("null");
            default:
                value.kind = JsonValue::Number;
                return readNumber(value.text);
        }
    }

    bool readObject(JsonValue& value, int depth) {
        ++at_;
        skipBlanks();
        if (peek() == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            std::string name;
            if (peek() != '"') {
                return fail("a member without a quoted name");
            }
            if (!readString(name)) {
                return false;
            }
            if (value.member(name) != nullptr) {
                return fail("a member name used twice");
            }
            skipBlanks();
            if (peek() != ':') {
                return fail("no colon after a member name");
            }
            ++at_;
            skipBlanks();
            value.names.push_back(std::move(name));
            value.items.emplace_back();
            if (!readValue(value.items.back(), depth + 1)) {
                return false;
            }
            skipBlanks();
            if (peek() == '}') {
                ++at_;
                return true;
            }
            if (peek() != ',') {
                return fail("no comma or brace after a member");
            }
            ++at_;
            skipBlanks();
        }
    }

    bool readArray(JsonValue& value, int depth) {
        ++at_;
        skipBlanks();
        if (peek() == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            value.items.emplace_back();
            if (!readValue(value.items.back(), depth + 1)) {
                return false;
            }
            skipBlanks();
            if (peek() == ']') {
                ++at_;
                return true;
            }
            if (peek() != ',') {
                return fail("no comma or bracket after an item");
            }
            ++at_;
            skipBlanks();
        }
    }

    bool readNumber(std::string& number) {
        const std::size_t start = at_;
        const auto digits = [&] {
            const std::size_t first = at_;
            while (more() && peek() >= '0' && peek() <= '9') {
                ++at_;
            }
            return at_ > first;
        };
        if (peek() == '-') {
            ++at_;
        }
        if (peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return fail("not a value");
        }
        if (peek() == '.') {
            ++at_;
            if (!digits()) {
                return fail("no digit after a decimal point");
            }
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') {
                ++at_;
            }
            if (!digits()) {
                return fail("no digit in an exponent");
            }
        }
        number = std::string(text_.substr(start, at_ - start));
        return true;
    }

    bool hexQuad(std::uint32_t& code) {
        if (text_.size() - at_ < 4) {
            return fail("a \\u escape cut short");
        }
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) {
                return fail("a \\u escape with a non-hex digit");
            }
            code = code << 4 | static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    static void appendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool readEscape(std::string& out) {
        const char c = peek();
        ++at_;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return fail("an unknown escape");
        }
        std::uint32_t code = 0;
        if (!hexQuad(code)) {
            return false;
        }
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return fail("a lone low surrogate");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.substr(at_, 2) != "\\u") {
                return fail("a high surrogate without its low half");
            }
            at_ += 2;
            if (!hexQuad(low)) {
                return false;
            }
            if (low < 0xDC00 || low > 0xDFFF) {
                return fail("a high surrogate without its low half");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, code);
        return true;
    }

    bool readString(std::string& out) {
        ++at_;  // the opening quote
        for (;;) {
            if (!more()) {
                return fail("a string without its closing quote");
            }
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) {
                return fail("a bare control character in a string");
            }
            if (c == '\\') {
                ++at_;
                if (!readEscape(out)) {
                    return false;
                }
                continue;
            }
            const std::size_t length = utf8Length(text_.substr(at_));
            if (length == 0) {
                return fail("not UTF-8");
            }
            out.append(text_.substr(at_, length));
            at_ += length;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string why_;
};

}  // namespace vorlanth::fuzzing
