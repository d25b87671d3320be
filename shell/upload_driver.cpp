// One upload attempt over an open link: the check pass, the handshake and erase the file
// type's row asks for, the progress display and the send pass.
#include "shell/upload_driver.h"

#include "link/link.h"
#include "protocol/handshake.h"
#include "readers/file_types.h"
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

}  // namespace

// The whole program is checked before the terminal is touched: a file that is not in its
// format ends the attempt with nothing sent, neither handshake nor erase. Whatever the
// handshake returned, its failure ends the attempt as -111; an erase failure keeps its own
// code. The file type's row says which handshake and whether to erase (BASIC programs never
// are).
ResultCode uploadProgram(Session& session) {
    session.failure = FailureDetail{};
    if (const ResultCode checked = checkProgramFiles(session); !succeeded(checked)) {
        return checked;
    }
    FrontEnd& frontEnd = session.frontEnd;
    link::Link link = linkOf(session);
    const int fileType = session.settings.fileType;
    link::prepareUpload(link);

    frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
    const readers::FileTypeRow& type = readers::fileTypeBehaviour(fileType);
    const ResultCode ready = type.handshake == readers::Handshake::Download
                                 ? protocol::enterDownloadMode(link)
                                 : protocol::enterBasicDownloadMode(link, session.checksumMode);
    if (!succeeded(ready)) {
        frontEnd.onUploadEvent(UploadEvent::HandshakeFailed);
        return ResultCode::TerminalNotReady;
    }
    frontEnd.onUploadEvent(UploadEvent::HandshakeSucceeded);

    if (type.erasesFlash) {
        frontEnd.onUploadEvent(UploadEvent::EraseStarted);
        const ResultCode erased = protocol::eraseFlash(link, frontEnd);
        if (!succeeded(erased)) {
            frontEnd.onUploadEvent(UploadEvent::EraseFailed);
            return erased;
        }
        frontEnd.onUploadEvent(UploadEvent::EraseSucceeded);
    }

    if (!frontEnd.beginProgress()) {
        return ResultCode::Failed;
    }
    frontEnd.onUploadEvent(UploadEvent::TransferStarted);
    FrontEndProgress progress(frontEnd);
    const ResultCode transferred = transferProgram(session, progress);
    if (succeeded(transferred) && session.programFile) {
        // The whole file went over; the position stays the last one the reader set.
        const std::int64_t size = session.programFile->size();
        if (size > 0) {
            frontEnd.advanceProgress(static_cast<std::uint64_t>(size),
                                     static_cast<std::uint64_t>(size), std::nullopt);
        }
    }
    frontEnd.endProgress();
    if (succeeded(transferred)) {
        frontEnd.onUploadEvent(UploadEvent::TransferFinished);
    } else {
        frontEnd.onUploadEvent(UploadEvent::TransferFailed);
    }
    return transferred;
}

}  // namespace vorlanth::shell
