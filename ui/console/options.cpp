#include "ui/console/options.h"

namespace vorlanth::ui::console {

CliOptions parseCliOptions(const std::vector<std::string>& arguments) {
    CliOptions options;
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
            if (index + 1 >= arguments.size()) {
                options.error = "--check needs a program file: --check PATH[,FILETYPE]";
                return options;
            }
            options.check = arguments[++index];
        } else {
            options.error = "unknown option " + argument;
            return options;
        }
    }
    if (options.check && index < arguments.size()) {
        options.error = "--check takes no argument text";
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
           "       vorlanth-cli [--json] --check PATH[,FILETYPE]\n"
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
           "                transfer, progress, message, warning, stopped, result)\n"
           "  --check PATH[,FILETYPE]\n"
           "                check the program file without any link: what would be sent,\n"
           "                address ranges, the first error with its place, warnings and the\n"
           "                time on the line; FILETYPE from the extension when not given\n"
           "\n"
           "Exit codes: 0 uploaded (or Exit in the form; --check: the file would upload),\n"
           "1 upload failed, 2 command-line error or refused address, 3 program or companion\n"
           "file could not be opened, 4 link could not be opened, 5 the program file is not\n"
           "valid, 129/130/143 ended by SIGHUP/SIGINT/SIGTERM.\n";
}

}  // namespace vorlanth::ui::console
