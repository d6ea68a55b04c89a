// command_line.h - how a command file adds its subcommands. Each subcommand
// keeps its arguments in an object of its own; the one subcommand given on
// the command line leaves its runner behind, and main() runs it after the
// whole line has been parsed and the global options are known.
#pragma once

#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>

namespace entmlst {

using Runner = std::function<int(const Options &)>;

// The runner of the subcommand that was given; empty until parsing chose one.
struct Chosen {
    Runner run;
};

// Adds subcommand `name` to `parent`. `bind(cmd, args)` declares its options
// into a fresh Args; `run(options, args)` does the work once parsing is over.
template <typename Args, typename Bind, typename Run>
CLI::App *addCommand(CLI::App &parent, Chosen &chosen, const std::string &name, const std::string &help,
                     Bind bind, Run run) {
    auto args = std::make_shared<Args>();
    CLI::App *cmd = parent.add_subcommand(name, help);
    bind(*cmd, *args);
    cmd->callback(
        [&chosen, args, run] { chosen.run = [args, run](const Options &o) { return run(o, *args); }; });
    return cmd;
}

// A subcommand without arguments of its own.
struct NoArgs {};

// Each command file registers its own subcommands.
void registerDeviceCommands(CLI::App &app, Chosen &chosen);  // init, sync
void registerSettingCommands(CLI::App &app, Chosen &chosen); // groups, get, set
void registerJobCommands(CLI::App &app, Chosen &chosen);     // job ...
// The simulated device's own commands; the device build refuses them.
void registerLogCommand(CLI::App &app, Chosen &chosen);     // log
void registerFaultCommands(CLI::App &app, Chosen &chosen);  // fault add|list|clear
void registerResetCommand(CLI::App &app, Chosen &chosen);   // reset
void registerCheckCommand(CLI::App &app, Chosen &chosen);   // check
void registerBackupCommands(CLI::App &app, Chosen &chosen); // export, import, diff, schema

} // namespace entmlst
