// Fuzz target: any bytes in a name (a program path, a failure's object, a fleet target's text)
// and in the texts beside it through the --json event writer. Checked: every event is one line
// that a strict JSON reader takes whole, an object led by its "event"; a name that is UTF-8
// reads back as itself, and any other name has a "_bytes" member beside it whose hex gives the
// name back byte for byte, while the text member holds it with U+FFFD for each stray byte.
//
// Input layout: byte 0 gives the name's length, then the name, then the other texts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/invariant.h"
#include "fuzz/strict_json.h"
#include "ui/console/json_events.h"

namespace {

using namespace vorlanth;
using fuzzing::JsonValue;
using fuzzing::require;

// Collects the lines of a fleet target's writer.
class LineCollector final : public ui::console::JsonLineSink {
  public:
    void writeJsonLine(std::string line) override { lines.push_back(std::move(line)); }
    std::vector<std::string> lines;
};

// The name with every byte that starts no well-formed UTF-8 sequence replaced by U+FFFD.
std::string withReplacements(std::string_view name) {
    std::string text;
    while (!name.empty()) {
        const std::size_t length = fuzzing::utf8Length(name);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            name.remove_prefix(1);
        } else {
            text.append(name.substr(0, length));
            name.remove_prefix(length);
        }
    }
    return text;
}

// Decodes lower-case hex pairs; nothing for any other text.
std::optional<std::string> fromHex(std::string_view hex) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

// Reads one event line strictly; it must be an object whose first member is its event name.
JsonValue readEvent(std::string_view line, std::string_view event) {
    require(line.find('\n') == std::string_view::npos, "an event spread over lines");
    std::string why;
    const std::optional<JsonValue> value = fuzzing::StrictJsonReader(line).read(why);
    require(value.has_value(), "an event line that is not strict JSON", why);
    require(value->kind == JsonValue::Object && !value->names.empty() &&
                value->names[0] == "event" && value->items[0].kind == JsonValue::String &&
                value->items[0].text == event,
            "an event line that does not begin with its event's name", std::string(line));
    return *value;
}

// A text member that carries name: the name itself, or its replacement text and its bytes.
void checkNamed(const JsonValue& object, const std::string& member, std::string_view name) {
    const JsonValue* text = object.member(member);
    const JsonValue* bytes = object.member(member + "_bytes");
    require(text != nullptr && text->kind == JsonValue::String, "a name's member is missing",
            member);
    if (fuzzing::isUtf8(name)) {
        require(text->text == name && bytes == nullptr, "a UTF-8 name does not read back", member);
        return;
    }
    require(text->text == withReplacements(name), "a name's text is not its replacement text",
            member);
    require(bytes != nullptr && bytes->kind == JsonValue::String &&
                fromHex(bytes->text) == std::string(name),
            "a name's bytes do not give the name back", member);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string name(input.substr(0, std::min<std::size_t>(data[0], input.size())));
    const std::string other(input.substr(name.size()));

    // A single upload's writer on a stream: the start event names the program.
    UploadSettings settings;
    settings.programPath.assignCut(name);
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* stream = open_memstream(&buffer, &length);
    require(stream != nullptr, "no memory stream");
    ui::console::JsonEventWriter(stream).start(settings);
    std::fclose(stream);
    const std::string written(buffer, length);
    std::free(buffer);
    require(!written.empty() && written.back() == '\n', "an event not ended by its line end");
    checkNamed(readEvent(std::string_view(written).substr(0, written.size() - 1), "start"), "file",
               name);

    // A fleet target's writer: every event carries the target, with the name as its text.
    LineCollector lines;
    ui::console::JsonEventWriter writer(lines, ui::console::targetMember(7, name));
    FailureDetail detail;
    detail.kind = FailureKind::System;
    detail.object = name;
    detail.reason = other;
    detail.osMessage = other;
    detail.hint = other;
    detail.line = 3;
    detail.column = 9;
    detail.offset = 42;
    writer.warning(other, detail);
    writer.message(other, detail);
    writer.stopped(other);
    require(lines.lines.size() == 3, "a fleet target's writer lost an event");
    const char* const events[] = {"warning", "message", "stopped"};
    for (std::size_t i = 0; i < lines.lines.size(); ++i) {
        const JsonValue event = readEvent(lines.lines[i], events[i]);
        const JsonValue* target = event.member("target");
        require(target != nullptr && target->kind == JsonValue::Object &&
                    target->member("text") != nullptr &&
                    target->member("text")->text == withReplacements(name),
                "an event without its target's text");
        if (i < 2 && !name.empty()) {
            checkNamed(event, "object", name);
        }
    }
    return 0;
}
