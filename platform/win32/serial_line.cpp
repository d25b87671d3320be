// Builds the comm API's DCB and COMMTIMEOUTS from a portable serial line.
#include "platform/win32/serial_line.h"

namespace vorlanth::platform {

// Framing, output flow control and the DTR and RTS levels are written over the base; every
// other field stays as the base has it.
DCB deviceControlBlockFor(const SerialLine& line, const DCB& found) {
    DCB dcb{};
    if (line.otherSettings == OtherSettings::AsFound) {
        dcb = found;
    }
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = line.rate;
    dcb.ByteSize = line.dataBits;
    switch (line.parity) {
        case Parity::None:
            dcb.Parity = NOPARITY;
            break;
        case Parity::Odd:
            dcb.Parity = ODDPARITY;
            break;
        case Parity::Even:
            dcb.Parity = EVENPARITY;
            break;
    }
    dcb.StopBits = line.stopBits == StopBits::Two ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fOutxCtsFlow = line.flowControl == FlowControl::RtsCts;
    dcb.fOutX = line.flowControl == FlowControl::XonXoff;
    dcb.fDtrControl = line.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = line.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    return dcb;
}

// Reads return at once (interval MAXDWORD, totals 0), or wait for the next byte at most
// readWaitMs (interval and multiplier MAXDWORD, constant the wait); writes give up after
// their multiplier × length + constant.
COMMTIMEOUTS commTimeoutsFor(const WriteTimeout& write, std::uint32_t readWaitMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (readWaitMs > 0) {
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = readWaitMs;
    }
    timeouts.WriteTotalTimeoutMultiplier = write.perByteMs;
    timeouts.WriteTotalTimeoutConstant = write.extraMs;
    return timeouts;
}

}  // namespace vorlanth::platform
