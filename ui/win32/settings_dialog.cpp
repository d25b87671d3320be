// The real settings dialog of vorlanth.exe: its controls through the Win32 dialog functions,
// its procedure forwarding every command to the dialog logic, and its modal run.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "dialog/main_dialog.h"
#include "resources/resource_ids.h"
#include "shell/session.h"
#include "ui/win32/win32_front_end.h"

namespace vorlanth::ui::win32 {

namespace {

namespace id = dialog::control;
static_assert(IDC_COM_PORT_BOX == id::kComPortBox && IDC_ADDRESS_BOX == id::kAddressBox &&
                  IDC_PORT_BOX == id::kPortBox && IDC_FILE_NAME_BOX == id::kFileNameBox &&
                  IDC_BROWSE_BUTTON == id::kBrowseButton && IDC_OK_BUTTON == id::kOkButton &&
                  IDCANCEL == id::kExitButton && IDC_COMM_TYPE_BOX == id::kCommTypeBox &&
                  IDC_BAUD_RATE_BOX == id::kBaudRateBox && IDC_FILE_TYPE_BOX == id::kFileTypeBox &&
                  IDC_COM_PORT_LABEL == id::kComPortLabel &&
                  IDC_BAUD_RATE_LABEL == id::kBaudRateLabel &&
                  IDC_ADDRESS_LABEL == id::kAddressLabel && IDC_PORT_LABEL == id::kPortLabel &&
                  IDC_COM_PORT_UPDOWN == id::kComPortUpDown,
              "the resource script and the dialog logic must agree on control identifiers");

// The settings dialog's controls through the Win32 dialog functions. Writing an edit box's
// text sends its EN_CHANGE before the write returns, and CB_SETCURSEL notifies nothing: the
// platform keeps the view's contract by itself.
class Win32DialogView final : public dialog::DialogView {
  public:
    explicit Win32DialogView(Win32FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    // The dialog has been created: its boxes and the open-file dialog belong to it from now on.
    void attach(HWND dialog) {
        dialog_ = dialog;
        frontEnd_.setSettingsDialog(dialog);
    }
    void setCaption(std::string_view text) override {
        SetWindowTextA(dialog_, std::string(text).c_str());
    }
    void setText(int controlId, std::string_view text) override {
        SetDlgItemTextA(dialog_, controlId, std::string(text).c_str());
    }
    std::string readText(int controlId, std::size_t maxCount) override {
        if (maxCount == 0) {
            return {};
        }
        std::string text(maxCount, '\0');
        const UINT count =
            GetDlgItemTextA(dialog_, controlId, text.data(), static_cast<int>(maxCount));
        text.resize(count);
        return text;
    }
    void setNumber(int controlId, std::int64_t value, bool isSigned) override {
        SetDlgItemInt(dialog_, controlId, static_cast<UINT>(value), isSigned ? TRUE : FALSE);
    }
    std::optional<std::uint32_t> readNumber(int controlId) override {
        BOOL isNumber = FALSE;
        const UINT value = GetDlgItemInt(dialog_, controlId, &isNumber, FALSE);
        if (!isNumber) {
            return std::nullopt;
        }
        return value;
    }
    void show(int controlId, bool visible) override {
        ShowWindow(GetDlgItem(dialog_, controlId), visible ? SW_SHOW : SW_HIDE);
    }
    void enable(int controlId, bool enabled) override {
        EnableWindow(GetDlgItem(dialog_, controlId), enabled ? TRUE : FALSE);
    }
    void resetList(int controlId) override {
        SendDlgItemMessageA(dialog_, controlId, CB_RESETCONTENT, 0, 0);
    }
    void addListEntry(int controlId, std::string_view text) override {
        const std::string entry(text);
        SendDlgItemMessageA(dialog_, controlId, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(entry.c_str()));
    }
    void selectListEntry(int controlId, int index) override {
        SendDlgItemMessageA(dialog_, controlId, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    int selectedListEntry(int controlId) override {
        return static_cast<int>(SendDlgItemMessageA(dialog_, controlId, CB_GETCURSEL, 0, 0));
    }
    void setUpDownRange(int controlId, int lowest, int highest) override {
        SendDlgItemMessageA(dialog_, controlId, UDM_SETRANGE, 0,
                            MAKELPARAM(static_cast<WORD>(highest), static_cast<WORD>(lowest)));
    }
    void makeTopmost() override {
        SetWindowPos(dialog_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    void endDialog(int result) override { EndDialog(dialog_, result); }
    std::optional<BrowseResult> requestOpenFile(const BrowseRequest& request) override {
        return frontEnd_.browseForFile(request);
    }

  private:
    Win32FrontEnd& frontEnd_;
    HWND dialog_ = nullptr;
};

// What the dialog procedure needs, handed over when the dialog is created.
struct MainDialogContext {
    Session& session;
    Win32DialogView view;
};

// The kind of a control's notification, by the kind of control.
dialog::Notification notificationOf(int controlId, int code) {
    switch (controlId) {
        case id::kComPortBox:
        case id::kAddressBox:
        case id::kPortBox:
        case id::kFileNameBox:
            return code == EN_CHANGE ? dialog::Notification::Changed : dialog::Notification::Other;
        case id::kCommTypeBox:
        case id::kBaudRateBox:
        case id::kFileTypeBox:
            return code == CBN_SELCHANGE ? dialog::Notification::Changed
                                         : dialog::Notification::Other;
        default:
            return code == BN_CLICKED ? dialog::Notification::Clicked : dialog::Notification::Other;
    }
}

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* context = reinterpret_cast<MainDialogContext*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            context->view.attach(dialog);
            dialog::openMainDialog(context->session, context->view);
            return TRUE;  // the platform puts the focus on the first control
        }
        case WM_COMMAND: {
            // Commands that come while the dialog is being created, before it is opened,
            // find no context yet and are ignored.
            auto* context =
                reinterpret_cast<MainDialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
            if (context == nullptr) {
                return FALSE;
            }
            const int controlId = LOWORD(wParam);
            dialog::handleMainDialogCommand(context->session, context->view, controlId,
                                            notificationOf(controlId, HIWORD(wParam)));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

// Runs the settings dialog modally, owned by the active window: OK uploads, Exit ends the run.
// A dialog that cannot be created counts as Exit.
SettingsOutcome Win32FrontEnd::runSettingsForm(Session& session) {
    MainDialogContext context{session, Win32DialogView(*this)};
    const INT_PTR result = DialogBoxParamA(instance_, "MainFormDlg", GetActiveWindow(),
                                           mainDialogProc, reinterpret_cast<LPARAM>(&context));
    settingsDialog_ = nullptr;
    return result == dialog::kDialogOk ? SettingsOutcome::Upload : SettingsOutcome::Exit;
}

}  // namespace vorlanth::ui::win32
