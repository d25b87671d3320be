// The desktop front end of vorlanth.exe: turns each call of the core into the program's real
// message boxes, erase and progress windows, settings dialog and open-file dialog.
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

class Win32FrontEnd : public FrontEnd {
  public:
    explicit Win32FrontEnd(HINSTANCE instance) : instance_(instance) {}

    // Initialises the common controls the progress bar and the up-down control need.
    void prepare() override;
    void tell(MessageId message, const FailureDetail& detail) override;
    bool askRetry(const FailureDetail& why) override;
    bool beginProgress() override;
    void advanceProgress(std::uint64_t consumed, std::uint64_t total,
                         std::optional<int> percent) override;
    void endProgress() override;
    void stayResponsive() override;
    bool showErase() override;
    void endErase() override;
    SettingsOutcome runSettingsForm(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;
    // The desktop program shows no more than its boxes: the cause goes to the debug output.
    void warn(std::string_view summary, const FailureDetail& detail) override;

    // The settings dialog while it is open (nullptr once it has ended): the owner of the boxes
    // the table puts in front of the settings form, and of the open-file dialog.
    void setSettingsDialog(HWND dialog) { settingsDialog_ = dialog; }

  private:
    // Shows the message box of a table entry; returns the button that closed it (0: failed).
    int showMessageBox(const MessageEntry& message, const FailureDetail& detail);
    // The window a box of the table belongs to.
    HWND ownerOf(MessageOwner owner) const;

    HINSTANCE instance_;
    HWND settingsDialog_ = nullptr;
    OwnedWindow progressWindow_;
    HWND progressBar_ = nullptr;  // a child of progressWindow_, destroyed with it
    OwnedWindow eraseWindow_;
};

// The settings dialog's procedure: forwards the opening and every control's command to the
// dialog logic; leaves every other message to the platform. The dialog is created with a
// pointer to its MainDialogContext as parameter.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vorlanth::ui::win32
