// The Win32 serial port: the comm API over a COM device opened without sharing, its DCB and
// time-outs built from the portable line (serial_line.cpp).
#include <windows.h>

#include <cstdio>

#include <algorithm>
#include <optional>
#include <string>

#include "common/text.h"
#include "platform/system_parts.h"
#include "platform/win32/serial_line.h"
#include "platform/win32/stop_wait.h"
#include "platform/win32/system_error.h"

namespace vorlanth::platform {

namespace {

// A kernel handle closed on destruction.
class UniqueHandle {
  public:
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// A COM port opened without sharing, in plain blocking mode.
class Win32SerialPort final : public SerialPort {
  public:
    Win32SerialPort(HANDLE handle, std::string name) : handle_(handle), name_(std::move(name)) {}

    // SetCommState with the line's DCB. A line that keeps the device's other settings builds
    // on the block GetCommState gives the first time one is applied (a block that cannot be
    // read counts as cleared, and the line is applied all the same).
    Status applyLine(const SerialLine& line) override {
        Status found;
        if (line.otherSettings == OtherSettings::AsFound && !foundRead_) {
            DCB dcb{};
            dcb.DCBlength = sizeof(DCB);
            if (GetCommState(handle_.get(), &dcb) != FALSE) {
                found_ = dcb;
            } else {
                found = systemFailure(name_, "cannot read the line settings", GetLastError());
            }
            foundRead_ = true;
        }
        DCB dcb = deviceControlBlockFor(line, found_);
        if (SetCommState(handle_.get(), &dcb) == FALSE) {
            return systemFailure(name_, "refused the line settings", GetLastError());
        }
        return found;
    }

    // SetCommTimeouts with reads that return at once and the write deadline, which stays in
    // force for every write (readByte keeps it when it sets its own read time-outs).
    Status setWriteTimeout(const WriteTimeout& timeout) override {
        writeTimeout_ = timeout;
        return setTimeouts(commTimeoutsFor(timeout, 0));
    }

    // One WriteFile of all bytes; a write time-out gives a short count, a failure means
    // the device failed or went away.
    Result<std::size_t> write(std::span<const std::uint8_t> bytes) override {
        DWORD written = 0;
        if (WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) == FALSE) {
            return systemFailure(name_, "the line was lost", GetLastError());
        }
        return static_cast<std::size_t>(written);
    }

    // ReadFile of one byte. Without a wait the read returns at once; with one it returns at
    // once with a byte that is there, or waits for the next byte at most waitMs, in slices of
    // kStopSliceMs so that a stop request is seen. The write deadline is kept either way. A
    // failed read whose ClearCommError fails too, or that failed for any reason but an
    // abort, is a lost line.
    Result<std::optional<std::uint8_t>> readByte(std::uint32_t waitMs) override {
        if (stopEvent() != nullptr && WaitForSingleObject(stopEvent(), 0) == WAIT_OBJECT_0) {
            return std::optional<std::uint8_t>();
        }
        const COMMTIMEOUTS wanted =
            commTimeoutsFor(writeTimeout_, std::min<std::uint32_t>(waitMs, kStopSliceMs));
        if (!known_ || !sameTimeouts(wanted)) {
            if (Status set = setTimeouts(wanted); !set) {
                return systemFailure(name_, "the line was lost", set.failure().osError);
            }
        }
        std::uint8_t byte = 0;
        DWORD count = 0;
        if (ReadFile(handle_.get(), &byte, 1, &count, nullptr) == FALSE) {
            const DWORD error = GetLastError();
            DWORD errors = 0;
            COMSTAT status{};
            if (ClearCommError(handle_.get(), &errors, &status) == FALSE) {
                return systemFailure(name_, "the line was lost", GetLastError());
            }
            if (error == ERROR_OPERATION_ABORTED) {
                // A line error with abort-on-error, or a read cancelled by a stop request:
                // the line itself is still there.
                return std::optional<std::uint8_t>();
            }
            return systemFailure(name_, "the line was lost", error);
        }
        return count == 1 ? std::optional<std::uint8_t>(byte) : std::optional<std::uint8_t>();
    }

    // PurgeComm with all four actions.
    void purge() override {
        PurgeComm(handle_.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    // PurgeComm of the receive side only.
    void discardInput() override { PurgeComm(handle_.get(), PURGE_RXABORT | PURGE_RXCLEAR); }

  private:
    // SetCommTimeouts, remembering what is in force.
    Status setTimeouts(const COMMTIMEOUTS& wanted) {
        COMMTIMEOUTS record = wanted;
        if (SetCommTimeouts(handle_.get(), &record) == FALSE) {
            known_ = false;
            return systemFailure(name_, "refused the time-outs", GetLastError());
        }
        current_ = wanted;
        known_ = true;
        return {};
    }

    // True when the time-outs in force already are the wanted ones.
    bool sameTimeouts(const COMMTIMEOUTS& wanted) const {
        return current_.ReadIntervalTimeout == wanted.ReadIntervalTimeout &&
               current_.ReadTotalTimeoutMultiplier == wanted.ReadTotalTimeoutMultiplier &&
               current_.ReadTotalTimeoutConstant == wanted.ReadTotalTimeoutConstant &&
               current_.WriteTotalTimeoutMultiplier == wanted.WriteTotalTimeoutMultiplier &&
               current_.WriteTotalTimeoutConstant == wanted.WriteTotalTimeoutConstant;
    }

    UniqueHandle handle_;
    std::string name_;
    DCB found_{};
    bool foundRead_ = false;
    WriteTimeout writeTimeout_;
    COMMTIMEOUTS current_{};
    bool known_ = false;
};

}  // namespace

// CreateFileA("\\.\COM<n>") for reading and writing, without sharing, existing device only,
// then SetupComm with the queue sizes (a request the driver may size down; its answer changes
// nothing). A port held by another program answers ERROR_ACCESS_DENIED.
Result<std::unique_ptr<SerialPort>> openSystemSerialPort(int comPort) {
    char name[16];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", comPort);
    const std::string portName = comPortName(comPort);
    HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        FailureDetail detail = systemFailure(portName, "cannot open", GetLastError());
        if (detail.osError == ERROR_ACCESS_DENIED) {
            detail.hint = "another program may hold the port";
        } else if (detail.osError == ERROR_FILE_NOT_FOUND) {
            detail.hint = "there is no such port on this computer";
        }
        return detail;
    }
    SetupComm(handle, kInputQueueBytes, kOutputQueueBytes);
    return std::unique_ptr<SerialPort>(std::make_unique<Win32SerialPort>(handle, portName));
}

}  // namespace vorlanth::platform

namespace vorlanth::platform {

// Each COM number is a device of its own.
std::string systemSerialDeviceName(int comPort) {
    return comPortName(comPort);
}

}  // namespace vorlanth::platform
