// The transport contract, run against every kind of link over the real platform: a serial
// line and an infrared cradle on a pseudo-terminal pair, UDP on a socket pair on 127.0.0.1.
// Timings are asserted only with margins a loaded machine keeps; exact deadlines are the unit
// tests' (virtual clock).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "link/link.h"
#include "platform/platform.h"
#include "tests/fakes/result_code_printer.h"
#include "tests/platform/link_peers.h"

namespace vorlanth::platform_tests {
namespace {

using SteadyClock = std::chrono::steady_clock;

enum class Kind { Serial, Cradle, Udp };

double msSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// A link of one kind to its far end, opened through the link's own open; closed at the end.
class ContractRig {
  public:
    explicit ContractRig(Kind kind) : kind_(kind) {
        if (kind == Kind::Udp) {
            peer_ = LoopbackPeer::start();
            settings_.linkType = Network;
            settings_.targetAddress.assign("127.0.0.1");
            settings_.targetPort = peer_->port();
            return;
        }
        farEnd_ =
            SerialFarEnd::start(kind == Kind::Cradle ? FarEndRole::Cradle : FarEndRole::Terminal);
        if (farEnd_) {
            settings_.linkType = kind == Kind::Cradle ? CradleIr : Serial;
            settings_.comPort = farEnd_->comPort();
            settings_.baudIndex = 0;
            // A cradle set to 115200 before, as on a retry: found at once, no switch.
            state_.cradleRate = 115200;
        }
    }
    ~ContractRig() { link::closeLink(link_); }

    // Why this kind cannot run on this system; empty when it can.
    std::string missing() const {
        return kind_ != Kind::Udp && !farEnd_ ? "no serial far end on this system" : "";
    }

    // Opens the link as an upload does (the open, then the upload's write deadline).
    ResultCode open() {
        const ResultCode code = link::openLink(link_);
        link::prepareUpload(link_);
        return code;
    }
    void close() { link::closeLink(link_); }

    link::Transport& transport() { return *state_.transport; }
    // A command as the far end takes it: a serial line ends with its CR, a datagram is whole.
    Bytes command(std::string_view name) const {
        Bytes bytes(name.begin(), name.end());
        if (kind_ != Kind::Udp) {
            bytes.push_back('\r');
        }
        return bytes;
    }
    // Sends a command as every exchange does, dropping late input first; true when the
    // transport took it.
    bool send(std::string_view name) {
        transport().dropLateInput();
        return transport().send(command(name)).ok();
    }
    // Reads a line with a deadline ms from now.
    Result<link::LineEnd> readWithin(std::uint32_t ms) {
        return transport().readLine(line_, platform_->clock().tickCount() + ms);
    }
    // Everything the far end received so far; nothing when it cannot say.
    std::optional<Bytes> received() {
        if (peer_) {
            return peer_->takeReceived();
        }
        return farEnd_->takeReceived();
    }
    // Opens the serial far end's COM port once more: false while the link holds it.
    bool serialPortFree() { return platform_->openSerialPort(settings_.comPort).ok(); }

    ResponseLine& line() { return line_; }
    const std::vector<std::string>& warnings() const { return warnings_.said; }

  private:
    struct SaidWarnings final : WarningSink {
        void warn(std::string_view summary, const FailureDetail& detail) override {
            said.push_back(std::string(summary) + ": " + describeFailure(detail));
        }
        std::vector<std::string> said;
    };

    Kind kind_;
    std::unique_ptr<LoopbackPeer> peer_;
    std::unique_ptr<SerialFarEnd> farEnd_;
    std::unique_ptr<platform::Platform> platform_ = platform::makeSystemPlatform();
    link::LinkState state_;
    ResponseLine line_;
    UploadSettings settings_;
    FailureDetail failure_;
    SaidWarnings warnings_;
    link::Link link_{state_, line_, settings_, *platform_, nullptr, failure_, warnings_};
};

class TransportContract : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        if (const std::string missing = rig.missing(); !missing.empty()) {
            GTEST_SKIP() << missing;
        }
        ASSERT_EQ(rig.open(), ResultCode::Done);
        EXPECT_EQ(rig.warnings(), std::vector<std::string>{}) << "nothing refused";
        rig.received();  // what the set-up sent (the cradle's commands) is not the test's
    }

    ContractRig rig{GetParam()};
};

// Every byte value goes out as given, in one piece, and reaches the far end unchanged.
TEST_P(TransportContract, SendReachesThePeerByteForByte) {
    Bytes bytes;
    for (int value = 0; value < 256; ++value) {
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    rig.transport().dropLateInput();
    ASSERT_TRUE(rig.transport().send(bytes).ok());
    std::optional<Bytes> arrived = Bytes();
    const auto start = SteadyClock::now();
    while (arrived && arrived->size() < bytes.size() && msSince(start) < 3000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::optional<Bytes> more = rig.received();
        if (!more) {
            GTEST_SKIP() << "the far end cannot say what it received";
        }
        arrived->insert(arrived->end(), more->begin(), more->end());
    }
    EXPECT_EQ(*arrived, bytes);
}

// An answer that comes before the deadline is read whole, at its CR, not at the deadline.
TEST_P(TransportContract, AnAnswerBeforeTheDeadlineIsRead) {
    ASSERT_TRUE(rig.send("JOIN"));
    const auto start = SteadyClock::now();
    const Result<link::LineEnd> read = rig.readWithin(3000);
    ASSERT_TRUE(read.ok()) << describeFailure(read.failure());
    EXPECT_EQ(read.value(), link::LineEnd::CarriageReturn);
    EXPECT_EQ(rig.line().text(), "FA");
    EXPECT_LT(msSince(start), 1500.0);
}

// An answer that comes after the deadline is not taken by that read, and input that came
// before a send (that late answer, or a doubled one) is dropped, so the next read gets the
// answer to its own send.
TEST_P(TransportContract, LateOrDoubledAnswersAreNeverTakenForTheNext) {
    // A line already in use, as in an upload: an answer has been read on it.
    ASSERT_TRUE(rig.send("JOIN"));
    ASSERT_TRUE(rig.readWithin(3000).ok());
    ASSERT_EQ(rig.line().text(), "FA");
    ASSERT_TRUE(rig.send("LATE"));  // "FF" 400 ms later
    const Result<link::LineEnd> early = rig.readWithin(150);
    ASSERT_TRUE(early.ok());
    EXPECT_EQ(early.value(), link::LineEnd::Deadline);
    EXPECT_EQ(rig.line().text(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // the late "FF" is in
    ASSERT_TRUE(rig.send("JOIN"));
    ASSERT_TRUE(rig.readWithin(3000).ok());
    EXPECT_EQ(rig.line().text(), "FA") << "the late answer was taken";

    ASSERT_TRUE(rig.send("DOUBLE"));  // "FA", then "FF" 50 ms later
    ASSERT_TRUE(rig.readWithin(3000).ok());
    EXPECT_EQ(rig.line().text(), "FA");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the second answer is in
    ASSERT_TRUE(rig.send("JOIN"));
    ASSERT_TRUE(rig.readWithin(3000).ok());
    EXPECT_EQ(rig.line().text(), "FA") << "the doubled answer was taken";
}

// A silent far end: the read returns neither before its deadline nor long after it.
TEST_P(TransportContract, TheDeadlineIsKept) {
    ASSERT_TRUE(rig.send("SILENT"));
    const auto start = SteadyClock::now();
    const Result<link::LineEnd> read = rig.readWithin(300);
    const double elapsed = msSince(start);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), link::LineEnd::Deadline);
    EXPECT_EQ(rig.line().text(), "");
    EXPECT_GE(elapsed, 295.0);
    EXPECT_LT(elapsed, 800.0);
}

// Closing gives back what the open took: the handles, and a serial port to the next opener.
TEST_P(TransportContract, CloseReleasesThePortOrSocket) {
    rig.close();
    const std::optional<int> before = openHandleCount();
    ASSERT_EQ(rig.open(), ResultCode::Done);
    if (GetParam() != Kind::Udp) {
        EXPECT_FALSE(rig.serialPortFree()) << "the open link holds its port";
    }
    const std::optional<int> open = openHandleCount();
    rig.close();
    const std::optional<int> after = openHandleCount();
    if (before && open && after) {
        EXPECT_GT(*open, *before);
        EXPECT_EQ(*after, *before);
    }
    if (GetParam() != Kind::Udp) {
        EXPECT_TRUE(rig.serialPortFree());
    }
}

// The name of each kind's run.
std::string kindName(const ::testing::TestParamInfo<Kind>& kind) {
    switch (kind.param) {
        case Kind::Serial:
            return "SerialOnAPseudoTerminal";
        case Kind::Cradle:
            return "CradleOnAPseudoTerminal";
        case Kind::Udp:
            return "UdpOnLoopback";
    }
    return "";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, TransportContract,
                         ::testing::Values(Kind::Serial, Kind::Cradle, Kind::Udp), kindName);

}  // namespace
}  // namespace vorlanth::platform_tests
