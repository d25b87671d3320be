// The console front end: options, JSON events, the progress line, the trace, the retry prompt and
// how a message's cause is printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/fakes/virtual_clock.h"
#include "tests/unit/captured_stream.h"
#include "ui/console/console_front_end.h"
#include "ui/console/json_events.h"
#include "ui/console/options.h"
#include "ui/console/progress_line.h"
#include "ui/console/trace_printer.h"

namespace vorlanth::ui::console {
namespace {

using testing::CapturedStream;

TEST(CliOptions, OptionsComeFirstAndTheRestIsTheArgumentText) {
    const CliOptions plain = parseCliOptions({"a,", "1", ",1,1,0,1"});
    EXPECT_EQ(plain.argumentText, "a, 1 ,1,1,0,1");
    const CliOptions traced = parseCliOptions({"--trace", "--json", "app.shx,1,1,1,0,1"});
    EXPECT_TRUE(traced.trace);
    EXPECT_TRUE(traced.json);
    EXPECT_EQ(traced.argumentText, "app.shx,1,1,1,0,1");
    const CliOptions ended = parseCliOptions({"--", "--odd,1,1,1,0,1"});
    EXPECT_EQ(ended.argumentText, "--odd,1,1,1,0,1");
    EXPECT_FALSE(parseCliOptions({"--bogus"}).error.empty());
    // An option after the argument text starts is part of the text.
    EXPECT_EQ(parseCliOptions({"x,1,1,1,0,1", "--json"}).argumentText, "x,1,1,1,0,1 --json");
}

// An option that takes a value but ends the line says what it needs, and --json before it
// still counts.
TEST(CliOptions, AnOptionWithoutItsValueSaysWhatItNeeds) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--check", "--check needs a program file: --check PATH[,FILETYPE]"},
        {"--fleet", "--fleet needs a list of targets: --fleet FILE (- for stdin)"},
        {"--check-fleet",
         "--check-fleet needs a list of targets: --check-fleet FILE (- for stdin)"},
        {"--jobs", "--jobs needs a number"},
        {"--retries", "--retries needs a number"},
    };
    for (const auto& [option, error] : cases) {
        const CliOptions options = parseCliOptions({"--json", option});
        EXPECT_EQ(options.error, error);
        EXPECT_TRUE(options.json) << option;
    }
}

// --expect-sha256 takes 64 hexadecimal digits in either case; anything else is a usage error,
// still written as JSON when --json comes after it.
TEST(CliOptions, ExpectSha256TakesSixtyFourHexDigits) {
    const std::string lower = "0123456789abcdef" + std::string(48, 'e');
    std::string upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const std::string& text : {lower, upper}) {
        const CliOptions options = parseCliOptions({"--expect-sha256", text, "--check", "a.bin"});
        EXPECT_TRUE(options.error.empty()) << options.error;
        ASSERT_TRUE(options.expectedSha256.has_value());
        EXPECT_EQ(platform::sha256Hex(*options.expectedSha256), lower);
    }
    for (const std::string& text :
         {lower.substr(1), lower + "0", lower.substr(1) + "g", std::string("--json")}) {
        const CliOptions refused = parseCliOptions({"--expect-sha256", text, "--json"});
        EXPECT_NE(refused.error.find("--expect-sha256 takes a SHA-256 as 64 hexadecimal digits"),
                  std::string::npos)
            << refused.error;
        EXPECT_TRUE(refused.json) << text;
    }
    EXPECT_EQ(parseCliOptions({"--json", "--expect-sha256"}).error,
              "--expect-sha256 needs a digest: --expect-sha256 HEX");
}

TEST(JsonEvents, EscapesAndWritesOneObjectPerLine) {
    EXPECT_EQ(jsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
    CapturedStream out;
    JsonEventWriter writer(out.get());
    writer.retryQuestion(false, FailureDetail{});
    writer.message(MessageId::commandLine(3), FailureDetail{});
    writer.message(MessageId::result(ResultCode::CantOpenComPort), FailureDetail{});
    writer.progress(51, 512, 1000);
    writer.result(1);
    EXPECT_EQ(out.text(),
              "{\"event\":\"message\",\"code\":-153,\"text\":\"Failed to Upload, would you like to "
              "retry?\",\"answer\":\"no\"}\n"
              "{\"event\":\"message\",\"code\":0,\"text\":\"Wrong link type specified!\"}\n"
              "{\"event\":\"message\",\"code\":-100,\"text\":\"Can't open the COM port!\"}\n"
              "{\"event\":\"progress\",\"percent\":51,\"bytes\":512,\"total\":1000}\n"
              "{\"event\":\"result\",\"exitCode\":1,\"success\":false}\n");
}

// Every text becomes a valid JSON string: bytes outside well-formed UTF-8 each become U+FFFD,
// control characters are escaped, everything else is kept as it is.
TEST(JsonEvents, TextsBecomeValidUtf8Json) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain /tmp/app.shx", "plain /tmp/app.shx"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + fffd + "b"},
        {"\xFE\xFF", fffd + fffd},
        {"\x80 lone continuation", fffd + " lone continuation"},
        {"\xC0\xAF overlong slash", fffd + fffd + " overlong slash"},
        {"\xE0\x80\xAF", fffd + fffd + fffd},
        {"\xF0\x80\x80\xAF", fffd + fffd + fffd + fffd},
        {"\xED\xA0\x80 surrogate", fffd + fffd + fffd + " surrogate"},
        {"\xF4\x90\x80\x80 beyond", fffd + fffd + fffd + fffd + " beyond"},
        {"\xF5\x80", fffd + fffd},
        {"cut \xE2\x82", "cut " + fffd + fffd},
        {"cut \xC3", "cut " + fffd},
        {"\xC3\"", fffd + "\\\""},
        {"q\"b\\s/", "q\\\"b\\\\s/"},
        {std::string("nul\0x", 5), "nul\\u0000x"},
        {"\t\r\n\x1B[31m\x7F", "\\t\\r\\n\\u001b[31m\\u007f"},
        {"c1 \xC2\x85\xC2\x9F \xC2\xA0", "c1 \\u0085\\u009f \xC2\xA0"},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(jsonString(text), "\"" + want + "\"") << text;
    }
}

// The start event names the link kind and describes its target as that kind's row says: the
// COM port and rate for both serial kinds, the address and port for the network link.
TEST(JsonEvents, StartDescribesTheTargetOfEachLinkKind) {
    struct Case {
        int linkType;
        int baudIndex;
        const char* members;  // after "fileType"
    };
    const std::vector<Case> cases = {
        {Serial, 1, R"("link":"serial","comPort":4,"baud":57600})"},
        {CradleIr, 4, R"("link":"cradle-ir","comPort":4,"baud":9600})"},
        {CradleIr, 9, R"("link":"cradle-ir","comPort":4,"baud":0})"},
        {Network, 0, R"("link":"network","address":"10.0.0.7","port":3001})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.members);
        CapturedStream out;
        JsonEventWriter writer(out.get());
        UploadSettings settings;
        settings.programPath.assign("app.shx");
        settings.linkType = c.linkType;
        settings.comPort = 4;
        settings.baudIndex = c.baudIndex;
        settings.targetAddress.assign("10.0.0.7");
        settings.targetPort = 3001;
        writer.start(settings);
        writer.programChecked({});  // the start event waits for the check pass
        EXPECT_EQ(out.text(),
                  std::string(R"({"event":"start","version":"1.31","file":"app.shx",)") +
                      R"("fileType":"srecord",)" + c.members + "\n");
    }
}

// A path that is not valid UTF-8 is also given as its bytes in hex, so a script can find the
// file; a valid one is not.
TEST(JsonEvents, PathsThatAreNotUtf8AlsoComeAsBytes) {
    CapturedStream out;
    JsonEventWriter writer(out.get());
    UploadSettings settings;
    settings.programPath.assign("/t/\xFF\"a\".shx");
    writer.start(settings);
    settings.programPath.assign("/t/\xC3\xA9.shx");
    writer.start(settings);
    FailureDetail notSaved;
    notSaved.object = "/c/\xC0\xAF/Vorlanth.ini";
    notSaved.reason = "could not replace it";
    writer.warning("settings not saved", notSaved);
    EXPECT_EQ(out.text(),
              "{\"event\":\"start\",\"version\":\"1.31\",\"file\":\"/t/\xEF\xBF\xBD\\\"a\\\".shx\","
              "\"file_bytes\":\"2f742fff2261222e736878\",\"fileType\":\"srecord\",\"link\":"
              "\"serial\",\"comPort\":1,\"baud\":115200}\n"
              "{\"event\":\"start\",\"version\":\"1.31\",\"file\":\"/t/\xC3\xA9.shx\",\"fileType\":"
              "\"srecord\",\"link\":\"serial\",\"comPort\":1,\"baud\":115200}\n"
              "{\"event\":\"warning\",\"text\":\"settings not saved\",\"detail\":\"/c/\xEF\xBF\xBD"
              "\xEF\xBF\xBD/Vorlanth.ini: could not replace it\",\"object\":\"/c/\xEF\xBF\xBD"
              "\xEF\xBF\xBD/Vorlanth.ini\",\"object_bytes\":\"2f632fc0af2f566f726c616e74682e696e69"
              "\"}\n");
}

// The start event waits for the program's digests: it goes out once the first check pass has
// taken them (a retry's check adds nothing), or, when the run ends before any check, before the
// first other event with the digests known by then.
TEST(JsonEvents, TheStartCarriesTheDigestsOfTheFirstCheckPass) {
    const auto digest = [](char digit) { return platform::sha256FromHex(std::string(64, digit)); };
    UploadSettings settings;
    settings.programPath.assign("app.qbx");
    settings.fileType = Basic;
    const std::string start =
        "{\"event\":\"start\",\"version\":\"1.31\",\"file\":\"app.qbx\",\"fileType\":\"basic\","
        "\"link\":\"serial\",\"comPort\":1,\"baud\":115200";
    const std::string result = "{\"event\":\"result\",\"exitCode\":4,\"success\":false}\n";
    const std::string a64(64, 'a');

    CapturedStream checked;
    JsonEventWriter first(checked.get());
    first.start(settings);
    EXPECT_EQ(checked.text(), "");
    first.programChecked({digest('a'), digest('b')});
    first.programChecked({digest('c'), std::nullopt});
    first.result(4);
    EXPECT_EQ(checked.text(), start + ",\"sha256\":\"" + a64 + "\",\"companion_sha256\":\"" +
                                  std::string(64, 'b') + "\"}\n" + result);

    CapturedStream unchecked;
    JsonEventWriter noCheck(unchecked.get());
    noCheck.start(settings);
    noCheck.result(4);
    EXPECT_EQ(unchecked.text(), start + "}\n" + result);

    CapturedStream known;
    JsonEventWriter fromList(known.get());
    fromList.start(settings, {digest('a'), std::nullopt});
    fromList.result(4);
    EXPECT_EQ(known.text(), start + ",\"sha256\":\"" + a64 + "\"}\n" + result);

    // A writer that ends with its start still waiting writes it then: nothing is lost.
    CapturedStream ended;
    JsonEventWriter(ended.get()).start(settings);
    EXPECT_EQ(ended.text(), start + "}\n");
}

TEST(ProgressLine, PlainStreamGetsOneLinePerTenPercent) {
    CapturedStream err;
    fakes::VirtualClock clock;
    ProgressLine line(err.get(), false, clock);
    line.begin();
    for (int percent : {0, 3, 9, 10, 25, 51, 76, 100}) {
        line.update(percent);
    }
    line.end();
    EXPECT_EQ(err.text(),
              "Downloading... 0%\nDownloading... 10%\nDownloading... 20%\nDownloading... 50%\n"
              "Downloading... 70%\nDownloading... 100%\n");
}

TEST(ProgressLine, TerminalLineShowsBytesRateAndTimeLeft) {
    EXPECT_EQ(
        ProgressLine::formatLine(50, 2048, 4096, 2000),
        "Downloading...  50% [############............] 2.0 KiB / 4.0 KiB  1.0 KiB/s  0:02 left");
    EXPECT_EQ(ProgressLine::formatLine(0, 0, 0, 0),
              "Downloading...   0% [........................]");
}

TEST(TracePrinter, HexAndAsciiWithMillisecondsSinceStart) {
    CapturedStream err;
    TracePrinter trace(err.get());
    const std::uint8_t command[] = {'\r'};
    const std::uint8_t answer[] = {'F', 'N', '\r'};
    trace.onWireChunk(link::WireDirection::Sent, command, 5000);
    // A serial link reports an answer byte by byte: it prints as one line.
    trace.onWireChunk(link::WireDirection::Received, std::span(answer, 1), 5012);
    trace.onWireChunk(link::WireDirection::Received, std::span(answer + 1, 2), 5013);
    EXPECT_EQ(err.text(),
              "       0 ms > 0D                                               .\n"
              "      12 ms < 46 4E 0D                                         FN.\n");
}

class ScriptedConsole : public ConsoleFrontEnd {
  public:
    using ConsoleFrontEnd::ConsoleFrontEnd;
    std::vector<std::string> answers;

  protected:
    bool readAnswerLine(std::string& line) override {
        if (answers.empty()) {
            return false;
        }
        line = answers.front();
        answers.erase(answers.begin());
        return true;
    }
};

TEST(ConsoleFrontEnd, RetryQuestionAsksATerminalAndAnswersNoWithoutOne) {
    CapturedStream err;
    fakes::VirtualClock clock;

    ScriptedConsole terminal(err.get(), true, false, clock);
    terminal.answers = {"y", "n", "Yes", ""};
    EXPECT_TRUE(terminal.askRetry(FailureDetail{}));
    EXPECT_FALSE(terminal.askRetry(FailureDetail{}));
    EXPECT_TRUE(terminal.askRetry(FailureDetail{}));
    EXPECT_FALSE(terminal.askRetry(FailureDetail{}));  // an empty answer is No
    EXPECT_FALSE(terminal.askRetry(FailureDetail{}));  // end of input

    ScriptedConsole script(err.get(), false, false, clock);
    script.answers = {"y"};
    EXPECT_FALSE(script.askRetry(FailureDetail{}));
    EXPECT_EQ(script.answers.size(), 1u);  // nothing was read
    script.tell(MessageId::result(ResultCode::UploadSucceeded), FailureDetail{});
    const std::string text = err.text();
    EXPECT_NE(text.find("vorlanth: Failed to Upload, would you like to retry? [y/N] "),
              std::string::npos);
    EXPECT_NE(text.find("vorlanth: Uploaded successfully!\n"), std::string::npos);
    EXPECT_NE(text.find("retry? [y/N] n (no terminal)\n"), std::string::npos);
}

// The cause goes under a plain message and before a question, in the console and in JSON.
TEST(ConsoleFrontEnd, DetailFollowsTheMessageAndLeadsTheQuestion) {
    CapturedStream err;
    CapturedStream out;
    fakes::VirtualClock clock;
    JsonEventWriter json(out.get());
    ScriptedConsole console(err.get(), false, false, clock, &json);
    FailureDetail formatError;
    formatError.kind = FailureKind::FileFormat;
    formatError.object = "app.shx";
    formatError.line = 12;
    formatError.column = 15;
    formatError.reason = "checksum 5A, the line sums to 5B";
    console.tell(MessageId::formatError(), formatError);
    FailureDetail lost;
    lost.kind = FailureKind::System;
    lost.object = "/dev/ttyUSB0";
    lost.reason = "the line was lost";
    lost.osMessage = "Input/output error";
    lost.osErrorKind = OsErrorKind::Errno;
    lost.osError = 5;
    console.askRetry(lost);
    // A question right after the message that showed its cause does not repeat it.
    console.tell(MessageId::formatError(), formatError);
    console.askRetry(formatError);
    FailureDetail notSaved;
    notSaved.kind = FailureKind::System;
    notSaved.object = "/x/Vorlanth.ini";
    notSaved.osMessage = "Read-only file system";
    console.warn("settings not saved", notSaved);
    EXPECT_EQ(err.text(),
              "vorlanth: Format Error!\n"
              "vorlanth: app.shx:12:15: checksum 5A, the line sums to 5B\n"
              "vorlanth: /dev/ttyUSB0: the line was lost (Input/output error)\n"
              "vorlanth: Failed to Upload, would you like to retry? [y/N] n (no terminal)\n"
              "vorlanth: Format Error!\n"
              "vorlanth: app.shx:12:15: checksum 5A, the line sums to 5B\n"
              "vorlanth: Failed to Upload, would you like to retry? [y/N] n (no terminal)\n"
              "vorlanth: settings not saved: /x/Vorlanth.ini: Read-only file system\n");
    EXPECT_EQ(out.text(),
              "{\"event\":\"message\",\"code\":0,\"text\":\"Format Error!\",\"detail\":\"app.shx:"
              "12:15: checksum 5A, the line sums to 5B\",\"object\":\"app.shx\",\"line\":12,"
              "\"column\":15}\n"
              "{\"event\":\"message\",\"code\":-153,\"text\":\"Failed to Upload, would you like "
              "to retry?\",\"answer\":\"no\",\"detail\":\"/dev/ttyUSB0: the line was lost "
              "(Input/output error)\",\"object\":\"/dev/ttyUSB0\",\"errno\":5}\n"
              "{\"event\":\"message\",\"code\":0,\"text\":\"Format Error!\",\"detail\":\"app.shx:"
              "12:15: checksum 5A, the line sums to 5B\",\"object\":\"app.shx\",\"line\":12,"
              "\"column\":15}\n"
              "{\"event\":\"message\",\"code\":-153,\"text\":\"Failed to Upload, would you like "
              "to retry?\",\"answer\":\"no\",\"detail\":\"app.shx:12:15: checksum 5A, the line "
              "sums to 5B\",\"object\":\"app.shx\",\"line\":12,\"column\":15}\n"
              "{\"event\":\"warning\",\"text\":\"settings not saved\",\"detail\":\"/x/"
              "Vorlanth.ini: Read-only file system\",\"object\":\"/x/Vorlanth.ini\"}\n");
}

// A stop in the middle of the transfer ends the redrawn progress line before it says so, in
// the console and in JSON.
TEST(ConsoleFrontEnd, StopEndsTheProgressLineAndSaysBySignal) {
    CapturedStream err;
    CapturedStream out;
    fakes::VirtualClock clock;
    JsonEventWriter json(out.get());
    ScriptedConsole console(err.get(), true, true, clock, &json);
    console.beginProgress();
    console.advanceProgress(512, 1024, 50);
    console.reportStop("SIGTERM");
    const std::string text = err.text();
    EXPECT_NE(text.find("50%"), std::string::npos);
    const std::string ending = "\nvorlanth: stopped by SIGTERM\n";
    ASSERT_GE(text.size(), ending.size());
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
    EXPECT_NE(out.text().find("{\"event\":\"stopped\",\"signal\":\"SIGTERM\"}\n"),
              std::string::npos);
}

}  // namespace
}  // namespace vorlanth::ui::console
