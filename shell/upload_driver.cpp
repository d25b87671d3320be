// One upload attempt over an open link: the check pass, the handshake and erase the file
// type's row asks for, the progress window and the send pass.
#include "shell/upload_driver.h"

#include "link/link.h"
#include "protocol/handshake.h"
#include "readers/file_types.h"
#include "shell/program_sender.h"

namespace vorlanth::shell {

namespace {

// The progress window as the sending sees it.
class ProgressWindow final : public ProgressSink {
  public:
    explicit ProgressWindow(Session& session) : session_(session) {}

    void setProgress(int percent, std::uint64_t consumed, std::uint64_t total) override {
        // The bytes first, so that a front end showing them has them with the position.
        session_.frontEnd.reportBytes(consumed, total);
        shell::setProgress(session_, percent);
    }
    void pumpOneMessage() override { shell::pumpOneMessage(session_); }

  private:
    Session& session_;
};

}  // namespace

// The bar's set-position request.
void setProgress(Session& session, int percent) {
    session.frontEnd.setProgress(percent);
}

// The front end handles at most one message and then yields the time slice.
void pumpOneMessage(Session& session) {
    session.frontEnd.pumpOneMessage();
}

// The whole program is checked before the terminal is touched: a file that is not in its
// format ends the attempt with nothing sent, neither handshake nor erase. Whatever the
// handshake returned, its failure ends the attempt as -111; an erase failure keeps its own
// code. The file type's row says which handshake and whether to erase (BASIC programs never
// are).
ResultCode uploadProgram(Session& session) {
    session.failure = FailureDetail{};
    if (const ResultCode checked = checkProgramFiles(session); checked <= 0) {
        return checked;
    }
    FrontEnd& frontEnd = session.frontEnd;
    link::Link link = linkOf(session);
    const int fileType = session.settings.fileType;
    if (session.settings.linkType == Serial || session.settings.linkType == CradleIr) {
        link::applyUploadTimeouts(link);
    }

    frontEnd.onUploadEvent(UploadEvent::HandshakeStarted);
    const readers::FileTypeRow& type = readers::fileTypeBehaviour(fileType);
    const ResultCode ready = type.handshake == readers::Handshake::Download
                                 ? protocol::enterDownloadMode(link)
                                 : protocol::enterBasicDownloadMode(link, session.checksumMode);
    if (ready <= 0) {
        frontEnd.onUploadEvent(UploadEvent::HandshakeFailed);
        return result::kTerminalNotReady;
    }
    frontEnd.onUploadEvent(UploadEvent::HandshakeSucceeded);

    if (type.erasesFlash) {
        frontEnd.onUploadEvent(UploadEvent::EraseStarted);
        const ResultCode erased = protocol::eraseFlash(link, frontEnd);
        if (erased <= 0) {
            frontEnd.onUploadEvent(UploadEvent::EraseFailed);
            return erased;
        }
        frontEnd.onUploadEvent(UploadEvent::EraseSucceeded);
    }

    if (!frontEnd.openProgressWindow()) {
        return 0;
    }
    frontEnd.onUploadEvent(UploadEvent::TransferStarted);
    ProgressWindow progress(session);
    const ResultCode transferred = transferProgram(session, progress);
    if (transferred > 0 && session.programFile) {
        // The whole file went over; the bar itself keeps the last position the reader set.
        const std::int64_t size = session.programFile->size();
        if (size > 0) {
            frontEnd.reportBytes(static_cast<std::uint64_t>(size),
                                 static_cast<std::uint64_t>(size));
        }
    }
    frontEnd.closeProgressWindow();
    if (transferred > 0) {
        frontEnd.onUploadEvent(UploadEvent::TransferFinished);
    } else {
        frontEnd.onUploadEvent(UploadEvent::TransferFailed);
    }
    return transferred;
}

}  // namespace vorlanth::shell
