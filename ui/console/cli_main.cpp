// vorlanth-cli's entry point: options, then a single upload, --check, --fleet, --check-fleet or
// --list-ports.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/port_list.h"
#include "platform/stop_request.h"
#include "platform/terminal.h"
#include "settings/settings_file.h"
#include "shell/main_loop.h"
#include "shell/session.h"
#include "ui/console/check_report.h"
#include "ui/console/console_front_end.h"
#include "ui/console/fleet_command.h"
#include "ui/console/json_events.h"
#include "ui/console/options.h"
#include "ui/console/trace_printer.h"
#include "vorlanth/version.h"

namespace {

int listPorts() {
    const auto ports = vorlanth::platform::listSerialPorts();
    if (ports.empty()) {
        std::printf("No serial ports found.\n");
    }
    for (const auto& port : ports) {
        if (port.comNumber > 0) {
            std::printf("%-40s COM %-3d  %s\n", port.device.c_str(), port.comNumber,
                        port.description.c_str());
        } else {
            std::printf("%-40s set VORLANTH_COM<n>=%s and pass COM n  %s\n", port.device.c_str(),
                        port.device.c_str(), port.description.c_str());
        }
    }
    return 0;
}

}  // namespace

// vorlanth-cli: the loader for scripts and terminals. SIGINT, SIGTERM and SIGHUP (Ctrl+C,
// Ctrl+Break, a closed console) end the run through its normal close path, with the exit code
// the shell gives a stop (the signal's number above 128); SIGPIPE is ignored, so a reader of its
// output that goes away never ends an upload.
int main(int argc, char** argv) {
    using namespace vorlanth;
    platform::ensureStandardStreams();
    platform::installStopHandlers();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ui::console::CliOptions options = ui::console::parseCliOptions(arguments);
    if (!options.error.empty()) {
        std::fprintf(stderr, "vorlanth: %s\n%s", options.error.c_str(), ui::console::usageText());
        if (options.json) {
            ui::console::JsonEventWriter(stdout).usageError(options.error);
        }
        return exit_code::kCommandLineError;
    }
    if (options.help) {
        std::fputs(ui::console::usageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("vorlanth-cli %.*s (build %.*s)\n", static_cast<int>(kVersion.size()),
                    kVersion.data(), static_cast<int>(kBuildId.size()), kBuildId.data());
        return 0;
    }
    if (options.listPorts) {
        return listPorts();
    }

    auto platform = platform::makeSystemPlatform();
    if (options.check) {
        return ui::console::runCheck(*options.check, {options.json, options.expectedSha256},
                                     *platform, stdout, stderr);
    }
    if (options.checkFleet) {
        return ui::console::runFleetCheck(
            {*options.checkFleet, 0, 0, options.json, options.expectedSha256}, *platform, stdout,
            stderr);
    }
    if (options.fleet) {
        const ui::console::FleetOptions fleet{*options.fleet, options.jobs, options.retries,
                                              options.json, options.expectedSha256};
        const int rows =
            platform::standardErrorTakesCursorMoves() ? platform::standardErrorRows() : 0;
        return ui::console::runFleetCommand(fleet, *platform, platform::makeSystemPlatform, stdout,
                                            stderr, rows);
    }
    std::unique_ptr<ui::console::JsonEventWriter> json;
    if (options.json) {
        json = std::make_unique<ui::console::JsonEventWriter>(stdout);
    }
    ui::console::ConsoleFrontEnd frontEnd(stderr, platform::standardInputIsTerminal(),
                                          platform::standardErrorIsTerminal(), platform->clock(),
                                          json.get());
    Session session(*platform, frontEnd);
    session.expectedSha256 = options.expectedSha256;
    ui::console::TracePrinter trace(stderr);
    if (options.trace) {
        session.wireObserver = &trace;
    }
    settings::readEnvironmentFlag(session);
    if (shell::applyStartupSettings(session, options.argumentText)) {
        if (json) {
            // Written once the check pass has the program's digest (or before anything else).
            json->start(session.settings);
        }
        shell::runMainLoop(session);
    }
    if (const int signal = shell::settleStop(session); signal != 0) {
        frontEnd.reportStop(platform::stopSignalName(signal));
    }
    if (json) {
        json->result(session.exitCode);
    }
    return session.exitCode;
}
