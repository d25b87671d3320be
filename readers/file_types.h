// The program file types, one row each: the number settings and the command line give, the
// extensions that name it, its names for people and scripts, its decoder, and how an upload
// treats it (handshake, erase, end, failure code). Nothing else in the loader asks which file
// type a setting names; a new type is a decoder and a row here.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "common/types.h"
#include "readers/program_decoder.h"

namespace vorlanth::readers {

// The entry handshake a file type takes.
enum class Handshake {
    Download,       // "\r", "MERIDOX\r", "DOWNLOAD\r"
    BasicDownload,  // "TOLVEX\r", then checksummed blocks when the terminal asks for them
};

// How the end of the program goes to the terminal once every piece has been accepted.
enum class ProgramEnd {
    EndRecord,            // the end record, exchanged: a failed exchange fails the upload (-106)
    UnansweredEndRecord,  // the end record; neither the exchange nor the answer is looked at,
                          // and the bar goes to 100
    BasicEnd,             // "END\r", which the terminal must answer "ACK" (else -109)
};

// What a decoder hands on: records of address and data, or BASIC blocks.
enum class PieceKind { Record, Block };

// Reads program (and companion, for a type that has one) from where they stand to the end of
// the program and hands the sink what will be sent.
using Decoder = DecodeResult (*)(platform::ReadableFile& program, platform::ReadableFile* companion,
                                 ProgramSink& sink);

// A type's entry in the open-file request: the filter a file chooser offers.
struct FileFilter {
    std::string_view name;       // "Absolute object programs {*.SHX}"
    std::string_view pattern;    // "*.SHX"
    std::string_view extension;  // "SHX": what a new name ends in
};

struct FileTypeRow {
    int number;  // the FileType value: settings file, command line, the settings form's list
                 // position
    std::span<const std::string_view> extensions;  // lower case, without the dot
    std::string_view title;                        // --check's report: "S-record program"
    std::string_view shortName;                    // --check's usage texts: "S-record"
    std::string_view listName;  // the settings form's file-type list: ".SHX file"
    FileFilter filter;          // the open-file request's filter
    std::string_view jsonName;  // --json: "srecord"

    Decoder decode;
    bool hasCompanion;  // a companion settings file beside the program goes first
    bool erasesFlash;   // the flash is erased after the handshake
    Handshake handshake;
    ProgramEnd end;
    // What a failed transfer of this shape returns (-106 or Failed), whatever failed.
    ResultCode shapeFailure;
    // A piece the terminal refused ends the transfer with the framing's own code (the -109 of
    // a block) instead of shapeFailure.
    bool refusalKeepsItsCode;

    // What --check says of the pieces: "sends N <pieceName> with D <dataName>, then <endName>",
    // and of bytes left over: "byte(s) after the <lastPartName> are never sent".
    PieceKind pieces;
    std::string_view pieceName;
    std::string_view dataName;
    std::string_view endName;
    std::string_view lastPartName;
};

// Every file type, in number order (a row's place is its number).
std::span<const FileTypeRow> fileTypes();

// The row of number; nothing when no type has it.
const FileTypeRow* findFileType(int number);

// The row an upload of number follows: its own, or for a number no type has, the BASIC
// program's (its handshake, no erase, its decoder, its end). Such a number still opens no
// companion: findFileType says whether one is needed.
const FileTypeRow& fileTypeBehaviour(int number);

// True when number's type sends a companion settings file.
bool hasCompanion(int number);

// The file type a path's extension names (in any letter case); nothing when it names none.
std::optional<int> fileTypeFromExtension(std::string_view path);

}  // namespace vorlanth::readers
