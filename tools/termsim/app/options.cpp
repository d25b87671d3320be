#include "options.h"

#include <charconv>
#include <functional>
#include <map>
#include <string_view>

namespace vorlanth::termsim {

namespace {

// Whole decimal number in [minimum, maximum]; nullopt for anything else.
std::optional<uint64_t> parseNumber(std::string_view text, uint64_t minimum, uint64_t maximum) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum ||
        value > maximum) {
        return std::nullopt;
    }
    return value;
}

// A probability written as a decimal fraction "0.05" or "1" (no locale involved).
std::optional<double> parseRate(std::string_view text) {
    double value = 0.0;
    double scale = 1.0;
    bool seenPoint = false;
    bool seenDigit = false;
    for (char c : text) {
        if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (c >= '0' && c <= '9') {
            seenDigit = true;
            if (seenPoint) {
                scale /= 10.0;
                value += (c - '0') * scale;
            } else {
                value = value * 10.0 + (c - '0');
            }
        } else {
            return std::nullopt;
        }
    }
    if (!seenDigit || value > 1.0) {
        return std::nullopt;
    }
    return value;
}

// Splits "a,b,c" into its items; empty items are kept so they can be refused.
std::vector<std::string_view> splitList(std::string_view text) {
    std::vector<std::string_view> items;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        items.push_back(
            text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) {
            return items;
        }
        start = comma + 1;
    }
}

}  // namespace

// Each option that takes a value has a handler returning "" or an error text.
ParsedOptions parseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    bool linkChosen = false;
    auto chooseLink = [&](LinkKind kind) -> std::string {
        if (linkChosen && o.link != kind) {
            return "choose one of --pty, --device and --udp";
        }
        linkChosen = true;
        o.link = kind;
        return "";
    };
    auto number = [](std::string_view value, uint64_t minimum, uint64_t maximum, auto& target,
                     std::string_view name) -> std::string {
        const auto parsedValue = parseNumber(value, minimum, maximum);
        if (!parsedValue) {
            return std::string(name) + " needs a whole number from " + std::to_string(minimum) +
                   " to " + std::to_string(maximum);
        }
        target = static_cast<std::remove_reference_t<decltype(target)>>(*parsedValue);
        return "";
    };
    // A duration as the option writes it (milliseconds or seconds, `unit` microseconds each),
    // kept in microseconds; the bounds and the error text stay in the written unit.
    auto duration = [&number](std::string_view value, uint64_t minimum, uint64_t maximum,
                              Micros unit, Micros& target, std::string_view name) {
        uint64_t written = 0;
        const std::string error = number(value, minimum, maximum, written, name);
        if (error.empty()) {
            target = written * unit;
        }
        return error;
    };

    using Handler = std::function<std::string(std::string_view)>;
    const std::map<std::string_view, Handler> withValue{
        {"--link",
         [&](std::string_view v) {
             o.linkPath = v;
             return chooseLink(LinkKind::Pty);
         }},
        {"--device",
         [&](std::string_view v) {
             o.devicePath = v;
             return chooseLink(LinkKind::Device);
         }},
        {"--udp",
         [&](std::string_view v) {
             const std::string error = number(v, 0, 65535, o.udpPort, "--udp");
             return error.empty() ? chooseLink(LinkKind::Udp) : error;
         }},
        {"--entry",
         [&](std::string_view v) -> std::string {
             const std::map<std::string_view, EntryStyle> styles{{"ready-fn", EntryStyle::ReadyFn},
                                                                 {"ready-ff", EntryStyle::ReadyFf},
                                                                 {"long", EntryStyle::LongWay}};
             const auto found = styles.find(v);
             if (found == styles.end()) {
                 return "--entry takes ready-fn, ready-ff or long";
             }
             o.model.entry = found->second;
             return "";
         }},
        {"--basic",
         [&](std::string_view v) -> std::string {
             if (v == "plain") {
                 o.model.basic = BasicMode::Plain;
             } else if (v == "checksum") {
                 o.model.basic = BasicMode::Checksum;
             } else {
                 return "--basic takes plain or checksum";
             }
             return "";
         }},
        {"--erase-ms",
         [&](std::string_view v) {
             return duration(v, 0, 600000, kMicrosPerMilli, o.model.eraseUs, "--erase-ms");
         }},
        {"--sessions",
         [&](std::string_view v) { return number(v, 1, 1000000, o.sessions, "--sessions"); }},
        {"--idle-timeout",
         [&](std::string_view v) {
             return duration(v, 0, 86400, kMicrosPerSecond, o.idleTimeoutUs, "--idle-timeout");
         }},
        {"--baud",
         [&](std::string_view v) { return number(v, 0, 4000000, o.model.baud, "--baud"); }},
        {"--write-ms",
         [&](std::string_view v) {
             return duration(v, 0, 60000, kMicrosPerMilli, o.model.writeUs, "--write-ms");
         }},
        {"--frame-gap-ms",
         [&](std::string_view v) {
             return duration(v, 1, 60000, kMicrosPerMilli, o.model.frameGapUs, "--frame-gap-ms");
         }},
        {"--seed",
         [&](std::string_view v) {
             return number(v, 0, UINT64_MAX, o.model.faults.seed, "--seed");
         }},
        {"--fault-rate",
         [&](std::string_view v) -> std::string {
             const auto rate = parseRate(v);
             if (!rate) {
                 return "--fault-rate needs a probability from 0 to 1, such as 0.05";
             }
             o.model.faults.rate = *rate;
             return "";
         }},
        {"--fault-kinds",
         [&](std::string_view v) -> std::string {
             o.model.faults.kinds.clear();
             for (std::string_view item : splitList(v)) {
                 const auto kind = parseFaultKind(item);
                 if (!kind) {
                     return "unknown fault kind \"" + std::string(item) + "\"";
                 }
                 o.model.faults.kinds.push_back(*kind);
             }
             return "";
         }},
        {"--fault-at",
         [&](std::string_view v) -> std::string {
             for (std::string_view item : splitList(v)) {
                 const size_t colon = item.find(':');
                 const auto frame = parseNumber(item.substr(0, colon), 1, UINT64_MAX);
                 if (!frame) {
                     return "--fault-at items are FRAME or FRAME:KIND, frames counted from 1";
                 }
                 FaultKind kind = FaultKind::None;
                 if (colon != std::string_view::npos) {
                     const auto named = parseFaultKind(item.substr(colon + 1));
                     if (!named) {
                         return "unknown fault kind in --fault-at item \"" + std::string(item) +
                                "\"";
                     }
                     kind = *named;
                 }
                 o.model.faults.at[*frame] = kind;
             }
             return "";
         }},
        {"--late-ms",
         [&](std::string_view v) {
             return duration(v, 0, 600000, kMicrosPerMilli, o.model.faults.lateUs, "--late-ms");
         }},
        {"--split-gap-ms",
         [&](std::string_view v) {
             return duration(v, 0, 10000, kMicrosPerMilli, o.model.faults.splitGapUs,
                             "--split-gap-ms");
         }},
        {"--expect",
         [&](std::string_view v) {
             o.expectPath = v;
             return std::string();
         }},
        {"--type",
         [&](std::string_view v) -> std::string {
             const std::map<std::string_view, ProgramType> types{{"shx", ProgramType::SRecord},
                                                                 {"bin", ProgramType::BinaryImage},
                                                                 {"qbx", ProgramType::Basic}};
             const auto found = types.find(v);
             if (found == types.end()) {
                 return "--type takes shx, bin or qbx";
             }
             o.expectType = found->second;
             return "";
         }},
        {"--companion",
         [&](std::string_view v) {
             o.companionPath = v;
             return std::string();
         }},
        {"--image-out",
         [&](std::string_view v) {
             o.imageOut = v;
             return std::string();
         }},
        {"--srec-out",
         [&](std::string_view v) {
             o.srecOut = v;
             return std::string();
         }},
        {"--basic-out",
         [&](std::string_view v) {
             o.basicOut = v;
             return std::string();
         }},
        {"--companion-out",
         [&](std::string_view v) {
             o.companionOut = v;
             return std::string();
         }},
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        std::string_view value;
        bool hasInlineValue = false;
        if (const size_t equals = argument.find('=');
            argument.starts_with("--") && equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            hasInlineValue = true;
        }
        std::string error;
        if (argument == "--help" || argument == "-h") {
            o.help = true;
        } else if (argument == "--version") {
            o.version = true;
        } else if (argument == "--pty") {
            error = chooseLink(LinkKind::Pty);
        } else if (argument == "--trace") {
            o.trace = true;
        } else if (argument == "--fault-commands") {
            o.model.faults.commandsToo = true;
        } else if (const auto handler = withValue.find(argument); handler != withValue.end()) {
            if (!hasInlineValue) {
                if (i + 1 >= arguments.size()) {
                    parsed.error = std::string(argument) + " needs a value";
                    return parsed;
                }
                value = arguments[++i];
            }
            error = handler->second(value);
        } else {
            error = "unknown option " + std::string(argument);
        }
        if (!error.empty()) {
            parsed.error = error;
            return parsed;
        }
    }

    if (o.help || o.version) {
        return parsed;
    }
    if (!o.expectPath.empty() && o.expectType == ProgramType::None) {
        parsed.error = "--expect needs --type shx, bin or qbx";
    } else if (o.expectPath.empty() &&
               (o.expectType != ProgramType::None || !o.companionPath.empty())) {
        parsed.error = "--type and --companion go with --expect";
    } else if (!o.linkPath.empty() && o.link != LinkKind::Pty) {
        parsed.error = "--link goes with the pseudo-terminal only";
    } else if (o.link != LinkKind::Udp) {
        for (FaultKind kind : o.model.faults.kinds) {
            if (isDatagramFault(kind)) {
                parsed.error =
                    "fault kind \"" + std::string(faultKindName(kind)) + "\" needs --udp";
            }
        }
        for (const auto& [frame, kind] : o.model.faults.at) {
            if (isDatagramFault(kind)) {
                parsed.error =
                    "fault kind \"" + std::string(faultKindName(kind)) + "\" needs --udp";
            }
        }
    }
    return parsed;
}

// Every option, grouped as the terminal's parts are.
std::string usageText() {
    return R"(usage: vorlanth-termsim [LINK] [OPTIONS]

A virtual data terminal in download mode: answers the loader's handshakes, erase,
records and BASIC blocks, keeps what it receives and can check it against the file.

Link (one of):
  --pty                 create a pseudo-terminal (the default)
  --link PATH           with --pty: make PATH a symbolic link to it (removed at exit)
  --device PATH         use an existing serial device (raw, 8N1; --baud sets its rate,
                        default 115200; the real line paces itself)
  --udp PORT            listen on 127.0.0.1:PORT, 0 picks a free port; answers go back
                        to the sender in datagrams of at most 3 bytes
Once listening it prints one line on stdout and flushes it:
  READY pty=/dev/pts/N [link=PATH] | READY device=PATH | READY udp=127.0.0.1:PORT

Terminal:
  --entry STYLE         answer to the first "\r": ready-fn ("FN", default), ready-ff
                        ("FF"), or long (empty line; "MERIDOX\r" -> "ACK1",
                        "DOWNLOAD\r" -> "ACK2")
  --basic MODE          answer to "TOLVEX\r": plain ("ACK", default) or checksum ("FK",
                        then "000300\r" -> "ACK" and a checksum byte after every block)
  --erase-ms N          0 (default): ":ERASE\r" -> "FA" at once; otherwise "FB", then
                        "FA" N milliseconds later
  --sessions N          serve N uploads (ended by the end record or "END\r"), default 1;
                        a new "\r" or "TOLVEX\r" restarts an unfinished upload at any time
  --idle-timeout S      give up after S seconds without a byte from the loader (0, the
                        default, waits as long as it takes)
  --frame-gap-ms N      silence after which an incomplete frame is answered as damaged
                        (default 250)

Line pacing:
  --baud RATE           emulate a line of RATE bit/s, 10 bits a byte, both directions:
                        a frame counts as received when the line would have delivered it,
                        and answers take their time on the way out
  --write-ms N          flash write time for each data record and BASIC block

Faults (reproducible: the same seed gives the same faults at the same frames):
  --seed N              seed of the fault choices (default 1)
  --fault-rate P        chance 0..1 that a record or block is answered wrongly
  --fault-commands      let --fault-rate hit commands and end frames too
  --fault-kinds LIST    kinds drawn from (default fn,nak,garbage,silent,split):
                          fn, ff, nak  answer that word and drop the frame
                          garbage      answer a line of random characters, drop the frame
                          silent       answer nothing, drop the frame
                          late         take the frame, answer after --late-ms
                          split        take the frame, answer in several writes
                          drop, dup, reorder  (--udp) take the frame; one datagram of the
                                       answer is lost / sent twice, or the answer's
                                       datagrams arrive in reverse order
  --fault-at LIST       FRAME[:KIND],... faults at these frame numbers (every command,
                        record and block counts, from 1; --trace shows the numbers);
                        without KIND one is drawn from --fault-kinds
  --late-ms N           delay of a late answer (default 9000, past the loader's 8 s)
  --split-gap-ms N      pause between the pieces of a split answer (default 5)

Checking (after the last session):
  --expect FILE         compare what was received with FILE's contents
  --type shx|bin|qbx    FILE's type; erased flash reads 0xFF for shx and bin
  --companion FILE      qbx companion settings file (default: FILE with everything from
                        the first "." of its name replaced by ".ini")

Outputs (written at exit):
  --image-out PATH      binary image from the lowest written address, gaps 0xFF; the
                        base address is printed as "IMAGE base=0x... size=N"
  --srec-out PATH       S-record text (S3 lines, S7 end) of the received memory
  --basic-out PATH      BASIC program bytes received (header, counts, pieces)
  --companion-out PATH  the 100 companion bytes received
  --trace               one line per frame on stderr: number, kind, answer, fault

  --help, --version     this text; the version

Exit status: 0 all sessions ended (and matched --expect); 1 mismatch with --expect;
2 the sessions did not end (idle timeout or signal); 3 bad usage or a file error.
)";
}

}  // namespace vorlanth::termsim
