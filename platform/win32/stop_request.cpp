// The Win32 stop request: a console control handler that maps Ctrl+C, Ctrl+Break and the
// closing of the console to signal numbers, sets the stop event and cancels a waiting console read.
#include "platform/stop_request.h"

#include <windows.h>

#include <atomic>

#include "platform/win32/stop_wait.h"

namespace vorlanth::platform {

namespace {

// Time the main thread has to unwind after a stop request before the handler ends the
// process itself (a read that nothing could wake); Windows allows a closing console about 5 s.
constexpr DWORD kUnwindGraceMs = 1500;
// How often the handler cancels a console read again: the main thread may enter one just
// after a cancel, which then had nothing to cancel.
constexpr DWORD kCancelRetryMs = 20;

// The stop request: the one mutable global of the program, because the console control
// handler runs on a thread of its own and can reach nothing else.
struct StopRequest {
    std::atomic<int> signal{0};
    std::atomic<bool> readingInput{false};
    HANDLE event = nullptr;
    HANDLE mainThread = nullptr;
};
StopRequest stopRequest;

// Ctrl+C and Ctrl+Break stand for SIGINT, the closing of the console (or a log-off or
// shut-down) for SIGHUP. The main thread is woken (its event, and its console read is
// cancelled while it is in one) and given kUnwindGraceMs to end the process through its
// close path; its own exit ends this thread too.
BOOL WINAPI onConsoleControl(DWORD type) {
    int signal = 0;
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = kInterruptSignal;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = kHangUpSignal;
            break;
        default:
            return FALSE;
    }
    int none = 0;
    stopRequest.signal.compare_exchange_strong(none, signal);
    if (stopRequest.event != nullptr) {
        SetEvent(stopRequest.event);
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kUnwindGraceMs) {
        if (stopRequest.readingInput.load() && stopRequest.mainThread != nullptr) {
            CancelSynchronousIo(stopRequest.mainThread);
        }
        Sleep(kCancelRetryMs);
    }
    ExitProcess(static_cast<UINT>(128 + stopRequest.signal.load()));
    return TRUE;
}

}  // namespace

HANDLE stopEvent() {
    return stopRequest.event;
}

void setReadingInput(bool reading) {
    stopRequest.readingInput.store(reading);
}

void installStopHandlers() {
    if (stopRequest.event == nullptr) {
        stopRequest.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &stopRequest.mainThread, THREAD_TERMINATE, FALSE, 0);
    }
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

int stopSignal() {
    return stopRequest.signal.load();
}

}  // namespace vorlanth::platform
