// What goes over the wire, byte by byte: where the loader's frames begin and end, what a
// record or block holds, and the bytes of an answer. No state and no time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vorlanth::termsim {

enum class FrameKind { Command, Record, Block, Damaged };

// The word a frame kind is shown as in the trace.
std::string_view frameKindName(FrameKind kind);

// True when the bytes are one command line: printable text and a single final CR.
bool isCommandLine(std::span<const std::uint8_t> bytes);

// The text of a command line without its CR.
std::string_view commandText(std::span<const std::uint8_t> line);

// What the front of a serial stream holds.
struct StreamCut {
    enum class Result {
        Frame,        // a whole frame of `kind`, `length` bytes
        NeedMore,     // not yet a whole frame: wait for more bytes or a quiet line
        Undelimited,  // no way to tell where this frame ends: skip until the line goes quiet
    };
    Result result = Result::NeedMore;
    FrameKind kind = FrameKind::Command;
    std::size_t length = 0;
};

// Finds the first frame of a serial stream: a block of `blockSize` bytes in the BASIC
// sequence (0 outside it), a record by its count byte, anything else up to its CR. Where
// a 2-byte count is due, a fresh "TOLVEX\r" is told from it by its 7 bytes arriving alone,
// or by the line going quiet (lineQuiet) before they are complete.
StreamCut cutStreamFrame(std::span<const std::uint8_t> input, std::size_t blockSize,
                         bool lineQuiet);

// The kind of one datagram, which holds one whole frame; its size tells a block.
FrameKind classifyDatagram(std::span<const std::uint8_t> datagram, std::size_t blockSize);

// Records (not the end record) and blocks carry program data.
bool isDataFrame(FrameKind kind, std::span<const std::uint8_t> frame);

// A binary record taken apart; `problem` is empty when it is sound.
struct DecodedRecord {
    std::string_view problem;
    bool endRecord = false;
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;
};

// Checks a record's length, type, CR and checksum and takes out its address and data.
DecodedRecord decodeRecord(std::span<const std::uint8_t> frame);

// The address field of a record of at least 7 bytes.
std::uint32_t recordAddress(std::span<const std::uint8_t> frame);

// A BASIC block without its checksum byte, and whether that byte was right.
struct DecodedBlock {
    std::span<const std::uint8_t> payload;
    bool good = true;
};

// Splits off and checks the checksum byte when the blocks carry one.
DecodedBlock decodeBlock(std::span<const std::uint8_t> frame, bool withChecksum);

// An answer word as sent: its characters and a CR.
std::vector<std::uint8_t> encodeAnswer(std::string_view word);

// Cuts bytes into `count` pieces of near equal size, none empty.
std::vector<std::vector<std::uint8_t>> cutIntoPieces(std::span<const std::uint8_t> bytes,
                                                     std::size_t count);

// Cuts bytes into datagrams of at most maxSize bytes.
std::vector<std::vector<std::uint8_t>> cutIntoDatagrams(std::span<const std::uint8_t> bytes,
                                                        std::size_t maxSize);

}  // namespace vorlanth::termsim
