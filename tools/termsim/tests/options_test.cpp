// Tests of the vorlanth-termsim command line.
#include "options.h"

#include <gtest/gtest.h>

namespace vorlanth::termsim {
namespace {

TEST(Options, ReadsEveryGroup) {
    const ParsedOptions parsed =
        parseOptions({"--udp",       "0",          "--entry",      "long",       "--basic=checksum",
                      "--erase-ms",  "3000",       "--sessions",   "2",          "--idle-timeout",
                      "30",          "--baud",     "9600",         "--write-ms", "4",
                      "--seed",      "99",         "--fault-rate", "0.25",       "--fault-kinds",
                      "fn,late,dup", "--fault-at", "5,9:silent",   "--late-ms",  "8500",
                      "--expect",    "a.qbx",      "--type",       "qbx",        "--image-out",
                      "i.bin",       "--trace"});
    ASSERT_EQ(parsed.error, "");
    const Options& o = parsed.options;
    EXPECT_EQ(o.link, LinkKind::Udp);
    EXPECT_EQ(o.model.entry, EntryStyle::LongWay);
    EXPECT_EQ(o.model.basic, BasicMode::Checksum);
    EXPECT_EQ(o.model.eraseUs, 3'000'000u);
    EXPECT_EQ(o.sessions, 2u);
    EXPECT_EQ(o.idleTimeoutUs, 30'000'000u);
    EXPECT_EQ(o.model.baud, 9600u);
    EXPECT_EQ(o.model.writeUs, 4'000u);
    EXPECT_EQ(o.model.faults.seed, 99u);
    EXPECT_DOUBLE_EQ(o.model.faults.rate, 0.25);
    EXPECT_EQ(o.model.faults.kinds, (std::vector<FaultKind>{FaultKind::AnswerFn, FaultKind::Late,
                                                            FaultKind::DuplicateDatagram}));
    EXPECT_EQ(o.model.faults.at.at(5), FaultKind::None);
    EXPECT_EQ(o.model.faults.at.at(9), FaultKind::Silent);
    EXPECT_EQ(o.model.faults.lateUs, 8'500'000u);
    EXPECT_EQ(o.expectType, ProgramType::Basic);
    EXPECT_TRUE(o.trace);
}

TEST(Options, RefusesWrongCommandLines) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--udp", "70000"}, "--udp needs a whole number"},
        {{"--pty", "--udp", "1"}, "choose one of"},
        {{"--fault-rate", "1.5"}, "probability"},
        {{"--fault-kinds", "fn,boom"}, "unknown fault kind \"boom\""},
        {{"--fault-kinds", "drop"}, "needs --udp"},
        {{"--fault-at", "0"}, "counted from 1"},
        {{"--expect", "x.shx"}, "--expect needs --type"},
        {{"--type", "shx"}, "go with --expect"},
        {{"--device", "/dev/null", "--link", "x"}, "choose one of"},
        {{"--sessions"}, "needs a value"},
        {{"--bogus"}, "unknown option --bogus"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.front());
        const ParsedOptions parsed = parseOptions(arguments);
        EXPECT_NE(parsed.error.find(message), std::string::npos) << parsed.error;
    }
}

}  // namespace
}  // namespace vorlanth::termsim
