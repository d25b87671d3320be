// The links the virtual terminal listens on: a pseudo-terminal it creates, an
// existing serial device, or a UDP socket on the loopback address.
#pragma once

#include "terminal_model.h"

#include <memory>
#include <string>

namespace vorlanth::termsim {

// Owns one file descriptor and closes it.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    ~FileDescriptor();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

  private:
    int fd_ = -1;
};

class Port {
  public:
    virtual ~Port() = default;

    // The descriptor to poll for input.
    virtual int pollDescriptor() const = 0;

    // Reads everything waiting and hands it to the model, stamped nowUs (microseconds
    // since the run began). Returns false on a lost link.
    virtual bool receive(TerminalModel& model, Micros nowUs) = 0;

    // Writes one answer (or piece of one); random serves the datagram faults.
    virtual void send(const Emission& emission, SeededRandom& random) = 0;

    // Before the link closes: waits, at most maxWait, until the other side has taken
    // what was written, since closing a pseudo-terminal discards unread input.
    virtual void drain(Micros maxWait) { (void)maxWait; }

    // What follows "READY " on stdout.
    virtual std::string readyText() const = 0;

    uint64_t droppedBytes() const { return dropped_; }

  protected:
    uint64_t dropped_ = 0;  // answer bytes that could not be written
};

// Opens each of standard input, output and error that is closed on /dev/null (input
// read-only, the others write-only), so that no port opened later takes its number and gets
// the READY line or the trace. Called first thing at start.
void ensureStandardStreams();

// Creates a pseudo-terminal in raw mode; linkPath, when not empty, becomes a symlink to it.
std::unique_ptr<Port> openPtyPort(const std::string& linkPath, std::string& error);

// Opens a serial device raw, 8 data bits, no parity, one stop bit, at baud (0: 115200).
std::unique_ptr<Port> openDevicePort(const std::string& path, uint32_t baud, std::string& error);

// Binds a datagram socket to 127.0.0.1:port (0 picks a free one).
std::unique_ptr<Port> openUdpPort(uint16_t port, std::string& error);

}  // namespace vorlanth::termsim
