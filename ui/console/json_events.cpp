#include "ui/console/json_events.h"

#include "vorlanth/version.h"

namespace vorlanth::ui::console {

std::string jsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
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
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned char>(c));
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
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
        members += ",\"object\":" + jsonString(detail.object);
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

const char* fileTypeName(int fileType) {
    switch (fileType) {
        case SRecord:
            return "srecord";
        case BinaryImage:
            return "binary-image";
        default:
            return "basic";
    }
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
                         ",\"file\":" + jsonString(settings.programPath.view()) +
                         ",\"fileType\":\"" + fileTypeName(settings.fileType) + "\",\"link\":\"" +
                         linkName(settings.linkType) + "\"";
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
        case UploadEvent::TransferRefused:
            name = "transfer", state = "refused";
            break;
    }
    write(std::string("{\"event\":\"") + name + "\",\"state\":\"" + state + "\"}");
}

void JsonEventWriter::progress(int percent, std::uint64_t consumed, std::uint64_t total) {
    write("{\"event\":\"progress\",\"percent\":" + std::to_string(percent) +
          ",\"bytes\":" + std::to_string(consumed) + ",\"total\":" + std::to_string(total) + "}");
}

void JsonEventWriter::message(const MessageBoxRequest& request, int answer) {
    std::string object = "{\"event\":\"message\",\"code\":" + std::to_string(request.code) +
                         ",\"text\":" + jsonString(request.text);
    if (request.buttons == MessageButtons::YesNo) {
        object += std::string(",\"answer\":\"") + (answer == kAnswerYes ? "yes" : "no") + "\"";
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

void JsonEventWriter::result(int exitCode) {
    write("{\"event\":\"result\",\"exitCode\":" + std::to_string(exitCode) +
          ",\"success\":" + (exitCode == 0 ? "true" : "false") + "}");
}

}  // namespace vorlanth::ui::console
