#include <windows.h>

#include <cstdio>

#include <algorithm>
#include <string>

#include "common/text.h"
#include "platform/system_parts.h"
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

DWORD dtrFieldOf(LineControl control) {
    switch (control) {
        case LineControl::Enable:
            return DTR_CONTROL_ENABLE;
        case LineControl::Handshake:
            return DTR_CONTROL_HANDSHAKE;
        default:
            return DTR_CONTROL_DISABLE;
    }
}

DWORD rtsFieldOf(LineControl control) {
    switch (control) {
        case LineControl::Enable:
            return RTS_CONTROL_ENABLE;
        case LineControl::Handshake:
            return RTS_CONTROL_HANDSHAKE;
        case LineControl::Toggle:
            return RTS_CONTROL_TOGGLE;
        default:
            return RTS_CONTROL_DISABLE;
    }
}

LineControl lineControlOf(DWORD field) {
    switch (field) {
        case 1:
            return LineControl::Enable;
        case 2:
            return LineControl::Handshake;
        case 3:
            return LineControl::Toggle;
        default:
            return LineControl::Disable;
    }
}

// A COM port opened without sharing, in plain blocking mode.
class Win32SerialPort final : public SerialPort {
  public:
    Win32SerialPort(HANDLE handle, std::string name) : handle_(handle), name_(std::move(name)) {
        base_.DCBlength = sizeof(DCB);
    }

    // SetupComm with the requested queue sizes.
    bool setQueueSizes(std::uint32_t inputBytes, std::uint32_t outputBytes) override {
        return SetupComm(handle_.get(), inputBytes, outputBytes) != FALSE;
    }

    // GetCommState; the record read also becomes the base of later applications, so that
    // the fields the record does not carry (binary mode among them) go back as they came.
    bool readLineSettings(LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (GetCommState(handle_.get(), &dcb) == FALSE) {
            return false;
        }
        base_ = dcb;
        settings.baudRate = dcb.BaudRate;
        settings.byteSize = dcb.ByteSize;
        settings.parity = static_cast<Parity>(dcb.Parity);
        settings.stopBits = static_cast<StopBits>(dcb.StopBits);
        settings.dtrControl = lineControlOf(dcb.fDtrControl);
        settings.rtsControl = lineControlOf(dcb.fRtsControl);
        settings.outxCtsFlow = dcb.fOutxCtsFlow != 0;
        settings.outxDsrFlow = dcb.fOutxDsrFlow != 0;
        settings.dsrSensitivity = dcb.fDsrSensitivity != 0;
        settings.outX = dcb.fOutX != 0;
        settings.inX = dcb.fInX != 0;
        settings.parityCheck = dcb.fParity != 0;
        settings.errorCharReplace = dcb.fErrorChar != 0;
        settings.nullStrip = dcb.fNull != 0;
        settings.abortOnError = dcb.fAbortOnError != 0;
        settings.txContinueOnXoff = dcb.fTXContinueOnXoff != 0;
        settings.xonLimit = dcb.XonLim;
        settings.xoffLimit = dcb.XoffLim;
        settings.xonChar = dcb.XonChar;
        settings.xoffChar = dcb.XoffChar;
        settings.errorChar = dcb.ErrorChar;
        settings.eofChar = dcb.EofChar;
        settings.eventChar = dcb.EvtChar;
        return true;
    }

    // SetCommState with the record written over the base: a cleared DCB until the port's
    // settings were read, the DCB read after that.
    bool applyLineSettings(const LineSettings& settings) override {
        DCB dcb = base_;
        dcb.DCBlength = sizeof(DCB);
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = static_cast<BYTE>(settings.parity);
        dcb.StopBits = static_cast<BYTE>(settings.stopBits);
        dcb.fDtrControl = dtrFieldOf(settings.dtrControl) & 0x3u;
        dcb.fRtsControl = rtsFieldOf(settings.rtsControl) & 0x3u;
        dcb.fOutxCtsFlow = settings.outxCtsFlow;
        dcb.fOutxDsrFlow = settings.outxDsrFlow;
        dcb.fDsrSensitivity = settings.dsrSensitivity;
        dcb.fOutX = settings.outX;
        dcb.fInX = settings.inX;
        dcb.fParity = settings.parityCheck;
        dcb.fErrorChar = settings.errorCharReplace;
        dcb.fNull = settings.nullStrip;
        dcb.fAbortOnError = settings.abortOnError;
        dcb.fTXContinueOnXoff = settings.txContinueOnXoff;
        dcb.XonLim = settings.xonLimit;
        dcb.XoffLim = settings.xoffLimit;
        dcb.XonChar = settings.xonChar;
        dcb.XoffChar = settings.xoffChar;
        dcb.ErrorChar = settings.errorChar;
        dcb.EofChar = settings.eofChar;
        dcb.EvtChar = settings.eventChar;
        return SetCommState(handle_.get(), &dcb) != FALSE;
    }

    // SetCommTimeouts with the policy; its write time-outs stay in force for every write.
    bool setTimeouts(const SerialTimeouts& timeouts) override {
        COMMTIMEOUTS record{};
        record.ReadIntervalTimeout = timeouts.readIntervalMs;
        record.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplierMs;
        record.ReadTotalTimeoutConstant = timeouts.readTotalConstantMs;
        record.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplierMs;
        record.WriteTotalTimeoutConstant = timeouts.writeTotalConstantMs;
        policy_ = timeouts;
        if (SetCommTimeouts(handle_.get(), &record) == FALSE) {
            known_ = false;
            return false;
        }
        current_ = record;
        known_ = true;
        return true;
    }

    // One WriteFile of all bytes; a write time-out gives a short count, a failure means
    // the device failed or went away.
    std::int64_t write(std::span<const std::uint8_t> bytes, FailureDetail* why) override {
        DWORD written = 0;
        if (WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) == FALSE) {
            tell(why, systemFailure(name_, "the line was lost", GetLastError()));
            return -1;
        }
        return static_cast<std::int64_t>(written);
    }

    // ReadFile of one byte. Without a wait the read returns at once (interval MAXDWORD,
    // totals 0); with one it returns at once with a byte that is there, or waits for the
    // next byte at most waitMs, in slices of kStopSliceMs so that a stop request is seen
    // (interval and multiplier MAXDWORD, constant the slice). The write time-outs of the
    // policy are kept either way. A failed read whose ClearCommError fails too, or that
    // failed for any reason but an abort, is a lost line.
    ReadStatus readByte(std::uint8_t& byte, std::uint32_t waitMs, FailureDetail* why) override {
        if (stopEvent() != nullptr && WaitForSingleObject(stopEvent(), 0) == WAIT_OBJECT_0) {
            return ReadStatus::Nothing;
        }
        const DWORD slice = std::min<DWORD>(waitMs, kStopSliceMs);
        COMMTIMEOUTS wanted{};
        wanted.ReadIntervalTimeout = MAXDWORD;
        if (slice > 0) {
            wanted.ReadTotalTimeoutMultiplier = MAXDWORD;
            wanted.ReadTotalTimeoutConstant = slice;
        }
        wanted.WriteTotalTimeoutMultiplier = policy_.writeTotalMultiplierMs;
        wanted.WriteTotalTimeoutConstant = policy_.writeTotalConstantMs;
        if (!known_ || !sameReadTimeouts(wanted)) {
            if (SetCommTimeouts(handle_.get(), &wanted) == FALSE) {
                known_ = false;
                tell(why, systemFailure(name_, "the line was lost", GetLastError()));
                return ReadStatus::Failed;
            }
            current_ = wanted;
            known_ = true;
        }
        DWORD count = 0;
        if (ReadFile(handle_.get(), &byte, 1, &count, nullptr) == FALSE) {
            const DWORD error = GetLastError();
            DWORD errors = 0;
            COMSTAT status{};
            if (ClearCommError(handle_.get(), &errors, &status) == FALSE) {
                tell(why, systemFailure(name_, "the line was lost", GetLastError()));
                return ReadStatus::Failed;
            }
            if (error == ERROR_OPERATION_ABORTED) {
                // A line error with abort-on-error, or a read cancelled by a stop request:
                // the line itself is still there.
                return ReadStatus::Nothing;
            }
            tell(why, systemFailure(name_, "the line was lost", error));
            return ReadStatus::Failed;
        }
        return count == 1 ? ReadStatus::Byte : ReadStatus::Nothing;
    }

    // PurgeComm with all four actions.
    void purge() override {
        PurgeComm(handle_.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    // PurgeComm of the receive side only.
    void discardInput() override { PurgeComm(handle_.get(), PURGE_RXABORT | PURGE_RXCLEAR); }

  private:
    // True when the time-outs in force already are the wanted ones.
    bool sameReadTimeouts(const COMMTIMEOUTS& wanted) const {
        return current_.ReadIntervalTimeout == wanted.ReadIntervalTimeout &&
               current_.ReadTotalTimeoutMultiplier == wanted.ReadTotalTimeoutMultiplier &&
               current_.ReadTotalTimeoutConstant == wanted.ReadTotalTimeoutConstant &&
               current_.WriteTotalTimeoutMultiplier == wanted.WriteTotalTimeoutMultiplier &&
               current_.WriteTotalTimeoutConstant == wanted.WriteTotalTimeoutConstant;
    }

    UniqueHandle handle_;
    std::string name_;
    DCB base_{};
    SerialTimeouts policy_;
    COMMTIMEOUTS current_{};
    bool known_ = false;
};

}  // namespace

// CreateFileA("\\.\COM<n>") for reading and writing, without sharing, existing device only.
// A port held by another program answers ERROR_ACCESS_DENIED.
std::unique_ptr<SerialPort> openSystemSerialPort(int comPort, FailureDetail* why) {
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
        tell(why, std::move(detail));
        return nullptr;
    }
    return std::make_unique<Win32SerialPort>(handle, portName);
}

}  // namespace vorlanth::platform

namespace vorlanth::platform {

// Each COM number is a device of its own.
std::string systemSerialDeviceName(int comPort) {
    return comPortName(comPort);
}

}  // namespace vorlanth::platform
