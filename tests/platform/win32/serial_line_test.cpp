// The comm API's records the Win32 serial port builds, pinned field by field: the DCB and the
// time-outs for every line the links set (the Serial link at each rate, each step of the
// infrared cradle's set-up, an upload), taken from the link code itself over a fake port.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "platform/win32/serial_line.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/result_code_printer.h"

namespace vorlanth::platform {
namespace {

// The names of the fields in which two blocks differ; empty when they are the same.
std::vector<std::string> differences(const DCB& a, const DCB& b) {
    std::vector<std::string> names;
    const auto check = [&names](bool same, const char* name) {
        if (!same) {
            names.emplace_back(name);
        }
    };
    check(a.DCBlength == b.DCBlength, "DCBlength");
    check(a.BaudRate == b.BaudRate, "BaudRate");
    check(a.fBinary == b.fBinary, "fBinary");
    check(a.fParity == b.fParity, "fParity");
    check(a.fOutxCtsFlow == b.fOutxCtsFlow, "fOutxCtsFlow");
    check(a.fOutxDsrFlow == b.fOutxDsrFlow, "fOutxDsrFlow");
    check(a.fDtrControl == b.fDtrControl, "fDtrControl");
    check(a.fDsrSensitivity == b.fDsrSensitivity, "fDsrSensitivity");
    check(a.fTXContinueOnXoff == b.fTXContinueOnXoff, "fTXContinueOnXoff");
    check(a.fOutX == b.fOutX, "fOutX");
    check(a.fInX == b.fInX, "fInX");
    check(a.fErrorChar == b.fErrorChar, "fErrorChar");
    check(a.fNull == b.fNull, "fNull");
    check(a.fRtsControl == b.fRtsControl, "fRtsControl");
    check(a.fAbortOnError == b.fAbortOnError, "fAbortOnError");
    check(a.fDummy2 == b.fDummy2, "fDummy2");
    check(a.wReserved == b.wReserved, "wReserved");
    check(a.XonLim == b.XonLim, "XonLim");
    check(a.XoffLim == b.XoffLim, "XoffLim");
    check(a.ByteSize == b.ByteSize, "ByteSize");
    check(a.Parity == b.Parity, "Parity");
    check(a.StopBits == b.StopBits, "StopBits");
    check(a.XonChar == b.XonChar, "XonChar");
    check(a.XoffChar == b.XoffChar, "XoffChar");
    check(a.ErrorChar == b.ErrorChar, "ErrorChar");
    check(a.EofChar == b.EofChar, "EofChar");
    check(a.EvtChar == b.EvtChar, "EvtChar");
    check(a.wReserved1 == b.wReserved1, "wReserved1");
    return names;
}

// A block as a device might report it: every field set, none to what a link sets.
DCB deviceBlock() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 1200;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 1;
    dcb.fDummy2 = 5;
    dcb.wReserved = 0;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\n';
    dcb.wReserved1 = 3;
    return dcb;
}

// The block of the plain line at rate with RTS as given, on top of base: 8 data bits, no
// parity, one stop bit, no output flow control, DTR on.
DCB plainBlock(DCB base, DWORD rate, DWORD rtsControl) {
    base.DCBlength = sizeof(DCB);
    base.BaudRate = rate;
    base.ByteSize = 8;
    base.Parity = NOPARITY;
    base.StopBits = ONESTOPBIT;
    base.fOutxCtsFlow = 0;
    base.fOutX = 0;
    base.fDtrControl = DTR_CONTROL_ENABLE;
    base.fRtsControl = rtsControl & 0x3u;
    return base;
}

bool operator==(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// A link over the fake platform, as the link tests make one.
struct FakeLink {
    explicit FakeLink(int linkType, int baudIndex) {
        settings.linkType = linkType;
        settings.baudIndex = baudIndex;
    }
    fakes::FakePlatform platform;
    link::LinkState state;
    ResponseLine line;
    UploadSettings settings;
    FailureDetail failure;
    WarningSink warnings;
    link::Link link{state, line, settings, platform, nullptr, failure, warnings};
};

// The Serial link at each rate (and an index with none): the block is built from scratch,
// whatever the device had: every field not named below is zero.
TEST(Win32SerialLine, SerialLinkBlockAtEachRate) {
    const struct {
        int baudIndex;
        DWORD rate;
    } rows[] = {{0, 115200}, {1, 57600}, {2, 38400}, {3, 19200}, {4, 9600}, {9, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rate);
        FakeLink serial(Serial, row.baudIndex);
        ASSERT_EQ(link::openLink(serial.link), ResultCode::Done);
        ASSERT_EQ(serial.platform.serialLine.appliedLines.size(), 1u);
        DCB expected{};
        expected.DCBlength = sizeof(DCB);
        expected.BaudRate = row.rate;
        expected.ByteSize = 8;
        expected.Parity = NOPARITY;
        expected.StopBits = ONESTOPBIT;
        expected.fDtrControl = DTR_CONTROL_ENABLE;
        expected.fRtsControl = RTS_CONTROL_ENABLE;
        const DCB built =
            deviceControlBlockFor(serial.platform.serialLine.appliedLines[0], deviceBlock());
        EXPECT_EQ(differences(built, expected), std::vector<std::string>{});
    }
}

// The comm time-outs of an upload on either serial kind: reads return at once, or wait for
// the next byte in slices (interval and multiplier MAXDWORD, constant the slice); every write
// gives up after 5 ms a byte plus 50 ms.
TEST(Win32SerialLine, UploadTimeouts) {
    FakeLink serial(Serial, 0);
    ASSERT_EQ(link::openLink(serial.link), ResultCode::Done);
    link::prepareUpload(serial.link);
    ASSERT_EQ(serial.platform.serialLine.writeTimeouts.size(), 1u);
    const WriteTimeout upload = serial.platform.serialLine.writeTimeouts[0];
    const COMMTIMEOUTS atOnce{MAXDWORD, 0, 0, 5, 50};
    const COMMTIMEOUTS waiting{MAXDWORD, MAXDWORD, 100, 5, 50};
    EXPECT_TRUE(commTimeoutsFor(upload, 0) == atOnce);
    EXPECT_TRUE(commTimeoutsFor(upload, 100) == waiting);
}

// Each line the infrared cradle's set-up applies, in order, on a cradle found at 9600 and
// switched to 115200: the block is the device's own with only rate, framing, output flow
// control, DTR and RTS changed (RTS off while the cradle is addressed). Writes have no
// deadline and the probe's read returns at once; the open ends by applying the line again.
TEST(Win32SerialLine, CradleSetUpBlocksAndTimeouts) {
    FakeLink cradle(CradleIr, 0);
    fakes::FakeSerialLine& line = cradle.platform.serialLine;
    line.responder = [](fakes::FakeSerialLine& l, std::span<const std::uint8_t> sent) {
        if (!l.current.rts && l.current.rate == 9600 && sent[0] == 0x0F) {
            l.deliver(sent, 5);
        }
    };
    ASSERT_EQ(link::openLink(cradle.link), ResultCode::Done);
    const DCB device = deviceBlock();
    const std::vector<DCB> expected = {
        plainBlock(device, 38400, RTS_CONTROL_ENABLE),    // the start, at 38400
        plainBlock(device, 9600, RTS_CONTROL_DISABLE),    // the probe at 9600
        plainBlock(device, 9600, RTS_CONTROL_ENABLE),     // its end
        plainBlock(device, 9600, RTS_CONTROL_DISABLE),    // 0x07, "6", "Q" to the cradle
        plainBlock(device, 115200, RTS_CONTROL_ENABLE),   // the chosen rate, to the terminal
        plainBlock(device, 115200, RTS_CONTROL_ENABLE)};  // the open applies it once more
    ASSERT_EQ(line.appliedLines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(differences(deviceControlBlockFor(line.appliedLines[i], device), expected[i]),
                  std::vector<std::string>{});
    }
    const COMMTIMEOUTS setUp{MAXDWORD, 0, 0, 0, 0};
    ASSERT_EQ(line.writeTimeouts.size(), 1u);
    EXPECT_TRUE(commTimeoutsFor(line.writeTimeouts[0], 0) == setUp);
    ASSERT_FALSE(line.readWaits.empty());
    for (const std::uint32_t wait : line.readWaits) {
        EXPECT_TRUE(commTimeoutsFor(line.writeTimeouts[0], wait) == setUp);
    }
}

// The framing and flow-control words a line can hold, each in its DCB field.
TEST(Win32SerialLine, FramingAndFlowControlFields) {
    struct Row {
        const char* name;
        SerialLine line;
        BYTE byteSize, parity, stopBits;
        DWORD ctsFlow, xonOutput;
    };
    SerialLine odd;
    odd.parity = Parity::Odd;
    SerialLine even7Two;
    even7Two.dataBits = 7;
    even7Two.parity = Parity::Even;
    even7Two.stopBits = StopBits::Two;
    SerialLine rtsCts;
    rtsCts.flowControl = FlowControl::RtsCts;
    SerialLine xonXoff;
    xonXoff.flowControl = FlowControl::XonXoff;
    const Row rows[] = {
        {"odd parity", odd, 8, ODDPARITY, ONESTOPBIT, 0, 0},
        {"7 data bits, even parity, two stop bits", even7Two, 7, EVENPARITY, TWOSTOPBITS, 0, 0},
        {"RTS/CTS", rtsCts, 8, NOPARITY, ONESTOPBIT, 1, 0},
        {"XON/XOFF", xonXoff, 8, NOPARITY, ONESTOPBIT, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const DCB dcb = deviceControlBlockFor(row.line, deviceBlock());
        EXPECT_EQ(dcb.ByteSize, row.byteSize);
        EXPECT_EQ(dcb.Parity, row.parity);
        EXPECT_EQ(dcb.StopBits, row.stopBits);
        EXPECT_EQ(dcb.fOutxCtsFlow, row.ctsFlow);
        EXPECT_EQ(dcb.fOutX, row.xonOutput);
        EXPECT_EQ(dcb.fInX, 0u) << "cleared with the device's other settings";
    }
}

// The device queue sizes every open requests.
TEST(Win32SerialLine, QueueSizesRequestedAtOpen) {
    EXPECT_EQ(kInputQueueBytes, 256u);
    EXPECT_EQ(kOutputQueueBytes, 1200u);
}

}  // namespace
}  // namespace vorlanth::platform
