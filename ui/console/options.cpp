// Parses the console loader's options and their numbers, and holds the --help text.
#include "ui/console/options.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vorlanth::ui::console {

namespace {

// An option that takes the argument after it as its value, and what is said when it is missing.
struct ValueOption {
    std::string_view name;
    std::string_view missing;
};
constexpr std::array<ValueOption, 6> kValueOptions = {{
    {"--check", "--check needs a program file: --check PATH[,FILETYPE]"},
    {"--fleet", "--fleet needs a list of targets: --fleet FILE (- for stdin)"},
    {"--check-fleet", "--check-fleet needs a list of targets: --check-fleet FILE (- for stdin)"},
    {"--expect-sha256", "--expect-sha256 needs a digest: --expect-sha256 HEX"},
    {"--jobs", "--jobs needs a number"},
    {"--retries", "--retries needs a number"},
}};

// The option's row when it takes a value, else null.
const ValueOption* valueOption(std::string_view argument) {
    const auto* row = std::find_if(kValueOptions.begin(), kValueOptions.end(),
                                   [&](const ValueOption& o) { return o.name == argument; });
    return row == kValueOptions.end() ? nullptr : row;
}

// The value of option name, a whole number from least to most; false (with the error set)
// when it is not such a number.
bool numberValue(const std::string& name, const std::string& text, long least, long most,
                 long& value, CliOptions& options) {
    const bool digits = !text.empty() && text.size() <= 9 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    value = digits ? std::stol(text) : -1;
    if (value < least || value > most) {
        options.error = name + " takes a whole number from " + std::to_string(least) + " to " +
                        std::to_string(most) + ", not " + text;
        return false;
    }
    return true;
}

// The longest fleet a run takes at once, and the most retries of one target.
constexpr long kMostJobs = 1024;
constexpr long kMostRetries = 100;

// Whether --json is among the options, so that a usage error found before or after it is
// still written as JSON: the value of an option that takes one is skipped, and the options
// end at the first argument that is none or at "--".
bool asksForJson(const std::vector<std::string>& arguments) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument.rfind("--", 0) != 0 || argument == "--") {
            return false;
        }
        if (argument == "--json") {
            return true;
        }
        if (valueOption(argument) != nullptr) {
            ++index;
        }
    }
    return false;
}

}  // namespace

CliOptions parseCliOptions(const std::vector<std::string>& arguments) {
    CliOptions options;
    options.json = asksForJson(arguments);
    bool jobsGiven = false;
    bool retriesGiven = false;
    std::size_t index = 0;
    for (; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument.rfind("--", 0) != 0) {
            break;
        }
        if (argument == "--") {
            ++index;
            break;
        }
        std::string value;
        if (const ValueOption* option = valueOption(argument)) {
            if (index + 1 >= arguments.size()) {
                options.error = option->missing;
                return options;
            }
            value = arguments[++index];
        }
        if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--trace") {
            options.trace = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--list-ports") {
            options.listPorts = true;
        } else if (argument == "--check") {
            options.check = value;
        } else if (argument == "--fleet") {
            options.fleet = value;
        } else if (argument == "--check-fleet") {
            options.checkFleet = value;
        } else if (argument == "--expect-sha256") {
            options.expectedSha256 = platform::sha256FromHex(value);
            if (!options.expectedSha256) {
                options.error =
                    "--expect-sha256 takes a SHA-256 as 64 hexadecimal digits, not " + value;
                return options;
            }
        } else if (argument == "--jobs" || argument == "--retries") {
            long number = 0;
            const bool jobs = argument == "--jobs";
            if (!numberValue(argument, value, jobs ? 1 : 0, jobs ? kMostJobs : kMostRetries, number,
                             options)) {
                return options;
            }
            (jobs ? jobsGiven : retriesGiven) = true;
            if (jobs) {
                options.jobs = static_cast<std::size_t>(number);
            } else {
                options.retries = static_cast<int>(number);
            }
        } else {
            options.error = "unknown option " + argument;
            return options;
        }
    }
    if (options.check && index < arguments.size()) {
        options.error = "--check takes no argument text";
        return options;
    }
    if (options.checkFleet && (options.fleet || options.check || index < arguments.size())) {
        options.error = index < arguments.size()
                            ? "--check-fleet takes no argument text: the list holds them"
                            : std::string("--check-fleet and ") +
                                  (options.fleet ? "--fleet" : "--check") + " do not go together";
        return options;
    }
    if (options.fleet && (index < arguments.size() || options.check || options.trace)) {
        options.error = index < arguments.size()
                            ? "--fleet takes no argument text: the list holds them"
                        : options.check ? "--fleet and --check do not go together"
                                        : "--trace shows one upload: run the target alone with it";
        return options;
    }
    if (!options.fleet && (jobsGiven || retriesGiven)) {
        options.error = std::string(jobsGiven ? "--jobs" : "--retries") + " goes with --fleet";
        return options;
    }
    for (std::size_t i = index; i < arguments.size(); ++i) {
        if (i > index) {
            options.argumentText += ' ';
        }
        options.argumentText += arguments[i];
    }
    return options;
}

const char* usageText() {
    return "Usage: vorlanth-cli [OPTIONS] [PATH,LINK,PORT,RATE,FILETYPE,MODE]\n"
           "       vorlanth-cli [--json] [--expect-sha256 HEX] --check PATH[,FILETYPE]\n"
           "       vorlanth-cli [--json] [--jobs N] [--retries N]\n"
           "                    [--expect-sha256 HEX] --fleet FILE\n"
           "       vorlanth-cli [--json] [--expect-sha256 HEX] --check-fleet FILE\n"
           "\n"
           "Loads an application program into a portable data terminal's flash memory.\n"
           "\n"
           "The argument text holds six comma-separated fields (the arguments are joined by\n"
           "single blanks):\n"
           "  PATH,1,COMPORT,RATE,FILETYPE,MODE     RS-232 serial link\n"
           "  PATH,2,COMPORT,RATE,FILETYPE,MODE     serial infrared cradle\n"
           "  PATH,3,ADDRESS,UDPPORT,FILETYPE,MODE  network link (UDP)\n"
           "  RATE      1 = 115200, 2 = 57600, 3 = 38400, 4 = 19200, 5 = 9600 bit/s\n"
           "  FILETYPE  0 = S-record (.SHX), 1 = BASIC (.QBX + .ini), 2 = binary image (.BIN)\n"
           "  MODE      1 = upload at once; 0 = show the settings form first\n"
           "Without an argument text the settings form starts with the saved settings.\n"
           "COM port n is the device named by VORLANTH_COM<n> when set, else /dev/ttyS<n-1>.\n"
           "\n"
           "Options:\n"
           "  --help        show this text and exit\n"
           "  --version     show the version and exit\n"
           "  --list-ports  list the serial ports and the COM numbers that reach them\n"
           "  --trace       show every chunk sent and received, in hex, on stderr\n"
           "  --json        write JSON Lines events on stdout (start, handshake, erase,\n"
           "                transfer, progress, message, warning, stopped, result); start\n"
           "                comes after the program is checked and carries its sha256\n"
           "  --check PATH[,FILETYPE]\n"
           "                check the program file without any link: what would be sent,\n"
           "                its SHA-256, address ranges, the first error with its place,\n"
           "                warnings and the time on the line; FILETYPE from the extension\n"
           "                when not given\n"
           "  --fleet FILE  upload to every terminal in FILE at once: one argument text a\n"
           "                line (MODE 1), blank lines and # comments allowed, - for stdin;\n"
           "                FILE may be a pipe (<(command)), at most 1 MiB, read whole first;\n"
           "                every line is checked first, and a bad one uploads nothing;\n"
           "                ends with a summary (--json: events with \"target\", then \"fleet\")\n"
           "  --check-fleet FILE\n"
           "                check FILE as --fleet does before it uploads (every line, its\n"
           "                program, no terminal twice) and say what each target would get;\n"
           "                nothing is opened or sent (exit 0 good, 2 a bad line)\n"
           "  --jobs N      with --fleet: at most N uploads at once (default: all)\n"
           "  --retries N   with --fleet: retry a failed target N times, each with a fresh\n"
           "                link (default 2)\n"
           "  --expect-sha256 HEX\n"
           "                the SHA-256 the program file must have (64 hex digits): another\n"
           "                is refused before anything is sent (exit 5; --fleet: a bad line);\n"
           "                for an upload, --check and every target of --fleet and\n"
           "                --check-fleet\n"
           "\n"
           "Exit codes: 0 uploaded (or Exit in the form; --check: the file would upload),\n"
           "1 upload failed, 2 command-line error or refused address, 3 program or companion\n"
           "file could not be opened, 4 link could not be opened, 5 the program file is not\n"
           "valid or not the expected SHA-256, 129/130/143 ended by SIGHUP/SIGINT/SIGTERM.\n"
           "--fleet: 0 every target uploaded, 1 one or more did not, 2 the list is not good.\n"
           "--check-fleet: 0 every line is good, 2 the list is not good.\n";
}

}  // namespace vorlanth::ui::console
