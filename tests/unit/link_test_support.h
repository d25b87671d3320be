// What the link tests share: a link over the fake platform that records the wire and the
// warnings.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/types.h"
#include "link/link.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/result_code_printer.h"

namespace vorlanth::link::testing {

// Every chunk the link reported, with its direction and tick.
class RecordingWireObserver final : public WireObserver {
  public:
    struct Chunk {
        WireDirection direction;
        fakes::Bytes bytes;
        std::uint32_t tick;
    };
    void onWireChunk(WireDirection direction, std::span<const std::uint8_t> bytes,
                     std::uint32_t tick) override {
        chunks.push_back({direction, fakes::Bytes(bytes.begin(), bytes.end()), tick});
    }
    std::vector<Chunk> chunks;
};

// Every warning said, with its summary.
class RecordingWarnings final : public WarningSink {
  public:
    void warn(std::string_view summary, const FailureDetail& detail) override {
        said.emplace_back(std::string(summary), detail);
    }
    std::vector<std::pair<std::string, FailureDetail>> said;
};

// A link over the fake platform, with its own state records.
struct LinkRig {
    explicit LinkRig(int linkType = Serial) {
        settings.linkType = linkType;
        settings.targetAddress.assign("127.0.0.1");
    }

    fakes::FakePlatform platform;
    link::LinkState state;
    ResponseLine line;
    UploadSettings settings;
    RecordingWireObserver trace;
    FailureDetail failure;
    RecordingWarnings warnings;
    Link link{state, line, settings, platform, &trace, failure, warnings};

    fakes::VirtualClock& clock() { return platform.clockImpl; }
    fakes::FakeSerialLine& serial() { return platform.serialLine; }
    fakes::FakeDatagramPeer& peer() { return platform.datagramPeer; }
};

}  // namespace vorlanth::link::testing
