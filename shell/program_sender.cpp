// The two passes over a program file: the check before the terminal is touched, and the
// sending, which frames what the decoder hands on and ends as the file type's row says.
#include "shell/program_sender.h"

#include <algorithm>

#include "link/link.h"
#include "protocol/block.h"
#include "protocol/record.h"
#include "protocol/words.h"
#include "readers/file_types.h"
#include "readers/program_decoder.h"
#include "shell/program_digest.h"
#include "shell/result_messages.h"

namespace vorlanth::shell {

namespace {

// What a failed transfer of the session's file type returns (-106 or Failed).
ResultCode shapeFailure(const Session& session) {
    return readers::fileTypeBehaviour(session.settings.fileType).shapeFailure;
}

// Takes what the decoder found wrong into the session, naming the file it is in; a format error
// is also shown.
ResultCode reportDecodeFailure(Session& session, const readers::DecodeResult& decoded) {
    session.failure = decoded.error;
    session.failure.object = decoded.errorIn == readers::ProgramPart::Companion
                                 ? session.companionName.str()
                                 : session.settings.programPath.str();
    if (decoded.status == readers::DecodeStatus::FormatError) {
        showFormatError(session.frontEnd, session.failure);
    }
    return shapeFailure(session);
}

// The check pass read the whole file without a fault, so a format error met while sending means
// the file changed in between: it is a read failure of the file (no "Format Error!", the
// upload failed), with the place and what was found there as its detail.
readers::DecodeResult changedWhileRead(readers::DecodeResult decoded) {
    decoded.status = readers::DecodeStatus::ReadError;
    decoded.error.kind = FailureKind::System;
    decoded.error.reason = "the file changed while it was read (now: " + decoded.error.reason + ")";
    return decoded;
}

// The check pass takes everything and sends nothing; a stop the user asks for (a signal,
// Ctrl+C) ends it at the next record or block, so a large file does not hold the run up.
class CheckingSink final : public readers::ProgramSink {
  public:
    explicit CheckingSink(platform::Platform& platform) : platform_(platform) {}

    bool record(std::uint32_t, std::span<const std::uint8_t>) override { return going(); }
    bool block(std::span<const std::uint8_t>) override { return going(); }
    void progress(std::uint64_t, std::uint64_t) override {}

  private:
    bool going() { return platform_.stopRequested() == 0; }
    platform::Platform& platform_;
};

// The send pass: every record or block goes out through the framing as the decoder hands it
// on, and each progress point sets the progress and lets the front end stay responsive.
class SendingSink final : public readers::ProgramSink {
  public:
    SendingSink(Session& session, ProgressSink& progress)
        : session_(session), link_(linkOf(session)), progress_(progress) {}

    bool record(std::uint32_t address, std::span<const std::uint8_t> data) override {
        TransmitBuffer& buffer = session_.transmitBuffer;
        const std::size_t start = protocol::openDataRecord(buffer, address);
        std::copy(data.begin(), data.end(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
        lastSent = protocol::sendRecord(link_, buffer, static_cast<int>(start + data.size()));
        return succeeded(lastSent);
    }
    bool block(std::span<const std::uint8_t> data) override {
        TransmitBuffer& buffer = session_.transmitBuffer;
        std::copy(data.begin(), data.end(), buffer.begin());
        lastSent = protocol::sendBlock(link_, buffer, static_cast<int>(data.size()),
                                       session_.checksumMode);
        return succeeded(lastSent);
    }
    // The position is done × 100 / total, in integer division.
    void progress(std::uint64_t done, std::uint64_t total) override {
        const auto percent = total == 0 ? 0 : static_cast<int>(done * 100 / total);
        progress_.setProgress(percent, done, total);
        progress_.stayResponsive();
    }

    link::Link& link() { return link_; }
    // The result of the last record or block sent.
    ResultCode lastSent = ResultCode::Done;

  private:
    Session& session_;
    link::Link link_;
    ProgressSink& progress_;
};

// The end of each shape: the S-record end record must be exchanged; the binary image's is sent
// without looking at the answer and the bar goes to 100; a BASIC program ends with "END\r",
// which the terminal must answer "ACK".
ResultCode sendProgramEnd(Session& session, SendingSink& sink, ProgressSink& progress) {
    link::Link& link = sink.link();
    switch (readers::fileTypeBehaviour(session.settings.fileType).end) {
        case readers::ProgramEnd::EndRecord:
            return protocol::sendEndRecord(link, session.transmitBuffer) == ResultCode::Done
                       ? ResultCode::Done
                       : ResultCode::RecordUploadError;
        case readers::ProgramEnd::UnansweredEndRecord: {
            // Nothing comes back for this end record that the upload could act on.
            static_cast<void>(protocol::sendEndRecord(link, session.transmitBuffer));
            const std::int64_t size = session.programFile->size();
            const auto total = static_cast<std::uint64_t>(size > 0 ? size : 0);
            progress.setProgress(100, total, total);
            return ResultCode::Done;
        }
        case readers::ProgramEnd::BasicEnd:
            break;
    }
    const std::string_view end = protocol::command::kBasicEnd;
    const auto* endBytes = reinterpret_cast<const std::uint8_t*>(end.data());
    if (link::exchange(link, std::span<const std::uint8_t>(endBytes, end.size())) !=
            ResultCode::Done ||
        !(link.responseLine == protocol::reply::kAck)) {
        return ResultCode::BlockUploadError;
    }
    return ResultCode::Done;
}

}  // namespace

// The files are read to their end once, and digested on the way; both are then rewound so that
// the sending reads them from the start. A file that changes in between is caught by the
// sending.
ResultCode checkProgramFiles(Session& session) {
    if (!session.programFile) {
        return shapeFailure(session);
    }
    CheckingSink sink(session.platform);
    const std::string programName = session.settings.programPath.str();
    const DigestedCheck check =
        decodeWithDigests(session.platform, session.settings.fileType,
                          {*session.programFile, programName, session.companionFile.get(),
                           session.companionName.str()},
                          sink);
    session.frontEnd.programChecked(check.digests);
    if (check.decoded.status != readers::DecodeStatus::Complete) {
        return reportDecodeFailure(session, check.decoded);
    }
    if (std::optional<FailureDetail> refused =
            refuseUnexpected(check, session.expectedSha256, programName)) {
        session.failure = std::move(*refused);
        if (session.failure.kind == FailureKind::UnexpectedDigest) {
            session.frontEnd.tell(MessageId::unexpectedDigest(), session.failure);
        }
        return shapeFailure(session);
    }
    if (!check.digestFailure.empty()) {
        session.frontEnd.warn("the SHA-256 could not be taken", check.digestFailure);
    }
    if (!session.programFile->rewind() ||
        (session.companionFile && !session.companionFile->rewind())) {
        session.failure =
            objectFailure(programName, "the file cannot be read again from its start");
        return shapeFailure(session);
    }
    return ResultCode::Done;
}

ResultCode transferProgram(Session& session, ProgressSink& progress) {
    if (!session.programFile) {
        return shapeFailure(session);
    }
    SendingSink sink(session, progress);
    const readers::DecodeResult decoded = readers::decodeProgram(
        session.settings.fileType, *session.programFile, session.companionFile.get(), sink);
    switch (decoded.status) {
        case readers::DecodeStatus::Complete:
            return sendProgramEnd(session, sink, progress);
        case readers::DecodeStatus::Stopped:
            // A refused BASIC block keeps its own code; a refused record is the shape's failure.
            return readers::fileTypeBehaviour(session.settings.fileType).refusalKeepsItsCode
                       ? sink.lastSent
                       : shapeFailure(session);
        case readers::DecodeStatus::FormatError:
            return reportDecodeFailure(session, changedWhileRead(decoded));
        case readers::DecodeStatus::ReadError:
            break;
    }
    return reportDecodeFailure(session, decoded);
}

}  // namespace vorlanth::shell
