// The link over the real platform: a serial line on a pseudo-terminal (a COM port under Wine)
// and UDP on 127.0.0.1; answers at their CR, stale answers dropped, quiet waits, a hang-up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "platform/platform.h"
#include "tests/fakes/result_code_printer.h"
#include "tests/platform/link_peers.h"

namespace vorlanth::platform_tests {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The warnings a link said.
struct CountedWarnings final : WarningSink {
    void warn(std::string_view summary, const FailureDetail& detail) override {
        said.push_back(std::string(summary) + ": " + describeFailure(detail));
    }
    std::vector<std::string> said;
};

// The link over the running system's platform; closed when the test ends.
struct RealLink {
    explicit RealLink(int linkType) { settings.linkType = linkType; }
    ~RealLink() { link::closeLink(link); }

    std::unique_ptr<platform::Platform> platform = platform::makeSystemPlatform();
    link::LinkState state;
    ResponseLine line;
    UploadSettings settings;
    FailureDetail failure;
    CountedWarnings warnings;
    link::Link link{state, line, settings, *platform, nullptr, failure, warnings};

    ResultCode exchangeText(std::string_view text) {
        const Bytes bytes(text.begin(), text.end());
        return link::exchange(link, bytes);
    }
};

// Seconds of the silent wait whose CPU share is measured: 1 in the regular run,
// VORLANTH_CPU_WAIT_SECONDS (8 for the full measurement) when set.
int silentWaitSeconds() {
    const char* text = std::getenv("VORLANTH_CPU_WAIT_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 1;
}

// Reads a line from a silent far end: the read must end just past its deadline with an
// empty line, and use under 2% of a core meanwhile.
void expectQuietSilentWait(RealLink& real, const char* linkName) {
    // The meter must see CPU time at all: a 200 ms spin has to register, even on a shared
    // machine.
    const double spinStartCpu = processCpuMs();
    const auto spinStart = Clock::now();
    volatile std::uint64_t sink = 0;
    while (msSince(spinStart) < 200) {
        sink = sink + 1;
    }
    ASSERT_GT(processCpuMs() - spinStartCpu, 20.0) << "the CPU meter does not move";

    const int seconds = silentWaitSeconds();
    const double cpuBefore = processCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(link::readResponseLine(real.link, seconds), ResultCode::Done);
    const double elapsed = msSince(start);
    const double cpu = processCpuMs() - cpuBefore;
    EXPECT_EQ(real.line.text(), "");
    EXPECT_GE(elapsed, seconds * 1000.0 - 20.0);
    EXPECT_LT(elapsed, seconds * 1000.0 + 500.0);
    const double share = cpu / elapsed * 100.0;
    std::printf("[ cpu ] %s: silent %d s wait took %.0f ms, %.1f ms CPU = %.2f%% of a core\n",
                linkName, seconds, elapsed, cpu, share);
    EXPECT_LT(share, 2.0);
}

// Opens a Serial link on the far end's COM port at 19200 bit/s.
std::unique_ptr<SerialFarEnd> openSerial(RealLink& real) {
    auto farEnd = SerialFarEnd::start();
    if (farEnd) {
        real.settings.comPort = farEnd->comPort();
        real.settings.baudIndex = 3;
        EXPECT_EQ(link::openLink(real.link), ResultCode::Done);
        link::prepareUpload(real.link);
    }
    return farEnd;
}

TEST(SerialPortOnThisSystem, AcceptsTheLineSettings) {
    RealLink real(Serial);
    const auto farEnd = openSerial(real);
    if (!farEnd) {
        GTEST_SKIP() << "no serial far end on this system";
    }
    ASSERT_TRUE(real.state.transport);
    EXPECT_EQ(real.warnings.said, std::vector<std::string>{}) << "the device refused nothing";
    // What the device runs on, seen from outside where the system lets a second look in.
    const std::optional<ObservedLine> now = farEnd->observeLine();
    if (now) {
        EXPECT_EQ(now->rate, 19200u);
        EXPECT_EQ(now->dataBits, 8);
        EXPECT_FALSE(now->parity);
        EXPECT_FALSE(now->twoStopBits);
        EXPECT_FALSE(now->ctsFlow);
        EXPECT_FALSE(now->xonXoffOutput);
    }
}

// The far end sends "FA" at 200 ms and the CR at 500 ms: the line is there the moment the CR
// is, not at the 8-second deadline. An answer left from an earlier command is dropped.
TEST(SerialPortOnThisSystem, ReadsTheLineAtItsCrAndDropsStaleAnswers) {
    RealLink real(Serial);
    const auto farEnd = openSerial(real);
    if (!farEnd) {
        GTEST_SKIP() << "no serial far end on this system";
    }
    auto start = Clock::now();
    EXPECT_EQ(real.exchangeText("PING\r"), ResultCode::Done);
    EXPECT_EQ(real.line.text(), "FA");
    EXPECT_GE(msSince(start), 480.0);
    EXPECT_LT(msSince(start), 1200.0);

    const Bytes stale = {'S', 'T', 'A', 'L', 'E', '\r'};
    ASSERT_TRUE(real.state.transport->send(stale).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    start = Clock::now();
    EXPECT_EQ(real.exchangeText("PING\r"), ResultCode::Done);
    EXPECT_EQ(real.line.text(), "FA");
    EXPECT_GE(msSince(start), 480.0);
}

TEST(SerialPortOnThisSystem, RefusesASecondOpen) {
    RealLink real(Serial);
    const auto farEnd = openSerial(real);
    if (!farEnd) {
        GTEST_SKIP() << "no serial far end on this system";
    }
    EXPECT_FALSE(real.platform->openSerialPort(farEnd->comPort()));
    RealLink second(Serial);
    second.settings.comPort = farEnd->comPort();
    EXPECT_EQ(link::openLink(second.link), ResultCode::CantOpenComPort);
    link::closeLink(real.link);
    EXPECT_TRUE(real.platform->openSerialPort(farEnd->comPort()));
}

TEST(SerialPortOnThisSystem, SilentWaitKeepsTheProcessorIdle) {
    RealLink real(Serial);
    const auto farEnd = openSerial(real);
    if (!farEnd) {
        GTEST_SKIP() << "no serial far end on this system";
    }
    expectQuietSilentWait(real, "serial");
}

// A line whose far end has hung up ends the read at once as a failure that says so, instead
// of passing for a silent terminal until the deadline; nothing spins meanwhile. (Runs last of
// the serial cases: the far end is gone afterwards.)
TEST(SerialPortOnThisSystem, ZHungUpLineFailsTheReadAtOnce) {
    RealLink real(Serial);
    const auto farEnd = openSerial(real);
    if (!farEnd) {
        GTEST_SKIP() << "no serial far end on this system";
    }
    const Bytes hangUp = {'H', 'A', 'N', 'G', 'U', 'P', '\r'};
    ASSERT_TRUE(real.state.transport->send(hangUp).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double cpuBefore = processCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(link::readResponseLine(real.link, 8), ResultCode::Failed);
    const double elapsed = msSince(start);
    EXPECT_EQ(real.line.text(), "");
    EXPECT_LT(elapsed, 200.0);
    EXPECT_LT(processCpuMs() - cpuBefore, 50.0);
    EXPECT_EQ(real.failure.kind, FailureKind::System);
    EXPECT_EQ(real.failure.reason.rfind("the line was lost", 0), 0u) << real.failure.reason;
    // A write finds it lost too.
    EXPECT_EQ(real.exchangeText("PING\r"), ResultCode::Failed);
}

// The system resolver gives localhost as 127.0.0.1 (from the hosts file: nothing is sent).
TEST(ResolverOnThisSystem, LocalhostIsTheLoopbackAddress) {
    auto system = platform::makeSystemPlatform();
    const Result<platform::Ipv4Address> address = system->sockets().resolveHostName("localhost");
    ASSERT_TRUE(address.ok()) << describeFailure(address.failure());
    EXPECT_EQ(address.value(), (platform::Ipv4Address{127, 0, 0, 1}));
}

// A network link to the loopback peer.
std::unique_ptr<LoopbackPeer> openNetwork(RealLink& real) {
    auto peer = LoopbackPeer::start();
    real.settings.targetAddress.assign("127.0.0.1");
    real.settings.targetPort = peer->port();
    EXPECT_EQ(link::openLink(real.link), ResultCode::Done);
    return peer;
}

TEST(DatagramSocketOnThisSystem, JoinsSplitDatagramsAndFailsOnOversize) {
    RealLink real(Network);
    const auto peer = openNetwork(real);
    struct Case {
        const char* command;
        ResultCode result;
        std::string text;
    };
    for (const Case& c :
         {Case{"SPLIT", ResultCode::Done, "FA"}, Case{"JOIN", ResultCode::Done, "FA"},
          Case{"MID", ResultCode::Done, "A\rB"}, Case{"BIG", ResultCode::Failed, ""}}) {
        SCOPED_TRACE(c.command);
        const auto start = Clock::now();
        EXPECT_EQ(real.exchangeText(c.command), c.result);
        EXPECT_EQ(real.line.text(), c.text);
        EXPECT_LT(msSince(start), 1000.0);
    }
}

TEST(DatagramSocketOnThisSystem, DropsStaleDatagramsBeforeASend) {
    RealLink real(Network);
    const auto peer = openNetwork(real);
    const Bytes stale = {'S', 'T', 'A', 'L', 'E'};
    ASSERT_TRUE(real.state.transport->send(stale).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(real.exchangeText("JOIN"), ResultCode::Done);
    EXPECT_EQ(real.line.text(), "FA");
}

TEST(DatagramSocketOnThisSystem, SilentWaitEndsAtTheDeadlineAndKeepsTheProcessorIdle) {
    RealLink real(Network);
    const auto peer = openNetwork(real);
    expectQuietSilentWait(real, "network");
}

}  // namespace
}  // namespace vorlanth::platform_tests
