#include "ui/console/json_events.h"

#include "readers/file_types.h"
#include "shell/session.h"
#include "vorlanth/version.h"

namespace vorlanth::ui::console {

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

std::string hexText(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto value = static_cast<unsigned char>(c);
        hex += kDigits[value >> 4];
        hex += kDigits[value & 0x0F];
    }
    return hex;
}

}  // namespace

std::string textMember(std::string_view name, std::string_view text) {
    std::string member = ",\"" + std::string(name) + "\":" + jsonString(text);
    if (!isValidUtf8(text)) {
        member += ",\"" + std::string(name) + "_bytes\":\"" + hexText(text) + "\"";
    }
    return member;
}

// Always valid JSON: each byte that is not part of a well-formed UTF-8 sequence becomes
// U+FFFD, and control characters (C0, DEL and C1) are escaped.
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

namespace {

const char* linkName(int linkType) {
    switch (linkType) {
        case Serial:
            return "serial";
        case CradleIr:
            return "cradle-ir";
        default:
            return "network";
    }
}

}  // namespace

std::string detailMembers(const FailureDetail& detail) {
    if (detail.empty()) {
        return "";
    }
    std::string members = ",\"detail\":" + jsonString(describeFailure(detail));
    if (!detail.object.empty()) {
        members += textMember("object", detail.object);
    }
    if (detail.line > 0) {
        members += ",\"line\":" + std::to_string(detail.line);
        if (detail.column > 0) {
            members += ",\"column\":" + std::to_string(detail.column);
        }
    }
    if (detail.offset >= 0) {
        members += ",\"offset\":" + std::to_string(detail.offset);
    }
    if (detail.osErrorKind == OsErrorKind::Errno) {
        members += ",\"errno\":" + std::to_string(detail.osError);
    } else if (detail.osErrorKind == OsErrorKind::Win32) {
        members += ",\"win32_error\":" + std::to_string(detail.osError);
    }
    if (!detail.hint.empty()) {
        members += ",\"hint\":" + jsonString(detail.hint);
    }
    return members;
}

std::string targetMember(int line, std::string_view text) {
    return ",\"target\":{\"line\":" + std::to_string(line) + ",\"text\":" + jsonString(text) + "}";
}

// Every object begins {"event":"NAME"; a target's member goes right after the name.
void JsonEventWriter::write(std::string object) {
    if (!targetMembers_.empty()) {
        constexpr std::size_t kNameStart = std::string_view("{\"event\":\"").size();
        object.insert(object.find('"', kNameStart) + 1, targetMembers_);
    }
    if (sink_ != nullptr) {
        sink_->writeJsonLine(std::move(object));
        return;
    }
    std::fprintf(stream_, "%s\n", object.c_str());
    std::fflush(stream_);
}

void JsonEventWriter::start(const UploadSettings& settings) {
    std::string object = "{\"event\":\"start\",\"version\":" + jsonString(kVersion) +
                         textMember("file", settings.programPath.view()) + ",\"fileType\":\"" +
                         std::string(readers::fileTypeBehaviour(settings.fileType).jsonName) +
                         "\",\"link\":\"" + linkName(settings.linkType) + "\"";
    if (settings.linkType == Network) {
        object += ",\"address\":" + jsonString(settings.targetAddress.view()) +
                  ",\"port\":" + std::to_string(settings.targetPort);
    } else {
        object += ",\"comPort\":" + std::to_string(settings.comPort) + ",\"baud\":" +
                  std::to_string(settings.baudIndex >= 0 && settings.baudIndex < 5
                                     ? kBaudRates[static_cast<std::size_t>(settings.baudIndex)]
                                     : 0);
    }
    write(object + "}");
}

void JsonEventWriter::uploadEvent(UploadEvent event) {
    const char* name = "";
    const char* state = "";
    switch (event) {
        case UploadEvent::HandshakeStarted:
            name = "handshake", state = "started";
            break;
        case UploadEvent::HandshakeSucceeded:
            name = "handshake", state = "succeeded";
            break;
        case UploadEvent::HandshakeFailed:
            name = "handshake", state = "failed";
            break;
        case UploadEvent::EraseStarted:
            name = "erase", state = "started";
            break;
        case UploadEvent::EraseSucceeded:
            name = "erase", state = "succeeded";
            break;
        case UploadEvent::EraseFailed:
            name = "erase", state = "failed";
            break;
        case UploadEvent::TransferStarted:
            name = "transfer", state = "started";
            break;
        case UploadEvent::TransferFinished:
            name = "transfer", state = "finished";
            break;
        case UploadEvent::TransferFailed:
            name = "transfer", state = "failed";
            break;
    }
    write(std::string("{\"event\":\"") + name + "\",\"state\":\"" + state + "\"}");
}

void JsonEventWriter::progress(int percent, std::uint64_t consumed, std::uint64_t total) {
    write("{\"event\":\"progress\",\"percent\":" + std::to_string(percent) +
          ",\"bytes\":" + std::to_string(consumed) + ",\"total\":" + std::to_string(total) + "}");
}

void JsonEventWriter::message(const MessageBoxRequest& request, Answer answer) {
    std::string object = "{\"event\":\"message\",\"code\":" + std::to_string(request.code) +
                         ",\"text\":" + jsonString(request.text);
    if (request.buttons == MessageButtons::YesNo) {
        object += std::string(",\"answer\":\"") + (answer == Answer::Yes ? "yes" : "no") + "\"";
    }
    write(object + detailMembers(request.detail) + "}");
}

void JsonEventWriter::warning(std::string_view summary, const FailureDetail& detail) {
    write("{\"event\":\"warning\",\"text\":" + jsonString(summary) + detailMembers(detail) + "}");
}

void JsonEventWriter::fleet(const std::string& members) {
    write("{\"event\":\"fleet\"" + members + "}");
}

void JsonEventWriter::stopped(std::string_view signalName) {
    write("{\"event\":\"stopped\",\"signal\":" + jsonString(signalName) + "}");
}

void JsonEventWriter::usageError(std::string_view text) {
    MessageBoxRequest request;
    request.text = std::string(text);
    message(request, Answer::Ok);
    result(exit_code::kCommandLineError);
}

void JsonEventWriter::result(int exitCode) {
    write("{\"event\":\"result\",\"exitCode\":" + std::to_string(exitCode) +
          ",\"success\":" + (exitCode == 0 ? "true" : "false") + "}");
}

}  // namespace vorlanth::ui::console
