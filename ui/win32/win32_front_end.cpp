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

WindowHandle Win32FrontEnd::activeWindow() {
    return reinterpret_cast<WindowHandle>(GetActiveWindow());
}

// The box's own answer values (IDOK, IDYES, IDNO) become the core's Answer; 0, a box that
// could not be shown, is Answer::None.
Answer Win32FrontEnd::showMessageBox(const MessageBoxRequest& request) {
    if (!request.detail.empty()) {
        writeDebugOutput(request.text, request.detail);
    }
    UINT flags = iconFlags(request.icon);
    flags |= request.buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
    if (request.topmost) {
        flags |= MB_TOPMOST;
    }
    switch (MessageBoxA(reinterpret_cast<HWND>(request.owner), request.text.c_str(),
                        request.caption ? request.caption->c_str() : nullptr, flags)) {
        case IDOK:
            return Answer::Ok;
        case IDYES:
            return Answer::Yes;
        case IDNO:
            return Answer::No;
        default:
            return Answer::None;
    }
}

void Win32FrontEnd::warn(std::string_view summary, const FailureDetail& detail) {
    writeDebugOutput(summary, detail);
}

void Win32FrontEnd::initCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}

// Creates the modeless progress window from its template (default dialog behaviour only, no
// owner), makes it topmost where it was placed, and sets its bar to 0..100 at 0.
bool Win32FrontEnd::openProgressWindow() {
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

void Win32FrontEnd::setProgress(int percent) {
    if (progressBar_ != nullptr) {
        SendMessageA(progressBar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    }
}

void Win32FrontEnd::closeProgressWindow() {
    progressBar_ = nullptr;
    progressWindow_.reset();
}

void Win32FrontEnd::pumpOneMessage() {
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
bool Win32FrontEnd::openEraseWindow() {
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

void Win32FrontEnd::closeEraseWindow() {
    eraseWindow_.reset();
}

// The open-file dialog: the chosen path must exist, read-only box hidden, no initial
// directory of its own (the platform takes it from the initial name).
std::optional<BrowseResult> Win32FrontEnd::browseForFile(const BrowseRequest& request) {
    const std::vector<char> filters = filterText(request.filters);
    std::vector<char> path(std::max<std::size_t>(request.maxPathLength + 1, 280), '\0');
    request.initialName.copy(path.data(), std::min(request.initialName.size(), path.size() - 1));

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = reinterpret_cast<HWND>(request.owner);
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
