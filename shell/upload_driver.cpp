// The upload driver: one attempt from the check of the whole file to its last record or block,
// with the front end told of each step and of the transfer's progress.
#include "shell/upload_driver.h"

#include "link/link.h"
#include "protocol/handshake.h"
#include "shell/program_sender.h"

namespace vorlanth::shell {

namespace {

// The front end's progress as the sending sees it.
class FrontEndProgress final : public ProgressSink {
  public:
    explicit FrontEndProgress(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    void setProgress(int percent, std::uint64_t consumed, std::uint64_t total) override {
        frontEnd_.advanceProgress(consumed, total, percent);
    }
    void stayResponsive() override { frontEnd_.stayResponsive(); }

  private:
    FrontEnd& frontEnd_;
};

// Only S-record programs and binary images go into erased flash.
bool erasesFlash(int fileType) {
    return fileType == SRecord || fileType == BinaryImage;
}

}  // namespace

// The whole program is checked before the terminal is touched: a file that is not in its
// format ends the attempt with nothing sent, neither handshake nor erase. Whatever the
// handshake returned, its failure ends the attempt as -111; an erase failure keeps its own
// code. BASIC programs are never erased.
ResultCode uploadProgram(Session& session) {
    session.failure = FailureDetail{};
    if (const ResultCode checked = checkProgramFiles(session); checked <= 0) {
        return checked;
    }
    FrontEnd& frontEnd = session.frontEnd;
    link::Link link = linkOf(session);
    const int fileType = session.settings.fileType;
    link::prepareUpload(link);

    frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
    const ResultCode ready = erasesFlash(fileType)
                                 ? protocol::enterDownloadMode(link)
                                 : protocol::enterBasicDownloadMode(link, session.checksumMode);
    if (ready <= 0) {
        frontEnd.onUploadEvent(UploadEvent::HandshakeFailed);
        return result::kTerminalNotReady;
    }
    frontEnd.onUploadEvent(UploadEvent::HandshakeSucceeded);

    if (erasesFlash(fileType)) {
        frontEnd.onUploadEvent(UploadEvent::EraseStarted);
        const ResultCode erased = protocol::eraseFlash(link, frontEnd);
        if (erased <= 0) {
            frontEnd.onUploadEvent(UploadEvent::EraseFailed);
            return erased;
        }
        frontEnd.onUploadEvent(UploadEvent::EraseSucceeded);
    }

    if (!frontEnd.beginProgress()) {
        return 0;
    }
    frontEnd.onUploadEvent(UploadEvent::TransferStarted);
    FrontEndProgress progress(frontEnd);
    const ResultCode transferred = transferProgram(session, progress);
    if (transferred > 0 && session.programFile) {
        // The whole file went over; the position stays the last one the reader set.
        const std::int64_t size = session.programFile->size();
        if (size > 0) {
            frontEnd.advanceProgress(static_cast<std::uint64_t>(size),
                                     static_cast<std::uint64_t>(size), std::nullopt);
        }
    }
    frontEnd.endProgress();
    if (transferred > 0) {
        frontEnd.onUploadEvent(UploadEvent::TransferFinished);
    } else {
        frontEnd.onUploadEvent(UploadEvent::TransferFailed);
    }
    return transferred;
}

}  // namespace vorlanth::shell
