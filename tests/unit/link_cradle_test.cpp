// The infrared cradle's set-up against a model of the cradle: bytes, delays, RTS and rates of
// each set-up, and how a lost line, silence and a stop end it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/cradle_transport.h"
#include "tests/unit/link_test_support.h"

namespace vorlanth::link {
namespace {

using testing::LinkRig;

// The infrared cradle on the far end of the line: it hears commands only with RTS off and
// only at its own rate; it echoes a probe after echoDelayMs with answerByte, and a rate digit
// followed by "Q" moves it to that rate.
struct CradleModel {
    std::uint32_t rate = 9600;
    std::uint8_t answerByte = 0x0F;
    std::uint32_t echoDelayMs = 5;
    std::uint8_t pendingDigit = 0;
    int commandsAtWrongRate = 0;

    void attach(fakes::FakeSerialLine& line) {
        line.responder = [this](fakes::FakeSerialLine& l, std::span<const std::uint8_t> bytes) {
            if (l.current.rts) {
                return;  // data for the terminal, not for the cradle
            }
            if (l.current.rate != rate) {
                if (bytes[0] != 0x0F) {
                    ++commandsAtWrongRate;
                }
                return;
            }
            for (std::uint8_t byte : bytes) {
                if (byte == 0x0F) {
                    const std::uint8_t answer[] = {answerByte};
                    l.deliver(answer, echoDelayMs);
                } else if (byte >= '2' && byte <= '6') {
                    pendingDigit = byte;
                } else if (byte == 'Q' && pendingDigit != 0) {
                    constexpr std::uint32_t rates[] = {9600, 19200, 38400, 57600, 115200};
                    rate = rates[pendingDigit - '2'];
                    pendingDigit = 0;
                }
            }
        };
    }
};

struct CradleCase {
    const char* name;
    std::uint32_t rememberedRate;
    int baudIndex;
    CradleModel cradle;
    int result;
    std::string written;  // every byte written, in order
    std::vector<std::uint32_t> sleeps;
    std::uint32_t rateAfter;        // cradleRate afterwards
    std::uint32_t portRateAfter;    // the rate the port was last set to
    std::uint32_t cradleRateAfter;  // the model's own rate afterwards
};

// Bytes, delays and the remembered rate of each set-up; every command goes out with RTS off
// at the cradle's rate, and the line ends with RTS and DTR on.
TEST(ConfigureCradle, SequencesAgainstACradleModel) {
    const std::string p = "\x0F";
    const std::string found = "\x07";
    const std::vector<CradleCase> cases = {
        {"first set-up, cradle at 9600, chosen 115200",
         0,
         0,
         {9600},
         1,
         p + found + "6Q",
         {170, 170, 170, 170, 170},
         115200,
         115200,
         115200},
        {"retry, cradle still at 115200",
         115200,
         0,
         {115200},
         1,
         p + found,
         {40, 40, 40},
         115200,
         115200,
         115200},
        {"first set-up, cradle already at the chosen 19200",
         0,
         3,
         {19200},
         1,
         p + p + p + p + p + found + "3Q",
         {170, 170, 40, 40, 70, 70, 50, 50, 90, 90, 90, 90, 90},
         19200,
         19200,
         19200},
        {"retry, cradle fell back to 9600",
         115200,
         0,
         {9600},
         1,
         p + p + found,
         {40, 40, 170, 170, 170},
         115200,
         115200,
         9600},
        {"wrong answer byte",
         0,
         0,
         {9600, 0x0E},
         0,
         p + p + p + p + p,
         {170, 170, 40, 40, 70, 70, 50, 50, 90, 90},
         0,
         19200,
         9600},
        {"echo after the settle delay",
         0,
         0,
         {9600, 0x0F, 171},
         0,
         p + p + p + p + p,
         {170, 170, 40, 40, 70, 70, 50, 50, 90, 90},
         0,
         19200,
         9600},
        {"no answer, remembered rate tried first",
         57600,
         0,
         {1200},
         0,
         p + p + p + p + p + p,
         {50, 50, 170, 170, 40, 40, 70, 70, 50, 50, 90, 90},
         57600,
         19200,
         1200},
        {"baud index without a digit",
         0,
         9,
         {38400},
         1,
         p + p + p + found,
         {170, 170, 40, 40, 70, 70, 70},
         0,
         38400,
         38400},
    };
    for (const CradleCase& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig(CradleIr);
        CradleModel cradle = c.cradle;
        cradle.attach(rig.serial());
        rig.state.cradleRate = c.rememberedRate;
        rig.settings.baudIndex = c.baudIndex;

        const ResultCode code = openLink(rig.link);
        EXPECT_EQ(code, c.result == 1 ? ResultCode::Done : ResultCode::CantConfigureIrDevice);
        EXPECT_EQ(fakes::Bytes(rig.serial().written()), fakes::bytesOf(c.written));
        EXPECT_EQ(rig.clock().sleeps, c.sleeps);
        EXPECT_EQ(rig.state.cradleRate, c.rateAfter);
        EXPECT_EQ(cradle.rate, c.cradleRateAfter);
        EXPECT_EQ(cradle.commandsAtWrongRate, 0);

        const auto& applied = rig.serial().appliedLines;
        ASSERT_FALSE(applied.empty());
        EXPECT_EQ(applied.front().rate, c.rememberedRate != 0 ? c.rememberedRate : 38400u);
        const platform::SerialLine& last = applied.back();
        EXPECT_EQ(last.rate, c.portRateAfter);
        EXPECT_TRUE(last.rts);
        EXPECT_TRUE(last.dtr);
        EXPECT_EQ(last.dataBits, 8);
        EXPECT_EQ(last.parity, platform::Parity::None);
        EXPECT_EQ(last.stopBits, platform::StopBits::One);
        EXPECT_EQ(last.flowControl, platform::FlowControl::None);
        for (const platform::SerialLine& line : applied) {
            EXPECT_EQ(line.otherSettings, platform::OtherSettings::AsFound)
                << "built on the port's own settings";
        }
        // Writes without a deadline, every read at once.
        EXPECT_EQ(rig.serial().writeTimeouts, std::vector<platform::WriteTimeout>{{}});
        for (const std::uint32_t wait : rig.serial().readWaits) {
            EXPECT_EQ(wait, 0u);
        }
        EXPECT_TRUE(rig.warnings.said.empty());
        for (const fakes::TimedWrite& write : rig.serial().writes) {
            SCOPED_TRACE(write.tick);
            EXPECT_EQ(write.bytes.size(), 1u);
        }
    }
}

// A lost line ends the probe at once with its failure, and the whole search with it: one
// probe, not one per rate, and the set-up fails with why. The loss shows in the probe's read or
// in its write of the probe byte (which then is not reported as sent).
TEST(ConfigureCradle, ALostLineEndsTheSearchAtOnce) {
    struct Case {
        const char* name;
        bool readsFail;
        bool writesFail;
        std::uint32_t probeMs;  // what the probe waits before it gives up
        int reads;
        std::size_t bytesWritten;
    };
    const Case cases[] = {
        {"the read finds it lost", true, false, 40, 1, 1},
        {"the write finds it lost", false, true, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig(CradleIr);
        CradleTransport cradle(std::move(rig.platform.openSerialPort(1)).value(), "COM1",
                               rig.platform, &rig.trace);
        rig.serial().readsFail = c.readsFail;
        rig.serial().writesFail = c.writesFail;
        const std::uint32_t start = rig.clock().tickCount();
        const Result<ProbeAnswer> probed = cradle.probe(115200);
        ASSERT_FALSE(probed.ok());
        EXPECT_EQ(probed.failure().reason, "the line was lost");
        EXPECT_EQ(rig.clock().tickCount() - start, c.probeMs);
        EXPECT_EQ(rig.serial().readCalls, c.reads);
        EXPECT_EQ(rig.trace.chunks.size(), c.bytesWritten) << "a failed write is not traced";

        rig.serial().writes.clear();
        std::uint32_t remembered = 0;
        const Result<CradleSetUp> configured = cradle.configure(remembered, 0);
        ASSERT_FALSE(configured.ok());
        EXPECT_EQ(rig.serial().writes.size(), c.bytesWritten) << "no further rates";
        EXPECT_EQ(configured.failure().reason, "the line was lost");
        EXPECT_EQ(remembered, 0u);
    }
}

// A cradle that never answers fails the open with why, naming the port; the port stays open
// until closeLink.
TEST(ConfigureCradle, NoAnswerSaysSo) {
    LinkRig rig(CradleIr);
    rig.settings.comPort = 3;
    EXPECT_EQ(openLink(rig.link), ResultCode::CantConfigureIrDevice);
    EXPECT_EQ(rig.failure.object, "COM3");
    EXPECT_NE(rig.failure.reason.find("did not answer"), std::string::npos);
    EXPECT_TRUE(rig.serial().isOpen);
}

// A stop of the run during the search ends it before the next rate: the open fails as a
// set-up that found nothing, but gives no reason (the run is ending; nothing is shown).
TEST(ConfigureCradle, AStopEndsTheSearchWithoutAReason) {
    LinkRig rig(CradleIr);
    rig.serial().responder = [&](fakes::FakeSerialLine&, std::span<const std::uint8_t>) {
        rig.platform.stopSignal = 15;
    };
    EXPECT_EQ(openLink(rig.link), ResultCode::CantConfigureIrDevice);
    EXPECT_EQ(rig.serial().written(), fakes::bytesOf("\x0F")) << "one probe, then the stop";
    EXPECT_TRUE(rig.failure.empty());
    EXPECT_TRUE(rig.serial().isOpen);
}

}  // namespace
}  // namespace vorlanth::link
