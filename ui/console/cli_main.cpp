#include <cstdio>
#include <string>

#include "common/session.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "settings/settings_file.h"
#include "shell/main_loop.h"
#include "ui/console/console_front_end.h"

// vorlanth-cli: the loader for scripts and terminals. The argument text is the program's
// arguments joined by single blanks.
int main(int argc, char** argv) {
    std::string argumentText;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            argumentText += ' ';
        }
        argumentText += argv[i];
    }
    auto platform = vorlanth::platform::makeSystemPlatform();
    vorlanth::ui::console::ConsoleFrontEnd frontEnd(stderr,
                                                    vorlanth::platform::standardInputIsTerminal(),
                                                    vorlanth::platform::standardErrorIsTerminal());
    vorlanth::Session session(*platform, frontEnd);
    vorlanth::settings::readEnvironmentFlag(session);
    if (!vorlanth::shell::applyStartupSettings(session, argumentText)) {
        return session.exitCode;
    }
    vorlanth::shell::runMainLoop(session);
    return session.exitCode;
}
