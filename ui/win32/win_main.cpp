// vorlanth.exe's entry point: the invisible main window that anchors the process, the start-up
// settings and the main loop over the desktop front end.
#include <windows.h>

#include "platform/platform.h"
#include "settings/settings_file.h"
#include "shell/main_loop.h"
#include "shell/result_messages.h"
#include "shell/session.h"
#include "ui/win32/win32_front_end.h"

namespace {

constexpr char kMainWindowClass[] = "Vorlanth";

// The invisible main window only anchors the process.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            const auto* session = static_cast<const vorlanth::Session*>(create->lpCreateParams);
            if (session != nullptr && session->settings.alwaysOnTop == 1) {
                SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            }
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandLine, int /*show*/) {
    auto platform = vorlanth::platform::makeSystemPlatform();
    vorlanth::ui::win32::Win32FrontEnd frontEnd(instance);
    vorlanth::Session session(*platform, frontEnd);
    vorlanth::settings::readEnvironmentFlag(session);

    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "Vorlanth");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    if (RegisterClassA(&windowClass) == 0) {
        return 0;
    }
    HWND mainWindow =
        CreateWindowExA(0, kMainWindowClass, "", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 2, 2,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                        nullptr, instance, &session);

    if (vorlanth::shell::applyStartupSettings(session, commandLine != nullptr ? commandLine : "")) {
        SetWindowTextA(mainWindow, std::string(vorlanth::kProgramCaption).c_str());
        vorlanth::shell::runMainLoop(session);
    }
    DestroyWindow(mainWindow);
    return session.exitCode;
}
