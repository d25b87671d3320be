// Decoders turn a program file into what goes on the wire: records or blocks handed to a sink,
// or a format error that says where and why. They are pure: no link, no front end.
#pragma once

#include <cstdint>
#include <span>

#include "common/failure_detail.h"
#include "platform/files.h"

namespace vorlanth::readers {

// One past the highest address of the terminal's 32-bit address space: no data may reach it.
inline constexpr std::uint64_t kAddressSpaceEnd = std::uint64_t{1} << 32;

// Where a decoder delivers what goes on the wire, in the order it goes. A decoder knows nothing
// of the link: the same decoder feeds the check before the terminal is touched and the
// sending afterwards.
class ProgramSink {
  public:
    virtual ~ProgramSink() = default;
    // One record of data bytes for address (S-record programs and binary images; at most
    // kMaxRecordData bytes, possibly none); false stops the decoding.
    virtual bool record(std::uint32_t address, std::span<const std::uint8_t> data) = 0;
    // One BASIC block as it is sent, without a checksum byte; false stops the decoding.
    virtual bool block(std::span<const std::uint8_t> data) = 0;
    // The memory a part of the program covers, erased bytes left out of the records included:
    // each data line of an S-record program, each section of a binary image.
    virtual void covers(std::uint32_t /*address*/, std::uint64_t /*length*/) {}
    // A progress point: done of total (bytes of the program file, or for BASIC programs the
    // bytes sent so far); a sending sink sets the progress and keeps the front end responsive.
    virtual void progress(std::uint64_t done, std::uint64_t total) = 0;
};

enum class DecodeStatus {
    Complete,     // the whole program went to the sink; its end comes next
    Stopped,      // the sink asked to stop
    FormatError,  // the file is not in its format; error says where and why
    ReadError,    // the file could not be read to its end (or changed while it was read)
};

// Which file a format error is in.
enum class ProgramPart { Program, Companion };

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Complete;
    // For a format error: reason, and line/column or offset (object left to the caller).
    FailureDetail error;
    ProgramPart errorIn = ProgramPart::Program;
    // Bytes of the file after the end of the program, never sent (S-record text after the end
    // record, bytes after a BASIC program's last block).
    std::uint64_t trailingBytes = 0;
};

// The results without a detail.
inline DecodeResult completed() {
    DecodeResult result;
    result.status = DecodeStatus::Complete;
    return result;
}
inline DecodeResult stopped() {
    DecodeResult result;
    result.status = DecodeStatus::Stopped;
    return result;
}

// A format error at offset (and line and column of a text file), with its reason.
DecodeResult formatError(std::string reason, std::int64_t offset, std::int64_t line = 0,
                         std::int64_t column = 0);
// A read that failed or stopped at offset, short of the file's size.
DecodeResult readError(std::int64_t offset, std::uint64_t fileSize);

// The decoders, one per program file type. Each reads its file from where it stands (the
// start) to the end of the program and hands the sink what will be sent.
DecodeResult decodeSRecordFile(platform::ReadableFile& file, ProgramSink& sink);
DecodeResult decodeBinaryImage(platform::ReadableFile& file, ProgramSink& sink);
DecodeResult decodeBasicProgram(platform::ReadableFile& program, platform::ReadableFile* companion,
                                ProgramSink& sink);

// The decoder of fileType's row (readers/file_types.h); BASIC's for a number no type has.
DecodeResult decodeProgram(int fileType, platform::ReadableFile& program,
                           platform::ReadableFile* companion, ProgramSink& sink);

}  // namespace vorlanth::readers
