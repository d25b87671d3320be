#include "ui/console/fleet_front_end.h"

namespace vorlanth::ui::console {

FleetTargetFrontEnd::FleetTargetFrontEnd(FleetDisplay& display, std::size_t index, int retries,
                                         std::unique_ptr<JsonEventWriter> json)
    : display_(display), index_(index), retriesLeft_(retries), json_(std::move(json)) {}

// The only question the core asks in Automatic mode is the retry question.
Answer FleetTargetFrontEnd::showMessageBox(const MessageBoxRequest& request) {
    Answer answer = Answer::Ok;
    if (request.buttons == MessageButtons::YesNo) {
        const bool retry = retriesLeft_ > 0 && request.detail.kind != FailureKind::FileFormat;
        answer = retry ? Answer::Yes : Answer::No;
        lastQuestion_ = request.text;
        lastQuestionDetail_ = request.detail;
        if (retry) {
            --retriesLeft_;
            std::string why = !request.detail.empty() ? describeFailure(request.detail)
                              : !lastMessage_.empty() ? lastMessage_
                                                      : failedStep_;
            display_.phase(index_, FleetPhase::Retrying, std::move(why));
            lastMessage_.clear();
            lastDetail_ = FailureDetail{};
        }
    } else {
        lastMessage_ = request.text;
        lastDetail_ = request.detail;
    }
    if (json_) {
        json_->message(request, answer);
    }
    return answer;
}

void FleetTargetFrontEnd::setProgress(int percent) {
    display_.progress(index_, percent, consumed_, total_);
    if (json_) {
        json_->progress(percent, consumed_, total_);
    }
}

void FleetTargetFrontEnd::reportBytes(std::uint64_t consumed, std::uint64_t total) {
    consumed_ = consumed;
    total_ = total;
    display_.progress(index_, -1, consumed, total);
}

void FleetTargetFrontEnd::onUploadEvent(UploadEvent event) {
    switch (event) {
        case UploadEvent::HandshakeStarted:
            consumed_ = 0;
            total_ = 0;
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

// Nobody fills a form in a fleet; the lines are Automatic, so this is never asked.
int FleetTargetFrontEnd::runSettingsDialog(Session& /*session*/) {
    return 2;
}

void FleetTargetFrontEnd::warn(std::string_view summary, const FailureDetail& detail) {
    if (json_) {
        json_->warning(summary, detail);
    }
}

}  // namespace vorlanth::ui::console
