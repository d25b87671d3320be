// What every decoder shares: its results, and the choice of decoder by file type.
#include "readers/program_decoder.h"

#include "readers/file_types.h"

namespace vorlanth::readers {

DecodeResult formatError(std::string reason, std::int64_t offset, std::int64_t line,
                         std::int64_t column) {
    DecodeResult result;
    result.status = DecodeStatus::FormatError;
    result.error = objectFailure({}, std::move(reason), FailureKind::FileFormat);
    result.error.offset = offset;
    result.error.line = line;
    result.error.column = column;
    return result;
}

DecodeResult readError(std::int64_t offset, std::uint64_t fileSize) {
    DecodeResult result;
    result.status = DecodeStatus::ReadError;
    std::string reason = fileSize == 0 ? "the file's size cannot be taken"
                                       : "reading stopped at byte " + std::to_string(offset) +
                                             " of " + std::to_string(fileSize) +
                                             " (the file failed or changed while it was read)";
    result.error = objectFailure({}, std::move(reason));
    result.error.offset = offset;
    return result;
}

DecodeResult decodeProgram(int fileType, platform::ReadableFile& program,
                           platform::ReadableFile* companion, ProgramSink& sink) {
    return fileTypeBehaviour(fileType).decode(program, companion, sink);
}

}  // namespace vorlanth::readers
