// The file-type table: one row per program file type, in number order.
#include "readers/file_types.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace vorlanth::readers {

namespace {

constexpr std::array<std::string_view, 6> kSRecordExtensions = {"shx", "srec", "s19",
                                                                "s28", "s37",  "mot"};
constexpr std::array<std::string_view, 1> kBasicExtensions = {"qbx"};
constexpr std::array<std::string_view, 1> kBinaryImageExtensions = {"bin"};

// The decoders that read no companion, in the shape every row's decoder has.
DecodeResult decodeSRecord(platform::ReadableFile& program, platform::ReadableFile*,
                           ProgramSink& sink) {
    return decodeSRecordFile(program, sink);
}
DecodeResult decodeImage(platform::ReadableFile& program, platform::ReadableFile*,
                         ProgramSink& sink) {
    return decodeBinaryImage(program, sink);
}

constexpr std::array<FileTypeRow, kFileTypeCount> kFileTypes = {{
    {
        .number = SRecord,
        .extensions = kSRecordExtensions,
        .title = "S-record program",
        .shortName = "S-record",
        .listName = ".SHX file",
        .filter = {"Absolute object programs {*.SHX}", "*.SHX", "SHX"},
        .jsonName = "srecord",
        .decode = decodeSRecord,
        .hasCompanion = false,
        .erasesFlash = true,
        .handshake = Handshake::Download,
        .end = ProgramEnd::EndRecord,
        .shapeFailure = ResultCode::RecordUploadError,
        .refusalKeepsItsCode = false,
        .pieces = PieceKind::Record,
        .pieceName = "records",
        .dataName = "data bytes",
        .endName = "the end record",
        .lastPartName = "end record",
    },
    {
        .number = Basic,
        .extensions = kBasicExtensions,
        .title = "BASIC program",
        .shortName = "BASIC",
        .listName = ".QBX file",
        .filter = {"BASIC object programs {*.QBX}", "*.QBX", "QBX"},
        .jsonName = "basic",
        .decode = decodeBasicProgram,
        .hasCompanion = true,
        .erasesFlash = false,
        .handshake = Handshake::BasicDownload,
        .end = ProgramEnd::BasicEnd,
        .shapeFailure = ResultCode::Failed,
        .refusalKeepsItsCode = true,
        .pieces = PieceKind::Block,
        .pieceName = "blocks",
        .dataName = "bytes (the companion's 100 included)",
        .endName = "\"END\"",
        .lastPartName = "program's last piece",
    },
    {
        .number = BinaryImage,
        .extensions = kBinaryImageExtensions,
        .title = "binary image",
        .shortName = "binary image",
        .listName = ".BIN file",
        .filter = {"Absolute object programs {*.BIN}", "*.BIN", "BIN"},
        .jsonName = "binary-image",
        .decode = decodeImage,
        .hasCompanion = false,
        .erasesFlash = true,
        .handshake = Handshake::Download,
        .end = ProgramEnd::UnansweredEndRecord,
        .shapeFailure = ResultCode::Failed,
        .refusalKeepsItsCode = false,
        .pieces = PieceKind::Record,
        .pieceName = "records",
        .dataName = "data bytes",
        .endName = "the end record",
        .lastPartName = "program's last piece",
    },
}};

// A row's place is its number: the settings form's list and filters and the settings file rely on
// it.
constexpr bool rowsInNumberOrder() {
    for (std::size_t i = 0; i < kFileTypes.size(); ++i) {
        if (kFileTypes[i].number != static_cast<int>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInNumberOrder());

// The BASIC decoder takes any file, so a number no type has is sent as a BASIC program.
constexpr const FileTypeRow& kUnknownTypeBehaviour = kFileTypes[Basic];

}  // namespace

std::span<const FileTypeRow> fileTypes() {
    return kFileTypes;
}

const FileTypeRow* findFileType(int number) {
    if (number < 0 || static_cast<std::size_t>(number) >= kFileTypes.size()) {
        return nullptr;
    }
    return &kFileTypes[static_cast<std::size_t>(number)];
}

const FileTypeRow& fileTypeBehaviour(int number) {
    const FileTypeRow* row = findFileType(number);
    return row != nullptr ? *row : kUnknownTypeBehaviour;
}

bool hasCompanion(int number) {
    const FileTypeRow* row = findFileType(number);
    return row != nullptr && row->hasCompanion;
}

std::optional<int> fileTypeFromExtension(std::string_view path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::nullopt;
    }
    std::string extension(path.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const FileTypeRow& row : kFileTypes) {
        if (std::find(row.extensions.begin(), row.extensions.end(), extension) !=
            row.extensions.end()) {
            return row.number;
        }
    }
    return std::nullopt;
}

}  // namespace vorlanth::readers
