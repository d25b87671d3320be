#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "shell/front_end.h"

namespace vorlanth::ui::win32 {

// Destroys a window when its owner goes.
struct WindowDestroyer {
    void operator()(HWND window) const {
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// The desktop front end: real message boxes, windows and dialogs.
class Win32FrontEnd : public FrontEnd {
  public:
    explicit Win32FrontEnd(HINSTANCE instance) : instance_(instance) {}

    WindowHandle activeWindow() override;
    Answer showMessageBox(const MessageBoxRequest& request) override;
    void initCommonControls() override;
    bool openProgressWindow() override;
    void setProgress(int percent) override;
    void closeProgressWindow() override;
    void pumpOneMessage() override;
    bool openEraseWindow() override;
    void closeEraseWindow() override;
    int runSettingsDialog(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;
    // The desktop program shows no more than its boxes: the cause goes to the debug output.
    void warn(std::string_view summary, const FailureDetail& detail) override;

  private:
    HINSTANCE instance_;
    OwnedWindow progressWindow_;
    HWND progressBar_ = nullptr;  // a child of progressWindow_, destroyed with it
    OwnedWindow eraseWindow_;
};

// The settings dialog's procedure: forwards the opening and every control's command to the
// dialog logic; leaves every other message to the platform. The dialog is created with a
// pointer to its MainDialogContext as parameter.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vorlanth::ui::win32
