// The desktop front end's boxes and windows: a message's box exactly as the message table
// gives it, the erase and progress windows from their templates, the open-file dialog.
#include "ui/win32/win32_front_end.h"

#include <commctrl.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"

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

// The filter list of the open-file dialog: name and pattern of each, each ended by a NUL,
// the whole ended by one more.
std::vector<char> filterText(const std::vector<FileFilter>& filters) {
    std::vector<char> text;
    for (const FileFilter& filter : filters) {
        text.insert(text.end(), filter.name.begin(), filter.name.end());
        text.push_back('\0');
        text.insert(text.end(), filter.pattern.begin(), filter.pattern.end());
        text.push_back('\0');
    }
    text.push_back('\0');
    text.push_back('\0');
    return text;
}

// Text for a debugger or a debug-output viewer; the user's boxes stay as they are.
void writeDebugOutput(std::string_view summary, const FailureDetail& detail) {
    std::string line = "vorlanth: " + std::string(summary);
    if (!detail.empty()) {
        line += (summary.empty() ? "" : ": ") + describeFailure(detail);
    }
    line += "\n";
    OutputDebugStringA(line.c_str());
}

}  // namespace

// The settings form owns its boxes while it is open; without it, the active window does.
HWND Win32FrontEnd::ownerOf(MessageOwner owner) const {
    switch (owner) {
        case MessageOwner::None:
            return nullptr;
        case MessageOwner::SettingsForm:
            if (settingsDialog_ != nullptr) {
                return settingsDialog_;
            }
            return GetActiveWindow();
        case MessageOwner::ActiveWindow:
            break;
    }
    return GetActiveWindow();
}

// The cause goes to the debug output; the box keeps the table's text, caption (the platform's
// default when the table gives none), icon, buttons, owner and topmost flag.
int Win32FrontEnd::showMessageBox(const MessageEntry& message, const FailureDetail& detail) {
    const std::string text(message.text);
    if (!detail.empty()) {
        writeDebugOutput(text, detail);
    }
    UINT flags = iconFlags(message.icon);
    flags |= message.buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
    if (message.topmost) {
        flags |= MB_TOPMOST;
    }
    const std::string caption(message.caption);
    return MessageBoxA(ownerOf(message.owner), text.c_str(),
                       caption.empty() ? nullptr : caption.c_str(), flags);
}

void Win32FrontEnd::tell(MessageId message, const FailureDetail& detail) {
    if (const std::optional<MessageEntry> entry = findMessage(message)) {
        showMessageBox(*entry, detail);
    }
}

// Only Yes asks for a retry; No, and a box that could not be shown, do not.
bool Win32FrontEnd::askRetry(const FailureDetail& why) {
    return showMessageBox(*findMessage(MessageId::retryQuestion()), why) == IDYES;
}

void Win32FrontEnd::warn(std::string_view summary, const FailureDetail& detail) {
    writeDebugOutput(summary, detail);
}

void Win32FrontEnd::prepare() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}

// Creates the modeless progress window from its template (default dialog behaviour only, no
// owner), makes it topmost where it was placed, and sets its bar to 0..100 at 0; false when
// the window or its bar is missing.
bool Win32FrontEnd::beginProgress() {
    progressBar_ = nullptr;
    progressWindow_.reset(CreateDialogParamA(instance_, "ProgressDlg", nullptr, nullptr, 0));
    if (!progressWindow_) {
        return false;
    }
    HWND window = progressWindow_.get();
    // The caption shows the program's icon (shared, so it needs no destroying).
    HANDLE icon = LoadImageA(instance_, "Vorlanth", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                             GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    RECT place{};
    GetWindowRect(window, &place);
    SetWindowPos(window, HWND_TOPMOST, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_SHOWWINDOW);
    progressBar_ = GetDlgItem(window, IDC_PROGRESS_BAR);
    if (progressBar_ == nullptr) {
        progressWindow_.reset();
        return false;
    }
    SendMessageA(progressBar_, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(progressBar_, PBM_SETPOS, 0, 0);
    return true;
}

// The bar's set-position request; the bytes are not shown.
void Win32FrontEnd::advanceProgress(std::uint64_t /*consumed*/, std::uint64_t /*total*/,
                                    std::optional<int> percent) {
    if (progressBar_ != nullptr && percent) {
        SendMessageA(progressBar_, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
    }
}

void Win32FrontEnd::endProgress() {
    progressBar_ = nullptr;
    progressWindow_.reset();
}

// Handles at most one waiting window message, then yields the rest of the time slice: the
// progress window stays painted and movable while the file is sent.
void Win32FrontEnd::stayResponsive() {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(0);
}

// Creates the erase window (visible from its template) and paints it at once, handling the
// messages waiting for it and its text (a bounded few): no message is handled while the
// terminal erases, so it would otherwise stay blank.
bool Win32FrontEnd::showErase() {
    eraseWindow_.reset(CreateDialogParamA(instance_, "EraseDlg", nullptr, nullptr, 0));
    if (!eraseWindow_) {
        return false;
    }
    HWND window = eraseWindow_.get();
    RedrawWindow(
        window, nullptr, nullptr,
        RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    MSG message;
    for (int handled = 0; handled < 32 && PeekMessageA(&message, window, 0, 0, PM_REMOVE);
         ++handled) {
        DispatchMessageA(&message);
    }
    return true;
}

void Win32FrontEnd::endErase() {
    eraseWindow_.reset();
}

// The open-file dialog, owned by the settings dialog (the active window when it is not open):
// the chosen path must exist, read-only box hidden, no initial directory of its own (the
// platform takes it from the initial name).
std::optional<BrowseResult> Win32FrontEnd::browseForFile(const BrowseRequest& request) {
    const std::vector<char> filters = filterText(request.filters);
    std::vector<char> path(std::max<std::size_t>(request.maxPathLength + 1, 280), '\0');
    request.initialName.copy(path.data(), std::min(request.initialName.size(), path.size() - 1));

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = ownerOf(MessageOwner::SettingsForm);
    dialog.lpstrFilter = filters.data();
    dialog.nFilterIndex = static_cast<DWORD>(request.filterIndex);
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(request.maxPathLength + 1);
    dialog.lpstrDefExt = request.defaultExtension.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameA(&dialog)) {
        return std::nullopt;
    }
    return BrowseResult{std::string(path.data()), static_cast<int>(dialog.nFilterIndex)};
}

}  // namespace vorlanth::ui::win32
