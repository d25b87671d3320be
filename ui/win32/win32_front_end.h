#pragma once

#include <windows.h>

#include "ui/front_end.h"

namespace vorlanth::ui::win32 {

// The desktop front end: real message boxes, windows and dialogs.
class Win32FrontEnd : public FrontEnd {
  public:
    explicit Win32FrontEnd(HINSTANCE instance) : instance_(instance) {}

    WindowHandle activeWindow() override;
    int showMessageBox(const MessageBoxRequest& request) override;
    void initCommonControls() override;
    bool openProgressWindow() override;
    void setProgress(int percent) override;
    void closeProgressWindow() override;
    void pumpOneMessage() override;
    bool openEraseWindow() override;
    void closeEraseWindow() override;
    int runSettingsDialog(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;

  private:
    HINSTANCE instance_;
    HWND progressWindow_ = nullptr;
    HWND progressBar_ = nullptr;
    HWND eraseWindow_ = nullptr;
};

}  // namespace vorlanth::ui::win32
