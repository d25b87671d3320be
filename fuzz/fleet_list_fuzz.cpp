// Fuzz target: any text as a fleet list. Checked: every line that is neither blank nor a comment
// ends as exactly one target or one refusal, named by its line number and text; a line the
// command-line rules refuse is refused with that rule's message, and a target is what those
// rules make of its line, in MODE 1, with a program that would upload; no two targets reach one
// terminal; a list of nothing but blanks and comments is refused as a whole.
//
// The files the lines can name: a.shx (an S-record program), b.bin (a binary image), c.qbx
// with c.ini (a BASIC program), d.shx (no end record), e.qbx (no companion); COM3 and COM7
// reach one device; the names "term" and "alias" resolve to 127.0.0.1.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/invariant.h"
#include "link/udp_transport.h"
#include "shell/command_line.h"
#include "shell/fleet_list.h"
#include "shell/program_check.h"
#include "tests/fakes/fake_platform.h"

namespace {

using namespace vorlanth;
using fuzzing::require;

void addPrograms(fakes::FakePlatform& platform) {
    auto& files = platform.fileSystem.files;
    files["a.shx"] = fakes::bytesOf("S3090000100001020304DC\r\nS70500000000FA\r\n");
    files["b.bin"] =
        fakes::bytesOf(std::string("TOLVEXSTART\0\0\x80\0\0\0\0\x03\x01\x02\x03TOLVEXEND", 31));
    files["c.qbx"] = fakes::Bytes(12, 0);
    files["c.ini"] = fakes::bytesOf("[settings]\r\n");
    files["d.shx"] = fakes::bytesOf("S3090000100001020304DC\r\n");
    files["e.qbx"] = fakes::Bytes(12, 0);
    platform.serialDevices[3] = "/dev/ttyUSB0";
    platform.serialDevices[7] = "/dev/ttyUSB0";
    platform.datagramPeer.hostNames["term"] = {127, 0, 0, 1};
    platform.datagramPeer.hostNames["alias"] = {127, 0, 0, 1};
}

// The line as the list reads it: CR before the line end dropped, blanks and tabs around it.
std::string_view listLineText(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

bool sameSettings(const UploadSettings& a, const UploadSettings& b) {
    return a.linkType == b.linkType && a.comPort == b.comPort && a.baudIndex == b.baudIndex &&
           a.targetAddress == b.targetAddress.view() && a.targetPort == b.targetPort &&
           a.fileType == b.fileType && a.programPath == b.programPath.view() &&
           a.executionMode == b.executionMode;
}

// The terminal a target reaches, found again on its own.
std::string terminalOf(const UploadSettings& settings, platform::Platform& platform) {
    if (settings.linkType < Network) {
        return "serial " + platform.serialDeviceName(settings.comPort);
    }
    const Result<link::Ipv4Address> address =
        link::resolveTargetAddress(platform.sockets(), settings.targetAddress.view());
    require(static_cast<bool>(address), "a target whose address names no terminal");
    return "udp " + platform::endpointText(address.value(), settings.targetPort);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    fakes::FakePlatform platform;
    addPrograms(platform);
    const shell::FleetList parsed = shell::parseFleetList(list, platform);
    require(platform.openedComPorts.empty() && platform.serialLine.writes.empty() &&
                platform.datagramPeer.sent.empty(),
            "checking a list opened a port or sent something");

    // The lines that must each be answered, by number; a byte-order mark at the very start of
    // the list belongs to no line.
    std::vector<std::string_view> lines;
    const std::size_t first = list.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (std::size_t start = first; start < list.size();) {
        const std::size_t end = std::min(list.find('\n', start), list.size());
        lines.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    std::size_t targetIndex = 0;
    std::size_t errorIndex = 0;
    std::set<std::string> terminals;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        const std::string_view text = listLineText(lines[i]);
        const bool isTarget =
            targetIndex < parsed.targets.size() && parsed.targets[targetIndex].line == number;
        const bool isError =
            errorIndex < parsed.errors.size() && parsed.errors[errorIndex].line == number;
        if (text.empty() || text.front() == '#') {
            require(!isTarget && !isError, "a blank or comment line was taken",
                    std::to_string(number));
            continue;
        }
        require(isTarget != isError, "a line was dropped or answered twice",
                std::to_string(number));
        UploadSettings expected;
        presetUploadSettings(expected);
        const int error = text.find('\0') != std::string_view::npos
                              ? shell::kWrongFormat
                              : shell::parseCommandLineFields(text, expected);
        if (isError) {
            const shell::FleetListError& refusal = parsed.errors[errorIndex++];
            require(refusal.text == text && !refusal.message.empty(),
                    "a refusal without its line's text or a message", std::to_string(number));
            if (error != shell::kCommandLineOk) {
                require(refusal.message == shell::commandLineErrorText(error),
                        "a line refused with another message than its command-line error",
                        refusal.message);
            }
            continue;
        }
        const shell::FleetTarget& target = parsed.targets[targetIndex++];
        require(error == shell::kCommandLineOk, "a line the command line refuses became a target",
                std::string(text));
        require(target.text == text && sameSettings(target.settings, expected) &&
                    target.settings.executionMode == Automatic,
                "a target is not what the command line makes of its line", std::string(text));
        const shell::ProgramReport report = shell::checkProgramFile(
            platform, target.settings.programPath.view(), target.settings.fileType);
        require(report.outcome == shell::CheckOutcome::Valid,
                "a target whose program would not upload");
        require(target.digests.program == report.digests.program &&
                    target.digests.companion == report.digests.companion,
                "a target without the digest of its program", std::string(text));
        require(terminals.insert(terminalOf(target.settings, platform)).second,
                "two targets reach one terminal", std::string(text));
    }
    require(targetIndex == parsed.targets.size(), "a target of no line");
    if (targetIndex == 0 && errorIndex == 0) {
        require(parsed.errors.size() == 1 && parsed.errors[0].line == 0 &&
                    !parsed.errors[0].message.empty(),
                "a list without targets is not refused as a whole");
    } else {
        require(errorIndex == parsed.errors.size(), "a refusal of no line");
    }
    return 0;
}
