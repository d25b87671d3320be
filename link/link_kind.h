// What differs between the kinds of link, one record per kind, and the one place that asks
// which kind the settings name. Everything else works through the record or the transport.
#pragma once

#include <string>
#include <string_view>

#include "common/json_writer.h"
#include "common/result.h"
#include "common/types.h"
#include "platform/platform.h"

namespace vorlanth::link {

struct Link;

// One kind of link: how it opens, and how its target is checked, named and described.
struct LinkKind {
    // Opens the link into link.state.transport: Done, or the code of the failure with why in
    // link.failure (what was opened before the failure stays held until closeLink).
    ResultCode (*open)(Link& link);
    // What can be checked of the target before anything is opened or sent (a network address
    // must name a terminal); a failure is an address that names none.
    Status (*checkTarget)(const UploadSettings& settings, platform::Platform& platform);
    // The terminal the target reaches, as a text that two targets reaching one terminal share
    // (the same serial device; the same address and port).
    Result<std::string> (*terminalKey)(const UploadSettings& settings,
                                       platform::Platform& platform);
    // The target's short name: "COM3" or "address:port".
    std::string (*targetName)(const UploadSettings& settings);
    // The target as a person is told which terminal it is: "COM3 (/dev/ttyUSB0)" when the
    // device has a name of its own, "address:port".
    std::string (*terminalName)(const UploadSettings& settings, platform::Platform& platform);
    // The object of a failure on the line: "COM3", or the address.
    std::string (*lineName)(const UploadSettings& settings);
    // The kind's name in the --json events: "serial", "cradle-ir" or "network".
    std::string_view jsonName;
    // Writes the target's members of the --json start event: the COM port and the rate in
    // bit/s (0 for an index without one), or the address and port.
    void (*writeTargetMembers)(JsonWriter& json, const UploadSettings& settings);
};

// The kind that linkType names. Values outside 0..2 come only from a hand-edited file: above
// 2 they are a network link, below 0 a cradle.
const LinkKind& linkKindOf(int linkType);

// The record's entries for the kind the settings name.
inline Status checkTarget(const UploadSettings& settings, platform::Platform& platform) {
    return linkKindOf(settings.linkType).checkTarget(settings, platform);
}
inline Result<std::string> terminalKey(const UploadSettings& settings,
                                       platform::Platform& platform) {
    return linkKindOf(settings.linkType).terminalKey(settings, platform);
}
inline std::string targetName(const UploadSettings& settings) {
    return linkKindOf(settings.linkType).targetName(settings);
}
inline std::string terminalName(const UploadSettings& settings, platform::Platform& platform) {
    return linkKindOf(settings.linkType).terminalName(settings, platform);
}
inline std::string lineName(const UploadSettings& settings) {
    return linkKindOf(settings.linkType).lineName(settings);
}

}  // namespace vorlanth::link
