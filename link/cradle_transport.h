// The infrared cradle link: the serial line to a cradle that must be found at the rate it runs
// at and switched to the chosen one before traffic reaches the terminal, and its kind's record.
#pragma once

#include <cstdint>

#include "link/serial_transport.h"

namespace vorlanth::link {

// What a probe of the cradle heard: its echo of the probe byte, or nothing (or another byte).
enum class ProbeAnswer { Echo, Silence };
// How a set-up ended without a failure: the cradle was found and set, or a stop of the run
// was requested during the search.
enum class CradleSetUp { Done, Stopped };

// A serial line through an infrared cradle. While RTS is off the bytes written are commands
// to the cradle; with RTS on they go to the terminal.
class CradleTransport final : public SerialTransport {
  public:
    using SerialTransport::SerialTransport;

    // Finds the cradle (cradleRate first when one is remembered, then every rate) and
    // switches it to the rate baudIndex chooses, remembering that rate in cradleRate; the
    // line ends at the chosen rate with RTS on. The failure: no rate got an answer, or the
    // line was lost.
    Result<CradleSetUp> configure(std::uint32_t& cradleRate, int baudIndex);
    // Probes the cradle at rate with RTS off: its echo counts only when it came within the
    // settle delay. The failure: the line was lost, or the probe byte did not go out.
    Result<ProbeAnswer> probe(std::uint32_t rate);

  private:
    // Writes one command byte to the cradle; the failure when it did not go out.
    Status writeCommand(std::uint8_t byte);
    // Drives RTS through the line: off addresses the cradle, on the terminal.
    void setRts(bool on);

    // The settle delay that follows each command, set by each probe from its rate.
    std::uint32_t settleMs_ = 0;
};

// The infrared cradle on a serial port.
extern const LinkKind kCradleLink;

}  // namespace vorlanth::link
