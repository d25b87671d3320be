// Drives the windows of another program running under the same window station, for tests.
// Reads one command a line from standard input, prints what it did, and ends with status 1
// at the first command that fails (every wait is bounded). Commands:
//
//   window CAPTION          wait for a visible top-level window with this caption; it becomes
//                           the current window
//   message TEXT            wait for a message box (class #32770) whose text is TEXT
//   expect-caption TEXT     the current window's caption
//   expect-topmost 0|1      whether the current window stays above the others
//   expect-owner CAPTION    the caption of the window that owns the current one ("-": none)
//   expect-text ID TEXT     the text of control ID (TEXT may be empty)
//   expect-enabled ID 0|1   expect-visible ID 0|1   expect-selected ID INDEX
//   set-text ID TEXT        replace the text of control ID (an edit box reports the change)
//   select ID INDEX         select list entry INDEX and report it as the user's choice
//   click ID                press button ID; it must be visible and enabled
//   key ID up|down          press an arrow key in control ID
//   gone                    wait until the current window has closed
//   timeout MS              bound of every following wait (default 15000)
//   sleep MS                pause
//   windows                 print every visible top-level window
//   children                print every control of the current window
//   rect                    print "RECT left top width height" of the current window
//
// A control's text is read with WM_GETTEXT (GetWindowText does not reach into another
// program's controls). Clicks (BM_CLICK) are posted, so that a button that opens a modal box
// does not block the driver.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMessageTextId = 0xFFFF;
DWORD waitBoundMs = 15000;
HWND current = nullptr;

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

// The text of a control of any program, through WM_GETTEXT with a short bounded wait; while
// that program is busy (a blocking wait), the text the window manager holds for it.
std::string windowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 500, &result)) {
        wchar_t wide[1024] = {};
        InternalGetWindowText(window, wide, 1024);
        std::string narrow;
        for (std::size_t i = 0; wide[i] != L'\0'; ++i) {
            narrow.push_back(static_cast<char>(wide[i]));
        }
        return narrow;
    }
    return text;
}

// The caption of a top-level window, without sending it a message.
std::string caption(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            if (IsWindowVisible(window)) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Polls condition every 50 ms until it holds or the wait bound passes.
bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitBoundMs);
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

HWND control(int id) {
    return current != nullptr ? GetDlgItem(current, id) : nullptr;
}

bool fail(const std::string& what) {
    std::cout << "FAILED: " << what << std::endl;
    return false;
}

// Everything after the first `count` words of a line.
std::string restAfter(const std::string& line, int count) {
    std::size_t at = 0;
    for (int word = 0; word < count; ++word) {
        at = line.find(' ', at);
        if (at == std::string::npos) {
            return "";
        }
        ++at;
    }
    return line.substr(at);
}

void listWindows() {
    for (HWND window : topLevelWindows()) {
        std::cout << "  window " << window << " class=" << className(window) << " caption=\""
                  << caption(window) << "\"" << std::endl;
    }
}

bool run(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command.empty() || command[0] == '#') {
        return true;
    }
    static const ULONGLONG start = GetTickCount64();
    std::cout << "> " << line << "  [" << GetTickCount64() - start << " ms]" << std::endl;
    int id = 0;
    if (command == "window") {
        const std::string wanted = restAfter(line, 1);
        HWND found = nullptr;
        const bool ok = waitFor([&] {
            for (HWND window : topLevelWindows()) {
                if (caption(window) == wanted) {
                    found = window;
                    return true;
                }
            }
            return false;
        });
        if (!ok) {
            listWindows();
            return fail("no window \"" + wanted + "\"");
        }
        current = found;
        return true;
    }
    if (command == "message") {
        const std::string text = restAfter(line, 1);
        HWND found = nullptr;
        const bool ok = waitFor([&] {
            for (HWND window : topLevelWindows()) {
                HWND label = GetDlgItem(window, kMessageTextId);
                if (className(window) == "#32770" && label != nullptr &&
                    windowText(label) == text) {
                    found = window;
                    return true;
                }
            }
            return false;
        });
        if (!ok) {
            for (HWND window : topLevelWindows()) {
                if (HWND label = GetDlgItem(window, kMessageTextId)) {
                    std::cout << "  message box text: \"" << windowText(label) << "\"" << std::endl;
                }
            }
            listWindows();
            return fail("no message box \"" + text + "\"");
        }
        current = found;
        return true;
    }
    if (command == "expect-caption") {
        const std::string text = restAfter(line, 1);
        if (!waitFor([&] { return caption(current) == text; })) {
            return fail("caption is \"" + caption(current) + "\"");
        }
        return true;
    }
    if (command == "timeout") {
        words >> waitBoundMs;
        return true;
    }
    if (command == "sleep") {
        DWORD ms = 0;
        words >> ms;
        Sleep(ms);
        return true;
    }
    if (command == "windows") {
        listWindows();
        return true;
    }
    if (command == "rect") {
        RECT place{};
        GetWindowRect(current, &place);
        std::cout << "RECT " << place.left << " " << place.top << " " << place.right - place.left
                  << " " << place.bottom - place.top << std::endl;
        return true;
    }
    if (command == "children") {
        EnumChildWindows(
            current,
            [](HWND child, LPARAM) -> BOOL {
                std::cout << "  control " << GetDlgCtrlID(child) << " class=" << className(child)
                          << " visible=" << (IsWindowVisible(child) ? 1 : 0) << " text=\""
                          << windowText(child) << "\"" << std::endl;
                return TRUE;
            },
            0);
        return true;
    }
    if (command == "expect-topmost") {
        int wanted = 0;
        words >> wanted;
        auto topmost = [&] {
            return (GetWindowLongPtrA(current, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0 ? 1 : 0;
        };
        if (!waitFor([&] { return topmost() == wanted; })) {
            return fail("topmost is " + std::to_string(topmost()));
        }
        return true;
    }
    if (command == "expect-owner") {
        const std::string wanted = restAfter(line, 1);
        auto owner = [&] {
            HWND window = GetWindow(current, GW_OWNER);
            return window == nullptr ? std::string("-") : caption(window);
        };
        if (!waitFor([&] { return owner() == wanted; })) {
            return fail("the owner is \"" + owner() + "\"");
        }
        return true;
    }
    if (command == "gone") {
        if (!waitFor([&] { return !IsWindow(current) || !IsWindowVisible(current); })) {
            return fail("the window is still open");
        }
        current = nullptr;
        return true;
    }

    // Commands on a control of the current window.
    if (!(words >> id)) {
        return fail("a control identifier is missing");
    }
    if (current == nullptr || !IsWindow(current)) {
        return fail("no current window");
    }
    HWND item = control(id);
    if (item == nullptr) {
        return fail("no control " + std::to_string(id));
    }
    if (command == "expect-text") {
        const std::string text = restAfter(line, 2);
        if (!waitFor([&] { return windowText(item) == text; })) {
            return fail("control " + std::to_string(id) + " holds \"" + windowText(item) + "\"");
        }
        return true;
    }
    if (command == "expect-enabled" || command == "expect-visible") {
        int wanted = 0;
        words >> wanted;
        const bool enabled = command == "expect-enabled";
        auto state = [&] {
            return (enabled ? IsWindowEnabled(item) : IsWindowVisible(item)) ? 1 : 0;
        };
        if (!waitFor([&] { return state() == wanted; })) {
            return fail(command + " " + std::to_string(id) + ": is " + std::to_string(state()));
        }
        return true;
    }
    if (command == "expect-selected") {
        LRESULT wanted = 0;
        words >> wanted;
        auto selected = [&] { return SendMessageA(item, CB_GETCURSEL, 0, 0); };
        if (!waitFor([&] { return selected() == wanted; })) {
            return fail("control " + std::to_string(id) + " selects " + std::to_string(selected()));
        }
        return true;
    }
    if (command == "set-text") {
        const std::string text = restAfter(line, 2);
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                 SMTO_ABORTIFHUNG, 5000, &result)) {
            return fail("setting the text of " + std::to_string(id));
        }
        return true;
    }
    if (command == "select") {
        WPARAM index = 0;
        words >> index;
        DWORD_PTR result = 0;
        SendMessageTimeoutA(item, CB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, 5000, &result);
        // The program's own selection reports nothing; the user's does, so report it.
        PostMessageA(current, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item));
        return true;
    }
    if (command == "key") {
        std::string name;
        words >> name;
        const WPARAM key = name == "up" ? VK_UP : name == "down" ? VK_DOWN : 0;
        if (key == 0) {
            return fail("unknown key " + name);
        }
        PostMessageA(item, WM_KEYDOWN, key, 1);
        PostMessageA(item, WM_KEYUP, key, 0xC0000001);
        return true;
    }
    if (command == "click") {
        if (!IsWindowVisible(item) || !IsWindowEnabled(item)) {
            return fail("button " + std::to_string(id) + " is hidden or disabled");
        }
        // Pressed as the mouse would press it: the button takes the focus, then reports.
        PostMessageA(item, BM_CLICK, 0, 0);
        return true;
    }
    return fail("unknown command " + command);
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!run(line)) {
            return 1;
        }
    }
    std::cout << "driver: done" << std::endl;
    return 0;
}
