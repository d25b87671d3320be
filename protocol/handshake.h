// The steps before a program goes out: bringing the terminal into (BASIC) download mode, the
// checksum-mode request, and the flash erase with what it shows meanwhile.
#pragma once

#include "common/types.h"
#include "link/link.h"

namespace vorlanth::protocol {

// What the erase step tells the person: that the terminal is erasing its flash, and when it ends.
class EraseIndicator {
  public:
    virtual ~EraseIndicator() = default;
    // Shows that the erase runs; false when that cannot be shown.
    virtual bool showErase() = 0;
    // Ends what showErase showed.
    virtual void endErase() = 0;
};

// Tries per handshake command and per erase command.
inline constexpr int kCommandTries = 3;

// Brings the terminal into download mode for S-record programs and binary images:
// Done when it is ready, Failed when it is not.
ResultCode enterDownloadMode(link::Link& link);

// Brings the terminal into BASIC download mode and records in checksumMode whether it wants
// checksummed blocks: Done when ready, Failed when not, -110 when the checksum request was
// refused.
ResultCode enterBasicDownloadMode(link::Link& link, int& checksumMode);

// Asks for checksummed blocks: Done when accepted (any line but "NAK"), -110 otherwise.
ResultCode negotiateChecksumMode(link::Link& link);

// Erases the terminal's flash, showing the erase while the terminal works: Done or -108.
ResultCode eraseFlash(link::Link& link, EraseIndicator& erase);

}  // namespace vorlanth::protocol
