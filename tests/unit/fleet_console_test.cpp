// The fleet on the console: a target's front end and JSON events, the display's lines, the
// summary table and the fleet event, and the fleet's options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/virtual_clock.h"
#include "tests/unit/captured_stream.h"
#include "ui/console/fleet_command.h"
#include "ui/console/fleet_display.h"
#include "ui/console/fleet_front_end.h"
#include "ui/console/options.h"

namespace vorlanth::ui::console {
namespace {

using testing::CapturedStream;

// The lines of text, without their line ends.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// The retrying line says why the attempt before failed: its cause, else the last message told
// in it, else the step that failed; a decision not to retry changes no line.
TEST(FleetTargetFrontEnd, TheRetryingLineSaysWhyTheAttemptFailed) {
    CapturedStream error;
    fakes::VirtualClock clock;
    {
        FleetDisplay display(error.get(), nullptr, false, clock, {"#1 COM1"});
        display.start();
        FleetTargetFrontEnd frontEnd(display, 0, nullptr);
        frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
        frontEnd.onUploadEvent(UploadEvent::HandshakeFailed);
        frontEnd.retryDecided(true, FailureDetail{});
        frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
        frontEnd.tell(MessageId::result(ResultCode::CantOpenFile), FailureDetail{});
        frontEnd.retryDecided(true, FailureDetail{});
        frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
        frontEnd.retryDecided(true, objectFailure("COM1", "no answer"));
        frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
        frontEnd.retryDecided(false, objectFailure("COM1", "no answer"));
        display.finish();
    }
    EXPECT_EQ(linesOf(error.text()),
              (std::vector<std::string>{"vorlanth: #1 COM1: handshake",
                                        "vorlanth: #1 COM1: retrying: the handshake failed",
                                        "vorlanth: #1 COM1: handshake (attempt 2)",
                                        "vorlanth: #1 COM1: retrying: Can't open the file!",
                                        "vorlanth: #1 COM1: handshake (attempt 3)",
                                        "vorlanth: #1 COM1: retrying: COM1: no answer",
                                        "vorlanth: #1 COM1: handshake (attempt 4)"}));
}

// Gathers JSON lines as the display would.
class JsonLines final : public JsonLineSink {
  public:
    void writeJsonLine(std::string line) override { lines.push_back(std::move(line)); }
    std::vector<std::string> lines;
};

TEST(FleetTargetFrontEnd, EveryJsonEventCarriesItsTarget) {
    CapturedStream error;
    fakes::VirtualClock clock;
    FleetDisplay display(error.get(), nullptr, false, clock, {"#4 COM1"});
    JsonLines sink;
    FleetTargetFrontEnd frontEnd(
        display, 0, std::make_unique<JsonEventWriter>(sink, targetMember(4, "a \"b\",1")));
    frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
    frontEnd.advanceProgress(10, 20, std::nullopt);
    frontEnd.advanceProgress(10, 20, 50);
    frontEnd.retryDecided(false, FailureDetail{});
    frontEnd.json()->result(1);
    const std::string target = R"("target":{"line":4,"text":"a \"b\",1"})";
    ASSERT_EQ(sink.lines.size(), 4u);
    EXPECT_EQ(sink.lines[0], R"({"event":"handshake",)" + target + R"(,"state":"started"})");
    EXPECT_EQ(sink.lines[1],
              R"({"event":"progress",)" + target + R"(,"percent":50,"bytes":10,"total":20})");
    EXPECT_EQ(sink.lines[2], R"({"event":"message",)" + target +
                                 R"(,"code":-153,"text":"Failed to Upload, would you like to )"
                                 R"(retry?","answer":"no"})");
    EXPECT_EQ(sink.lines[3],
              R"({"event":"result",)" + target + R"(,"exitCode":1,"success":false})");
}

TEST(FleetDisplay, WithoutATerminalOneLinePerPhaseChangeAndEveryJsonLineInOrder) {
    CapturedStream error;
    CapturedStream json;
    fakes::VirtualClock clock;
    {
        FleetDisplay display(error.get(), json.get(), false, clock,
                             {"#1 COM1", "#2 10.0.0.1:3000"});
        display.start();
        display.phase(0, FleetPhase::Opening);
        display.phase(0, FleetPhase::Handshake);
        display.phase(1, FleetPhase::Opening);
        for (int i = 0; i < 500; ++i) {
            display.progress(0, i / 5, static_cast<std::uint64_t>(i), 500);
            display.writeJsonLine("{\"n\":" + std::to_string(i) + "}");
        }
        display.phase(1, FleetPhase::Failed, "Can't open the COM port!");
        display.phase(0, FleetPhase::Retrying, "the handshake failed");
        display.phase(0, FleetPhase::Handshake);
        display.phase(0, FleetPhase::Sending);
        clock.advance(1500);
        display.progress(0, 100, 2048, 2048);
        display.phase(0, FleetPhase::Uploaded);
        display.finish();
    }
    EXPECT_EQ(
        linesOf(error.text()),
        (std::vector<std::string>{"vorlanth: #1 COM1: opening", "vorlanth: #1 COM1: handshake",
                                  "vorlanth: #2 10.0.0.1:3000: opening",
                                  "vorlanth: #2 10.0.0.1:3000: failed: Can't open the COM port!",
                                  "vorlanth: #1 COM1: retrying: the handshake failed",
                                  "vorlanth: #1 COM1: handshake (attempt 2)",
                                  "vorlanth: #1 COM1: sending (attempt 2)",
                                  "vorlanth: #1 COM1: uploaded 2.0 KiB in 1.5 s"}));
    const std::vector<std::string> jsonLines = linesOf(json.text());
    ASSERT_EQ(jsonLines.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(jsonLines[static_cast<std::size_t>(i)], "{\"n\":" + std::to_string(i) + "}");
    }
}

TEST(FleetDisplay, AtATerminalTheLinesAreRedrawnInPlace) {
    CapturedStream error;
    fakes::VirtualClock clock;
    {
        FleetDisplay display(error.get(), nullptr, true, clock, {"#1 COM1", "#2 COM2"});
        display.start();
        display.phase(0, FleetPhase::Opening);
        display.finish();
        const std::string first = error.text();
        EXPECT_EQ(first.find("\x1b["), first.find("\x1b[K"));
        display.start();
        display.phase(1, FleetPhase::Opening);
        display.finish();
    }
    const std::string text = error.text();
    // Every draw after the first goes back up the two lines, and the last shows both.
    EXPECT_NE(text.find("\x1b[2A"), std::string::npos);
    EXPECT_NE(text.rfind("\r#1 COM1  opening\x1b[K\n\r#2 COM2  opening\x1b[K\n"),
              std::string::npos);
    EXPECT_EQ(text.find("vorlanth:"), std::string::npos);
}

TEST(FleetDisplay, LiveLinesSayThePhaseItsProgressAndNeverWrap) {
    FleetTargetView view;
    view.startTick = 1000;
    view.phaseTick = 2000;
    view.transferTick = 2000;
    struct Case {
        FleetPhase phase;
        int attempt;
        std::string note;
        std::string line;
    };
    const std::vector<Case> cases = {
        {FleetPhase::Waiting, 1, "", "#12 COM3   waiting"},
        {FleetPhase::Handshake, 2, "", "#12 COM3   handshake (attempt 2)"},
        {FleetPhase::Erasing, 1, "", "#12 COM3   erasing   3 s"},
        {FleetPhase::Sending, 1, "", "#12 COM3   sending    40%  1.3 KiB/s"},
        {FleetPhase::Uploaded, 1, "", "#12 COM3   uploaded  4.0 KiB in 1.0 s"},
        {FleetPhase::Failed, 1, "Terminal is not ready!",
         "#12 COM3   failed    Terminal is not ready!"},
        {FleetPhase::Failed, 1, std::string(100, 'x'),
         "#12 COM3   failed    " + std::string(79 - 21, 'x')},
    };
    for (const Case& c : cases) {
        view.phase = c.phase;
        view.attempt = c.attempt;
        view.note = c.note;
        view.percent = 40;
        view.consumed = 4096;
        view.total = 4096;
        EXPECT_EQ(FleetDisplay::liveLine("#12 COM3", 9, view, 5000), c.line);
    }
}

std::vector<FleetRow> sampleRows() {
    FailureDetail noAnswer;
    noAnswer.object = "127.0.0.1:3000";
    noAnswer.reason = "no answer";
    return {{.line = 2,
             .text = "app.shx,1,3,1,0,1",
             .name = "#2 COM3",
             .outcome = "uploaded",
             .bytes = 5442,
             .elapsedMs = 1234,
             .attempts = 1,
             .message = "Uploaded successfully!",
             .detail = {},
             .digests = {platform::sha256FromHex(std::string(64, 'f')), std::nullopt}},
            {.line = 5,
             .text = "app.bin,3,127.0.0.1,3000,2,1",
             .name = "#5 127.0.0.1:3000",
             .outcome = "failed",
             .exitCode = 1,
             .elapsedMs = 24500,
             .attempts = 3,
             .message = "Terminal is not ready!",
             .detail = noAnswer}};
}

TEST(FleetSummary, OneRowPerTargetThenTheCounts) {
    EXPECT_EQ(formatFleetSummary(sampleRows(), 0),
              "target             outcome   bytes    time    attempts  last message\n"
              "#2 COM3            uploaded  5.3 KiB  1.2 s   1         Uploaded successfully!\n"
              "#5 127.0.0.1:3000  failed    0 B      24.5 s  3         Terminal is not ready! "
              "(127.0.0.1:3000: no answer)\n"
              "1 of 2 uploaded, 1 not: #5\n");
}

TEST(FleetSummary, TheFleetEventHasTheCountsAndEveryRow) {
    const std::string members = fleetEventMembers(sampleRows(), 1);
    EXPECT_EQ(members.substr(0, members.find(",\"results\"")),
              ",\"exitCode\":1,\"targets\":2,\"succeeded\":1,\"failed\":1");
    EXPECT_NE(
        members.find("{\"line\":5,\"text\":\"app.bin,3,127.0.0.1,3000,2,1\",\"outcome\":"
                     "\"failed\",\"exitCode\":1,\"bytes\":0,\"seconds\":24.500,\"attempts\":3,"
                     "\"message\":\"Terminal is not ready!\",\"detail\":\"127.0.0.1:3000: no "
                     "answer\""),
        std::string::npos);
    // The digest of the program each target took, when known.
    EXPECT_NE(members.find("\"message\":\"Uploaded successfully!\",\"sha256\":\"" +
                           std::string(64, 'f') + "\"}"),
              std::string::npos)
        << members;
    EXPECT_EQ(members.find("sha256", members.find("\"line\":5")), std::string::npos) << members;
}

TEST(CliOptions, FleetTakesAListJobsAndRetriesAndRefusesWhatDoesNotGoWithIt) {
    const CliOptions fleet =
        parseCliOptions({"--json", "--jobs", "4", "--retries", "0", "--fleet", "-"});
    EXPECT_TRUE(fleet.error.empty()) << fleet.error;
    EXPECT_EQ(fleet.fleet, "-");
    EXPECT_EQ(fleet.jobs, 4u);
    EXPECT_EQ(fleet.retries, 0);
    EXPECT_EQ(parseCliOptions({"--fleet", "list"}).retries, 2);
    const CliOptions checkOnly = parseCliOptions({"--json", "--check-fleet", "-"});
    EXPECT_TRUE(checkOnly.error.empty()) << checkOnly.error;
    EXPECT_EQ(checkOnly.checkFleet, "-");
    EXPECT_FALSE(checkOnly.fleet.has_value());
    const std::vector<std::vector<std::string>> refused = {
        {"--fleet"},
        {"--fleet", "list", "app.shx,1,1,1,0,1"},
        {"--fleet", "list", "--check", "app.shx"},
        {"--trace", "--fleet", "list"},
        {"--jobs", "2", "app.shx,1,1,1,0,1"},
        {"--retries", "1", "app.shx,1,1,1,0,1"},
        {"--fleet", "list", "--jobs", "0"},
        {"--fleet", "list", "--jobs", "x"},
        {"--fleet", "list", "--jobs"},
        {"--fleet", "list", "--retries", "-1"},
        {"--fleet", "list", "--retries", "101"},
        {"--check-fleet"},
        {"--check-fleet", "list", "app.shx,1,1,1,0,1"},
        {"--check-fleet", "list", "--fleet", "list"},
        {"--check-fleet", "list", "--check", "app.shx"},
        {"--jobs", "2", "--check-fleet", "list"},
    };
    for (const auto& arguments : refused) {
        EXPECT_FALSE(parseCliOptions(arguments).error.empty()) << arguments.front();
    }
}

}  // namespace
}  // namespace vorlanth::ui::console
