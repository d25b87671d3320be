// The command line of vorlanth-termsim.
#pragma once

#include "terminal_model.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlanth::termsim {

enum class LinkKind { Pty, Device, Udp };
enum class ProgramType { None, SRecord, BinaryImage, Basic };

struct Options {
    LinkKind link = LinkKind::Pty;
    std::string linkPath;    // --link: symlink to the pseudo-terminal
    std::string devicePath;  // --device
    uint16_t udpPort = 0;    // --udp
    ModelConfig model;
    uint32_t sessions = 1;
    Micros idleTimeoutUs = 0;  // 0: wait for the loader as long as it takes
    std::string expectPath;
    ProgramType expectType = ProgramType::None;
    std::string companionPath;  // --companion; "" = derived from the program path
    std::string imageOut;
    std::string srecOut;
    std::string basicOut;
    std::string companionOut;
    bool trace = false;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    Options options;
    std::string error;  // non-empty when the command line is wrong
};

// Reads the arguments after the program name.
ParsedOptions parseOptions(const std::vector<std::string>& arguments);

// The --help text.
std::string usageText();

}  // namespace vorlanth::termsim
