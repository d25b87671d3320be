// The one JSON writer: compact text, members in the order written, every string valid UTF-8.
// The --json events, the --check report and the fleet's closing event are all written with it.
#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanth {

// True when text is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text);

// Quotes text as a JSON string: each byte that is not part of a well-formed UTF-8 sequence
// becomes U+FFFD, and control characters (C0, DEL and C1) are escaped.
std::string jsonString(std::string_view text);

// Builds one JSON value piece by piece. Commas come by themselves: between the members of an
// object and between the elements of an array. A writer made by membersOnly() writes members
// for an object that another writer has open, each led by its comma, for append().
class JsonWriter {
  public:
    JsonWriter() = default;
    static JsonWriter membersOnly();

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The name of the next member of the open object; its value follows.
    JsonWriter& key(std::string_view name);

    JsonWriter& string(std::string_view text);
    template <std::integral Number>
    requires(!std::same_as<Number, bool>) JsonWriter& number(Number value) {
        return raw(std::to_string(value));
    }
    // A number with a fixed count of decimals: fixed(1.5, 3) is 1.500.
    JsonWriter& fixed(double value, int decimals);
    JsonWriter& boolean(bool value);

    // The member name: text, and beside it name_bytes with the raw bytes in hex when the text
    // is not valid UTF-8, so that a script can still name a file whose name is not.
    JsonWriter& textMember(std::string_view name, std::string_view text);

    // Members that a membersOnly() writer wrote, into the open object.
    JsonWriter& append(std::string_view members);

    const std::string& text() const { return text_; }

  private:
    // Writes json as the next value: after its key, or as the next element.
    JsonWriter& raw(std::string_view json);
    // The comma before a member or an element, unless it is the first of its object or array.
    void separate();

    std::string text_;
    std::vector<bool> empty_;  // per open object or array: nothing in it yet
    bool afterKey_ = false;
};

}  // namespace vorlanth
