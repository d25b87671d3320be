// The line to the terminal as the protocol needs it, whichever link carries it: send bytes,
// read one answer line before a deadline, drop input that came late, close. One
// implementation per link kind (serial_transport, cradle_transport, udp_transport).
#pragma once

#include <cstdint>
#include <span>

#include "common/result.h"
#include "common/types.h"
#include "link/wire_trace.h"
#include "platform/platform.h"

namespace vorlanth::link {

// How a read of an answer line ended without failing.
enum class LineEnd {
    CarriageReturn,  // the line is complete
    Deadline,        // the deadline passed; the line holds what came, maybe nothing
    Stopped,         // a stop of the run was requested
};

// An open line to the terminal. Every chunk sent or received is told to the wire observer
// with the tick it happened at; every wait blocks in the OS and is bounded by its deadline.
class Transport {
  public:
    Transport(platform::Platform& platform, WireObserver* observer)
        : platform_(platform), observer_(observer) {}
    virtual ~Transport() = default;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Sends the bytes in one write or one datagram. Bytes that did not all go out (a write
    // deadline, a datagram the network refused) show in the answer that then does not come;
    // the failure means the line is lost and no answer can come.
    Status send(std::span<const std::uint8_t> bytes);
    // Reads one answer line into line: up to a CR, at most ResponseLine::kCapacity characters
    // kept, until the tick count passes deadline. The failure: a receive failed or the line
    // was lost (line keeps what came before).
    Result<LineEnd> readLine(ResponseLine& line, std::uint32_t deadline);
    // Drops input that arrived and was not read, so that an answer that came late for an
    // earlier send is never taken for the answer to the next.
    virtual void dropLateInput() = 0;
    // Readies the line for an upload attempt; nothing unless the kind needs it. A failure is
    // a setting the device refused; the attempt goes on.
    virtual Status prepareUpload() { return {}; }
    // Releases the line (port or socket); later sends and reads fail as "not open".
    virtual void close() = 0;

  protected:
    // Writes the bytes; the failure only when the line is lost.
    virtual Status write(std::span<const std::uint8_t> bytes) = 0;
    // The next input as it arrives, waiting at most waitMs: the bytes the line delivers at
    // once (a serial line one byte, a network link one datagram), none when nothing came.
    // The view stays valid until the next call.
    virtual Result<std::span<const std::uint8_t>> receive(std::uint32_t waitMs) = 0;

    platform::Platform& platform() { return platform_; }
    // Tells the observer, if any, of a chunk; an empty chunk is not reported.
    void report(WireDirection direction, std::span<const std::uint8_t> bytes);

  private:
    platform::Platform& platform_;
    WireObserver* observer_;
};

}  // namespace vorlanth::link
