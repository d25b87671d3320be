// The --json events: one object per line for each step of an upload, written with the one
// JSON writer.
#include "ui/console/json_events.h"

#include "link/link_kind.h"
#include "readers/file_types.h"
#include "shell/session.h"
#include "vorlanth/version.h"

namespace vorlanth::ui::console {

void writeDetail(JsonWriter& json, const FailureDetail& detail) {
    if (detail.empty()) {
        return;
    }
    json.key("detail").string(describeFailure(detail));
    if (!detail.object.empty()) {
        json.textMember("object", detail.object);
    }
    if (detail.line > 0) {
        json.key("line").number(detail.line);
        if (detail.column > 0) {
            json.key("column").number(detail.column);
        }
    }
    if (detail.offset >= 0) {
        json.key("offset").number(detail.offset);
    }
    if (detail.osErrorKind == OsErrorKind::Errno) {
        json.key("errno").number(detail.osError);
    } else if (detail.osErrorKind == OsErrorKind::Win32) {
        json.key("win32_error").number(detail.osError);
    }
    if (!detail.hint.empty()) {
        json.key("hint").string(detail.hint);
    }
}

void writeDigests(JsonWriter& json, const shell::ProgramDigests& digests) {
    if (digests.program) {
        json.key("sha256").string(platform::sha256Hex(*digests.program));
    }
    if (digests.companion) {
        json.key("companion_sha256").string(platform::sha256Hex(*digests.companion));
    }
}

std::string targetMember(int line, std::string_view text) {
    JsonWriter json = JsonWriter::membersOnly();
    json.key("target").beginObject().key("line").number(line).key("text").string(text).endObject();
    return json.text();
}

// Every object begins {"event":"NAME"; a target's member goes right after the name. A start
// event still waiting goes out first: no event comes before the start.
JsonWriter JsonEventWriter::begin(std::string_view event) {
    writeStart();
    JsonWriter json;
    json.beginObject().key("event").string(event).append(targetMembers_);
    return json;
}

void JsonEventWriter::write(JsonWriter& json) {
    json.endObject();
    if (sink_ != nullptr) {
        sink_->writeJsonLine(json.text());
        return;
    }
    std::fprintf(stream_, "%s\n", json.text().c_str());
    std::fflush(stream_);
}

// A start still waiting (a second upload's, say) goes out before this one waits.
void JsonEventWriter::start(const UploadSettings& settings, const shell::ProgramDigests& known) {
    JsonWriter json = begin("start");
    json.key("version").string(kVersion);
    json.textMember("file", settings.programPath.view());
    json.key("fileType").string(readers::fileTypeBehaviour(settings.fileType).jsonName);
    const link::LinkKind& kind = link::linkKindOf(settings.linkType);
    json.key("link").string(kind.jsonName);
    kind.writeTargetMembers(json, settings);
    pendingStart_ = std::move(json);
    startDigests_ = known;
}

void JsonEventWriter::programChecked(const shell::ProgramDigests& digests) {
    if (pendingStart_) {
        startDigests_ = digests;
        writeStart();
    }
}

void JsonEventWriter::writeStart() {
    if (!pendingStart_) {
        return;
    }
    JsonWriter json = std::move(*pendingStart_);
    pendingStart_.reset();
    writeDigests(json, startDigests_);
    write(json);
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
    JsonWriter json = begin(name);
    json.key("state").string(state);
    write(json);
}

void JsonEventWriter::progress(int percent, std::uint64_t consumed, std::uint64_t total) {
    JsonWriter json = begin("progress");
    json.key("percent").number(percent).key("bytes").number(consumed).key("total").number(total);
    write(json);
}

// answer: "yes" or "no" for a question, nullptr for a message that asks nothing.
void JsonEventWriter::writeMessage(int code, std::string_view text, const char* answer,
                                   const FailureDetail& detail) {
    JsonWriter json = begin("message");
    json.key("code").number(code).key("text").string(text);
    if (answer != nullptr) {
        json.key("answer").string(answer);
    }
    writeDetail(json, detail);
    write(json);
}

void JsonEventWriter::message(MessageId message, const FailureDetail& detail) {
    if (const std::optional<MessageEntry> entry = findMessage(message)) {
        writeMessage(entry->code(), entry->text, nullptr, detail);
    }
}

void JsonEventWriter::message(std::string_view text, const FailureDetail& detail) {
    writeMessage(0, text, nullptr, detail);
}

void JsonEventWriter::retryQuestion(bool retry, const FailureDetail& why) {
    const MessageEntry question = *findMessage(MessageId::retryQuestion());
    writeMessage(question.code(), question.text, retry ? "yes" : "no", why);
}

void JsonEventWriter::warning(std::string_view summary, const FailureDetail& detail) {
    JsonWriter json = begin("warning");
    json.key("text").string(summary);
    writeDetail(json, detail);
    write(json);
}

void JsonEventWriter::fleet(const std::string& members) {
    JsonWriter json = begin("fleet");
    json.append(members);
    write(json);
}

void JsonEventWriter::stopped(std::string_view signalName) {
    JsonWriter json = begin("stopped");
    json.key("signal").string(signalName);
    write(json);
}

void JsonEventWriter::usageError(std::string_view text) {
    message(text, FailureDetail{});
    result(exit_code::kCommandLineError);
}

void JsonEventWriter::result(int exitCode) {
    JsonWriter json = begin("result");
    json.key("exitCode").number(exitCode).key("success").boolean(exitCode == 0);
    write(json);
}

}  // namespace vorlanth::ui::console
