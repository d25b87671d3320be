// A fleet target's phases, progress and JSON events, as the core reports its upload.
#include "ui/console/fleet_front_end.h"

namespace vorlanth::ui::console {

FleetTargetFrontEnd::FleetTargetFrontEnd(FleetDisplay& display, std::size_t index,
                                         std::unique_ptr<JsonEventWriter> json)
    : display_(display), index_(index), json_(std::move(json)) {}

void FleetTargetFrontEnd::tell(MessageId message, const FailureDetail& detail) {
    if (const std::optional<MessageEntry> entry = findMessage(message)) {
        lastMessage_ = std::string(entry->text);
    }
    if (json_) {
        json_->message(message, detail);
    }
}

// A retry shows why the attempt before failed: its cause, else its last message, else the step
// that failed.
void FleetTargetFrontEnd::retryDecided(bool retrying, const FailureDetail& why) {
    if (retrying) {
        std::string note = !why.empty()            ? describeFailure(why)
                           : !lastMessage_.empty() ? lastMessage_
                                                   : failedStep_;
        display_.phase(index_, FleetPhase::Retrying, std::move(note));
        lastMessage_.clear();
    }
    if (json_) {
        json_->retryQuestion(retrying, why);
    }
}

// The bytes alone move nothing on the display but the byte count.
void FleetTargetFrontEnd::advanceProgress(std::uint64_t consumed, std::uint64_t total,
                                          std::optional<int> percent) {
    display_.progress(index_, percent.value_or(-1), consumed, total);
    if (percent && json_) {
        json_->progress(*percent, consumed, total);
    }
}

void FleetTargetFrontEnd::onUploadEvent(UploadEvent event) {
    switch (event) {
        case UploadEvent::HandshakeStarted:
            failedStep_.clear();
            display_.phase(index_, FleetPhase::Handshake);
            break;
        case UploadEvent::HandshakeFailed:
            failedStep_ = "the handshake failed";
            break;
        case UploadEvent::EraseFailed:
            failedStep_ = "the erase failed";
            break;
        case UploadEvent::TransferFailed:
            failedStep_ = "the transfer failed";
            break;
        case UploadEvent::EraseStarted:
            display_.phase(index_, FleetPhase::Erasing);
            break;
        case UploadEvent::TransferStarted:
            display_.phase(index_, FleetPhase::Sending);
            break;
        default:
            break;
    }
    if (json_) {
        json_->uploadEvent(event);
    }
}

void FleetTargetFrontEnd::warn(std::string_view summary, const FailureDetail& detail) {
    if (json_) {
        json_->warning(summary, detail);
    }
}

}  // namespace vorlanth::ui::console
