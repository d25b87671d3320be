#include "ui/win32/win32_front_end.h"

#include <commctrl.h>

namespace vorlanth::ui::win32 {

namespace {

UINT iconFlags(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return MB_ICONINFORMATION;
        case MessageIcon::Warning:
            return MB_ICONWARNING;
        case MessageIcon::Question:
            return MB_ICONQUESTION;
        case MessageIcon::None:
            break;
    }
    return 0;
}

}  // namespace

WindowHandle Win32FrontEnd::activeWindow() {
    return reinterpret_cast<WindowHandle>(GetActiveWindow());
}

int Win32FrontEnd::showMessageBox(const MessageBoxRequest& request) {
    UINT flags = iconFlags(request.icon);
    flags |= request.buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
    if (request.topmost) {
        flags |= MB_TOPMOST;
    }
    return MessageBoxA(reinterpret_cast<HWND>(request.owner), request.text.c_str(),
                       request.caption ? request.caption->c_str() : nullptr, flags);
}

void Win32FrontEnd::initCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}

// Not built yet: the progress window cannot be created, so an attempt fails with 0.
bool Win32FrontEnd::openProgressWindow() {
    return false;
}
void Win32FrontEnd::setProgress(int /*percent*/) {}
void Win32FrontEnd::closeProgressWindow() {}

void Win32FrontEnd::pumpOneMessage() {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(0);
}

// Not built yet: no erase window.
bool Win32FrontEnd::openEraseWindow() {
    return false;
}
void Win32FrontEnd::closeEraseWindow() {}

// Not built yet: the settings dialog ends as Exit would.
int Win32FrontEnd::runSettingsDialog(Session& /*session*/) {
    return 2;
}

std::optional<BrowseResult> Win32FrontEnd::browseForFile(const BrowseRequest& /*request*/) {
    return std::nullopt;
}

}  // namespace vorlanth::ui::win32
