#pragma once

#include <cstdint>
#include <vector>

#include "common/types.h"
#include "link/link.h"
#include "tests/fakes/fake_platform.h"

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
    Link link{state, line, settings, platform, &trace, &failure};

    fakes::VirtualClock& clock() { return platform.clockImpl; }
    fakes::FakeSerialLine& serial() { return platform.serialLine; }
    fakes::FakeDatagramPeer& peer() { return platform.datagramPeer; }
};

}  // namespace vorlanth::link::testing
