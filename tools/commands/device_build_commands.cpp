// device_build_commands.cpp - the simulated device's own commands on the
// device build: each refuses in one line, whatever follows it.
#include "cli/command_line.h"

namespace entmlst {
namespace {

struct Anything {
    std::vector<std::string> words;
};

void refusing(CLI::App &app, Chosen &chosen, const char *name, const char *help) {
    addCommand<Anything>(
        app, chosen, name, help,
        [](CLI::App &cmd, Anything &a) {
            cmd.add_option("words", a.words);
            cmd.allow_extras();
            cmd.fallthrough(false);
        },
        [name](const Options &, const Anything &) -> int {
            simulatorOnly(name);
            return 0;
        });
}

} // namespace

void registerLogCommand(CLI::App &app, Chosen &chosen) {
    refusing(app, chosen, "log", "what the simulated device received (not on the device build)");
}
void registerFaultCommands(CLI::App &app, Chosen &chosen) {
    refusing(app, chosen, "fault", "faults kept with the simulated device (not on the device build)");
}
void registerResetCommand(CLI::App &app, Chosen &chosen) {
    refusing(app, chosen, "reset", "factory settings of the simulated device (not on the device build)");
}
void registerCheckCommand(CLI::App &app, Chosen &chosen) {
    refusing(app, chosen, "check", "the simulated device's file and rules (not on the device build)");
}

} // namespace entmlst
