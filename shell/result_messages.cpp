#include "shell/result_messages.h"

namespace vorlanth::shell {

Answer showResultMessage(FrontEnd& frontEnd, WindowHandle owner, ResultCode code,
                         const FailureDetail* detail) {
    const std::optional<ResultMessage> message = findResultMessage(code);
    if (!message) {
        return Answer::None;
    }
    MessageBoxRequest request;
    request.owner = owner;
    request.text = std::string(message->text);
    request.caption = std::string(kProgramCaption);
    request.icon = message->icon;
    request.buttons = message->buttons;
    request.topmost = true;
    request.code = code;
    if (detail != nullptr) {
        request.detail = *detail;
    }
    const Answer answer = frontEnd.showMessageBox(request);
    return code == result::kRetryQuestion ? answer : Answer::None;
}

void showFormatError(FrontEnd& frontEnd, const FailureDetail& detail) {
    MessageBoxRequest request;
    request.owner = 0;
    request.text = std::string(kFormatErrorText);
    request.caption = std::string(kFormatErrorCaption);
    request.icon = MessageIcon::Warning;
    request.buttons = MessageButtons::Ok;
    request.topmost = true;
    request.detail = detail;
    frontEnd.showMessageBox(request);
}

}  // namespace vorlanth::shell
