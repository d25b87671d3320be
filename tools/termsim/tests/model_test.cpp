// Unit tests of the terminal model, driven with a virtual clock.
#include "protocol_words.h"
#include "terminal_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlanth::termsim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A binary record as the loader frames it.
Bytes record(char type, uint32_t address, const Bytes& data) {
    Bytes frame{'S', static_cast<uint8_t>(type), static_cast<uint8_t>(data.size() + 5)};
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(static_cast<uint8_t>(address >> shift));
    }
    uint32_t sum = 0;
    for (size_t i = 2; i < frame.size(); ++i) {
        sum += frame[i];
    }
    for (uint8_t byte : data) {  // pushed one by one: range inserts trip GCC 12 bounds warnings
        frame.push_back(byte);
        sum += byte;
    }
    frame.push_back(complementChecksum(sum));
    frame.push_back(0x0D);
    return frame;
}

const Bytes kEndRecord{0x53, 0x37, 0x05, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x0D};

// Feeds frames to a model and collects what it writes, advancing a virtual clock of
// microseconds; waits are given in milliseconds.
class Driver {
  public:
    explicit Driver(ModelConfig config = {}) : model(std::move(config)) {}

    // Sends bytes at the current time and returns everything written by `waitMs` later.
    std::string send(const Bytes& bytes, uint64_t waitMs = 0) {
        model.receiveStreamUs(bytes, nowUs);
        return collect(waitMs);
    }
    std::string send(std::string_view text, uint64_t waitMs = 0) {
        return send(bytesOf(text), waitMs);
    }

    std::string datagram(const Bytes& bytes) {
        model.receiveDatagramUs(bytes, nowUs);
        return collect(0);
    }

    // Lets virtual time pass, returning what became due meanwhile.
    std::string collect(uint64_t waitMs) { return collectUs(waitMs * 1000); }
    std::string collectUs(uint64_t waitUs) {
        std::string written;
        const uint64_t until = nowUs + waitUs;
        while (true) {
            model.advanceUs(nowUs);
            for (const Emission& emission : model.takeDueUs(nowUs)) {
                written.append(emission.bytes.begin(), emission.bytes.end());
                writes.push_back(emission);
            }
            const auto next = model.nextEventUs();
            if (!next || *next > until) {
                break;
            }
            nowUs = std::max(nowUs, *next);
        }
        nowUs = until;
        return written;
    }

    TerminalModel model;
    uint64_t nowUs = 0;
    std::vector<Emission> writes;
};

// Handshake and erase that precede every record upload.
void enterAndErase(Driver& driver) {
    ASSERT_EQ(driver.send("\r"), "FN\r");
    ASSERT_EQ(driver.send(":ERASE\r"), "FA\r");
}

TEST(TerminalModel, GoldenRecordIsAcceptedAndStored) {
    Driver driver;
    enterAndErase(driver);
    const Bytes golden{0x53, 0x33, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0xE1, 0x0D};
    EXPECT_EQ(driver.send(golden), "FA\r");
    EXPECT_EQ(driver.send(kEndRecord), "FA\r");
    ASSERT_EQ(driver.model.sessionsEnded(), 1u);
    const MemoryImage& image = driver.model.lastSession().image;
    EXPECT_EQ(image.writtenCount(), 3u);
    EXPECT_EQ(image.read(0x1000), 0x01);
    EXPECT_EQ(image.read(0x1001), 0x02);
    EXPECT_EQ(image.read(0x1002), 0x03);
    EXPECT_FALSE(image.read(0x0FFF));
    EXPECT_FALSE(image.read(0x1003));
}

TEST(TerminalModel, DamagedRecordsAreAskedForAgainAndNotStored) {
    struct Case {
        const char* name;
        size_t byte;
        uint8_t value;
    };
    const Case cases[] = {
        {"checksum", 10, 0xE2}, {"terminator", 11, 0x0A}, {"type", 1, '5'}, {"data byte", 8, 0x7F}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Driver driver;
        enterAndErase(driver);
        Bytes frame = record('3', 0x1000, {1, 2, 3});
        frame[c.byte] = c.value;
        EXPECT_EQ(driver.send(frame), "FN\r");
        EXPECT_TRUE(driver.model.current().image.empty());
        EXPECT_EQ(driver.send(record('3', 0x1000, {1, 2, 3})), "FA\r");  // the resend gets through
    }
}

TEST(TerminalModel, RecordSplitOverManyReadsGivesOneAnswer) {
    Driver driver;
    enterAndErase(driver);
    Bytes data(64);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7);
    }
    const Bytes frame = record('3', 0x20000, data);
    std::string written;
    for (uint8_t byte : frame) {
        written += driver.send(Bytes{byte});
    }
    EXPECT_EQ(written, "FA\r");
    // Two records in one read get one answer each.
    Bytes both = record('3', 0x30000, {9});
    const Bytes second = record('3', 0x30001, {8});
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(driver.send(both), "FA\rFA\r");
    const MemoryImage image = driver.model.current().image;
    EXPECT_EQ(image.read(0x2003F), static_cast<uint8_t>(63 * 7));
    EXPECT_EQ(image.read(0x30001), 8);
}

TEST(TerminalModel, RecordsBeforeEraseAreRefused) {
    Driver driver;
    EXPECT_EQ(driver.send(record('3', 0, {1})), "FF\r");
    EXPECT_EQ(driver.send("\r"), "FN\r");
    EXPECT_EQ(driver.send(record('3', 0, {1})), "FF\r");
    EXPECT_EQ(driver.send(kEndRecord), "FF\r");
    EXPECT_EQ(driver.model.sessionsEnded(), 0u);
}

TEST(TerminalModel, EntryStylesAnswerAsConfigured) {
    struct Case {
        EntryStyle style;
        std::vector<std::pair<std::string, std::string>> exchange;
    };
    const Case cases[] = {
        {EntryStyle::ReadyFn, {{"\r", "FN\r"}, {":ERASE\r", "FA\r"}}},
        {EntryStyle::ReadyFf, {{"\r", "FF\r"}, {":ERASE\r", "FA\r"}}},
        {EntryStyle::LongWay,
         {{"\r", "\r"},
          {":ERASE\r", "FF\r"},
          {"\r", "\r"},
          {"MERIDOX\r", "ACK1\r"},
          {"DOWNLOAD\r", "ACK2\r"},
          {":ERASE\r", "FA\r"}}},
    };
    for (const Case& c : cases) {
        ModelConfig config;
        config.entry = c.style;
        Driver driver(config);
        for (const auto& [sent, expected] : c.exchange) {
            SCOPED_TRACE(sent);
            EXPECT_EQ(driver.send(sent), expected);
        }
    }
}

TEST(TerminalModel, EraseAnswersFbThenFaAfterItsTime) {
    ModelConfig config;
    config.eraseUs = 3'000'000;
    Driver driver(config);
    driver.nowUs = 100'000;
    EXPECT_EQ(driver.send("\r"), "FN\r");
    EXPECT_EQ(driver.send(":ERASE\r"), "FB\r");
    EXPECT_EQ(driver.model.nextEventUs(), 3'100'000u);
    EXPECT_EQ(driver.collect(2999), "");
    EXPECT_EQ(driver.collect(1), "FA\r");
    EXPECT_EQ(driver.writes.back().dueUs, 3'100'000u);
    EXPECT_EQ(driver.send(record('3', 0x40, {5})), "FA\r");
}

// The worked upload: N = 3 (P = 2), M = 2, blocks 100, 8, 2, 5 x 64, 2, 2 x 64.
struct BasicUpload {
    Bytes companion = Bytes(100);
    Bytes program;
    std::vector<Bytes> blocks;
    BasicUpload() {
        for (size_t i = 0; i < companion.size(); ++i) {
            companion[i] = static_cast<uint8_t>(i < 10 ? 'a' + i : 0);
        }
        blocks.push_back(companion);
        blocks.push_back(bytesOf("QBXHEAD1"));
        blocks.push_back({3, 0});
        for (int i = 0; i < 5; ++i) {
            blocks.emplace_back(64, static_cast<uint8_t>(0x10 + i));
        }
        blocks.push_back({2, 0});
        blocks.emplace_back(64, 0xFF);
        blocks.emplace_back(64, 0x00);
        for (size_t i = 1; i < blocks.size(); ++i) {
            program.insert(program.end(), blocks[i].begin(), blocks[i].end());
        }
    }
};

Bytes withChecksum(Bytes block) {
    uint32_t sum = 0;
    for (uint8_t byte : block) {
        sum += byte;
    }
    block.push_back(complementChecksum(sum));
    return block;
}

TEST(TerminalModel, BasicUploadPlainAndChecksumModes) {
    const BasicUpload upload;
    for (BasicMode mode : {BasicMode::Plain, BasicMode::Checksum}) {
        SCOPED_TRACE(mode == BasicMode::Plain ? "plain" : "checksum");
        ModelConfig config;
        config.basic = mode;
        Driver driver(config);
        std::string answers = driver.send("TOLVEX\r");
        if (mode == BasicMode::Checksum) {
            answers += driver.send("000300\r");
        }
        for (const Bytes& block : upload.blocks) {
            answers += driver.send(mode == BasicMode::Checksum ? withChecksum(block) : block);
        }
        answers += driver.send("END\r");
        std::string expected = mode == BasicMode::Plain ? "ACK\r" : "FK\rACK\r";
        for (size_t i = 0; i <= upload.blocks.size(); ++i) {
            expected += "ACK\r";
        }
        EXPECT_EQ(answers, expected);
        ASSERT_EQ(driver.model.sessionsEnded(), 1u);
        EXPECT_EQ(driver.model.lastSession().kind, SessionKind::Basic);
        EXPECT_EQ(driver.model.lastSession().basicProgram, upload.program);
        EXPECT_EQ(driver.model.lastSession().companion, upload.companion);
    }
}

TEST(TerminalModel, BasicBadChecksumIsRefusedAndResendAccepted) {
    const BasicUpload upload;
    ModelConfig config;
    config.basic = BasicMode::Checksum;
    Driver driver(config);
    driver.send("TOLVEX\r");
    driver.send("000300\r");
    Bytes bad = withChecksum(upload.blocks[0]);
    bad.back() ^= 1;
    EXPECT_EQ(driver.send(bad), "NAK\r");
    EXPECT_EQ(driver.model.expectedBlockSize(), 101u);
    EXPECT_EQ(driver.send(withChecksum(upload.blocks[0])), "ACK\r");
    EXPECT_EQ(driver.model.expectedBlockSize(), 9u);  // header next
    // A block split over reads, as a serial line delivers it.
    const Bytes header = withChecksum(upload.blocks[1]);
    EXPECT_EQ(driver.send(Bytes(header.begin(), header.begin() + 4)), "");
    EXPECT_EQ(driver.send(Bytes(header.begin() + 4, header.end())), "ACK\r");
}

TEST(TerminalModel, FreshHandshakeRestartsAnUnfinishedUpload) {
    const BasicUpload upload;
    Driver driver;
    driver.send("TOLVEX\r");
    driver.send(upload.blocks[0]);
    driver.send(upload.blocks[1]);
    // The loader gave up and begins again: "TOLVEX\r" arrives where a count block was due.
    EXPECT_EQ(driver.send("TOLVEX\r", 300), "ACK\r");
    EXPECT_EQ(driver.model.expectedBlockSize(), 100u);
    for (const Bytes& block : upload.blocks) {
        EXPECT_EQ(driver.send(block), "ACK\r");
    }
    EXPECT_EQ(driver.send("END\r"), "ACK\r");
    EXPECT_EQ(driver.model.lastSession().basicProgram, upload.program);

    // Byte by byte, "TOLVEX\r" is still told from a count block; a count that merely
    // begins like it ("TO") is taken once the line goes quiet.
    std::string answers = driver.send("TOLVEX\r");
    answers += driver.send(upload.blocks[0]) + driver.send(upload.blocks[1]);
    for (char c : std::string_view("TOLVEX\r")) {
        answers += driver.send(Bytes{static_cast<uint8_t>(c)});
    }
    EXPECT_EQ(answers, "ACK\rACK\rACK\rACK\r");
    driver.send(upload.blocks[0]);
    driver.send(upload.blocks[1]);
    EXPECT_EQ(driver.send("TO", 249), "");
    EXPECT_EQ(driver.collect(1), "ACK\r");
    EXPECT_EQ(driver.model.expectedBlockSize(), 64u);

    // A record upload cut off after the erase restarts with "\r" and a new erase.
    Driver records;
    enterAndErase(records);
    EXPECT_EQ(records.send(record('3', 0x100, {1, 2})), "FA\r");
    EXPECT_EQ(records.send("\r"), "FN\r");
    EXPECT_EQ(records.send(record('3', 0x100, {1, 2})), "FF\r");  // not erased again yet
    EXPECT_EQ(records.send(":ERASE\r"), "FA\r");
    EXPECT_TRUE(records.model.current().image.empty());
}

TEST(TerminalModel, UnreadableInputIsAnsweredAfterTheLineGoesQuiet) {
    Driver driver;
    enterAndErase(driver);
    // A count below 5 leaves no way to find the frame's end.
    EXPECT_EQ(driver.send(Bytes{'S', '3', 0x02, 0x00, 0x11}), "");
    EXPECT_EQ(driver.collect(249), "");
    EXPECT_EQ(driver.collect(1), "FN\r");
    EXPECT_EQ(driver.send(record('3', 0, {7})), "FA\r");
    // A record cut short is given up the same way.
    const Bytes frame = record('3', 0x10, {1, 2, 3, 4});
    EXPECT_EQ(driver.send(Bytes(frame.begin(), frame.begin() + 6), 250), "FN\r");
    EXPECT_EQ(driver.model.stats().damaged, 2u);
    // A flood without any CR is skipped without being kept, then answered once.
    EXPECT_EQ(driver.send(Bytes(100000, 'x'), 250), "FN\r");
    const auto trace = driver.model.takeTrace();
    EXPECT_EQ(trace.back().description, "100000 unreadable bytes");
}

TEST(TerminalModel, LinePacingAndFlashWriteTimeDelayTheAnswer) {
    ModelConfig config;
    config.baud = 9600;  // 1.0417 ms a byte
    config.writeUs = 5'000;
    Driver driver(config);
    driver.send("\r", 100);
    driver.send(":ERASE\r", 100);
    driver.nowUs = 1'000'000;
    driver.writes.clear();
    const Bytes frame = record('3', 0x1000, Bytes(64, 0xAB));  // 73 bytes
    EXPECT_EQ(driver.send(frame, 200), "FA\r");
    // 73 bytes in (76.04 ms) + 5 ms write + 3 bytes out (3.13 ms) = 84.17 ms.
    ASSERT_EQ(driver.writes.size(), 1u);
    EXPECT_EQ(driver.writes[0].dueUs, 1'084'167u);
}

// At 115200 bit/s a 73-byte record and its 3-byte answer take 6597.18 us on the line
// (86.805 us a byte): the answer is due the microsecond the line delivers it, counted
// from the microsecond the record arrived, not rounded to milliseconds either way.
TEST(TerminalModel, PacingIsKeptToTheMicrosecond) {
    struct Case {
        const char* name;
        uint64_t arrivalUs;
        uint64_t dueUs;
    };
    const Case cases[] = {{"on a millisecond", 1'000'000, 1'006'598},
                          {"just after one", 1'000'001, 1'006'599},
                          {"mid-millisecond", 1'000'250, 1'006'848},
                          {"just before the next", 1'000'999, 1'007'597}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelConfig config;
        config.baud = 115200;
        Driver driver(config);
        driver.send("\r", 100);
        driver.send(":ERASE\r", 100);
        driver.nowUs = c.arrivalUs;
        driver.writes.clear();
        driver.model.receiveStreamUs(record('3', 0x1000, Bytes(64, 0xAB)), driver.nowUs);
        EXPECT_EQ(driver.model.nextEventUs(), c.dueUs);
        // On a millisecond clock the same answer is due at the millisecond after.
        EXPECT_EQ(millisRoundedUp(*driver.model.nextEventUs()), (c.dueUs + 999) / 1000);
        EXPECT_EQ(driver.collectUs(c.dueUs - 1 - driver.nowUs), "");
        EXPECT_EQ(driver.collectUs(1), "FA\r");
        ASSERT_EQ(driver.writes.size(), 1u);
        EXPECT_EQ(driver.writes[0].dueUs, c.dueUs);
    }
}

// A second record sent before the first answer has left queues behind it on the line:
// the answers follow each other by exactly their line time, with no rounding between.
TEST(TerminalModel, BackToBackFramesAccumulateNoRounding) {
    ModelConfig config;
    config.baud = 115200;
    Driver driver(config);
    driver.send("\r", 100);
    driver.send(":ERASE\r", 100);
    driver.nowUs = 1'000'000;
    driver.writes.clear();
    for (uint32_t i = 0; i < 10; ++i) {
        driver.model.receiveStreamUs(record('3', 0x1000 + 64 * i, Bytes(64, 0xAB)), driver.nowUs);
    }
    driver.collect(100);
    ASSERT_EQ(driver.writes.size(), 10u);
    // The input line carries 730 bytes back to back; each answer then takes 3 bytes on the
    // output line once its record is in: due times step by the 73-byte input time.
    for (size_t i = 0; i < driver.writes.size(); ++i) {
        const uint64_t lineNs = 86'805 * (73 * (i + 1) + 3);
        EXPECT_EQ(driver.writes[i].dueUs, 1'000'000 + (lineNs + 999) / 1000) << i;
    }
}

TEST(TerminalModel, DatagramsCarryOneFrameEach) {
    const BasicUpload upload;
    ModelConfig config;
    config.basic = BasicMode::Checksum;
    config.entry = EntryStyle::LongWay;
    Driver driver(config);
    EXPECT_EQ(driver.datagram(bytesOf("TOLVEX\r")), "FK\r");
    EXPECT_EQ(driver.datagram(bytesOf("000300\r")), "ACK\r");
    EXPECT_EQ(driver.datagram(withChecksum(upload.blocks[0])), "ACK\r");
    // A fresh start in the middle of the blocks is told apart by its size.
    EXPECT_EQ(driver.datagram(bytesOf("TOLVEX\r")), "FK\r");
    EXPECT_EQ(driver.datagram(bytesOf("\r")), "\r");
    EXPECT_EQ(driver.datagram(bytesOf("MERIDOX\r")), "ACK1\r");
    EXPECT_EQ(driver.datagram(bytesOf("DOWNLOAD\r")), "ACK2\r");
    EXPECT_EQ(driver.datagram(bytesOf(":ERASE\r")), "FA\r");
    EXPECT_EQ(driver.datagram(record('3', 0x55, {1, 2})), "FA\r");
    EXPECT_EQ(driver.datagram(kEndRecord), "FA\r");
    EXPECT_EQ(driver.model.lastSession().image.read(0x56), 2);
}

// Runs a fixed record upload against a model and returns its answers and trace.
std::pair<std::string, std::vector<FrameTrace>> faultyUpload(FaultConfig faults, bool bytewise) {
    ModelConfig config;
    config.faults = std::move(faults);
    Driver driver(config);
    std::string answers = driver.send("\r") + driver.send(":ERASE\r");
    for (uint32_t i = 0; i < 40; ++i) {
        const Bytes frame = record('3', i * 16, Bytes(16, static_cast<uint8_t>(i)));
        if (bytewise) {
            for (uint8_t byte : frame) {
                answers += driver.send(Bytes{byte});
            }
        } else {
            answers += driver.send(frame);
        }
        answers += driver.collect(20000);  // late answers included
    }
    return {answers, driver.model.takeTrace()};
}

TEST(TerminalModel, FaultsRepeatForTheSameSeed) {
    FaultConfig faults;
    faults.seed = 42;
    faults.rate = 0.3;
    faults.kinds = {FaultKind::AnswerFn, FaultKind::AnswerNak, FaultKind::Garbage,
                    FaultKind::Silent,   FaultKind::Late,      FaultKind::Split};
    const auto [answers, trace] = faultyUpload(faults, false);
    const auto [answersAgain, traceAgain] = faultyUpload(faults, true);
    EXPECT_EQ(answers, answersAgain);
    ASSERT_EQ(trace.size(), traceAgain.size());
    size_t injected = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        EXPECT_EQ(trace[i].fault, traceAgain[i].fault);
        EXPECT_EQ(trace[i].answer, traceAgain[i].answer);
        if (trace[i].fault != FaultKind::None) {
            ++injected;
            EXPECT_EQ(trace[i].kind, FrameKind::Record) << "commands are spared by default";
        }
    }
    EXPECT_GT(injected, 4u);
    EXPECT_LT(injected, 24u);
    faults.seed = 43;
    EXPECT_NE(faultyUpload(faults, false).first, answers);
}

TEST(TerminalModel, FaultAtListedFramesActsAsNamed) {
    FaultConfig faults;
    faults.at = {{3, FaultKind::AnswerFf},
                 {4, FaultKind::Silent},
                 {5, FaultKind::Late},
                 {6, FaultKind::Split},
                 {7, FaultKind::AnswerNak}};
    faults.lateUs = 9'000'000;
    ModelConfig config;
    config.faults = faults;
    Driver driver(config);
    enterAndErase(driver);                                  // frames 1, 2
    EXPECT_EQ(driver.send(record('3', 0, {1})), "FF\r");    // 3
    EXPECT_EQ(driver.send(record('3', 0, {1}), 8000), "");  // 4
    EXPECT_FALSE(driver.model.current().image.read(0));     // not taken
    EXPECT_EQ(driver.send(record('3', 1, {2}), 8999), "");  // 5: late, but taken
    EXPECT_EQ(driver.model.current().image.read(1), 2);
    EXPECT_EQ(driver.collect(1), "FA\r");
    driver.writes.clear();
    EXPECT_EQ(driver.send(record('3', 2, {3}), 100), "FA\r");  // 6: in pieces
    EXPECT_GE(driver.writes.size(), 2u);
    EXPECT_EQ(driver.send(record('3', 3, {4})), "NAK\r");  // 7
    EXPECT_EQ(driver.send(record('3', 3, {4})), "FA\r");
    EXPECT_EQ(driver.model.stats().faults, 5u);
}

TEST(TerminalModel, DatagramsAreAtMostThreeBytesAndFaultsBendThem) {
    SeededRandom random(7);
    const Bytes ack1 = bytesOf("ACK1\r");
    using Datagrams = std::vector<Bytes>;
    EXPECT_EQ(splitIntoDatagrams(ack1, 3, FaultKind::None, random),
              (Datagrams{bytesOf("ACK"), bytesOf("1\r")}));
    EXPECT_EQ(splitIntoDatagrams(bytesOf("FA\r"), 3, FaultKind::None, random),
              (Datagrams{bytesOf("FA\r")}));
    EXPECT_EQ(splitIntoDatagrams(bytesOf("FA\r"), 3, FaultKind::ReorderDatagrams, random),
              (Datagrams{bytesOf("\r"), bytesOf("A"), bytesOf("F")}));
    EXPECT_EQ(splitIntoDatagrams(ack1, 3, FaultKind::ReorderDatagrams, random),
              (Datagrams{bytesOf("1\r"), bytesOf("ACK")}));
    EXPECT_EQ(splitIntoDatagrams(bytesOf("FA\r"), 3, FaultKind::DropDatagram, random), Datagrams{});
    EXPECT_EQ(splitIntoDatagrams(bytesOf("FA\r"), 3, FaultKind::DuplicateDatagram, random),
              (Datagrams{bytesOf("FA\r"), bytesOf("FA\r")}));
    EXPECT_EQ(splitIntoDatagrams(ack1, 3, FaultKind::DropDatagram, random).size(), 1u);
}

}  // namespace
}  // namespace vorlanth::termsim
