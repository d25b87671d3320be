// vorlanth-termsim: a virtual data terminal for the loader's tests and benchmarks.
#include "options.h"
#include "posix_ports.h"
#include "runner.h"

#include <iostream>

// Parses the command line and runs the terminal.
int main(int argc, char** argv) {
    using namespace vorlanth::termsim;
    ensureStandardStreams();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(arguments);
    if (!parsed.error.empty()) {
        std::cerr << "vorlanth-termsim: " << parsed.error << "\n(--help lists the options)\n";
        return kExitUsage;
    }
    if (parsed.options.help) {
        std::cout << usageText();
        return 0;
    }
    if (parsed.options.version) {
        std::cout << "vorlanth-termsim " << TERMSIM_VERSION << "\n";
        return 0;
    }
    return runTerminal(parsed.options, std::cout, std::cerr);
}
