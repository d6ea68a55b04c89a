// command_line.h - the command table and how a command file fills in its
// commands. The table (command_table.cpp) names every command once with
// what it needs; the dispatcher (main.cpp) enforces that for all of them,
// and the help, the man page and the shell completion are made from it.
// Each command keeps its arguments in an object of its own; the command
// given on the command line leaves its runner behind, and the dispatcher
// runs it once the whole line has been parsed.
#pragma once

#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <span>
#include <string>

namespace entmlst {

using Runner = std::function<int(const Options &)>;

// The runner of the command that was given; empty until parsing chose one.
struct Chosen {
    Runner run;
};

// What a command needs, as flags; the dispatcher acts on them.
enum Needs : unsigned {
    kGroupOfCommands = 1u << 0, // a word in front of commands ("job", "fault"), not a command
    kSimulatorOnly = 1u << 1,   // the simulated device's own: the device build refuses it
    kUsesDevice = 1u << 2,      // reads through the library: a missing device file is created, and said
    kChangesState = 1u << 3,    // writes the device (and creates it): on :memory: nothing persists, said
    kInspects = 1u << 4,        // only looks at the device: a missing device file is refused, never created
    kOpensItself = 1u << 5,     // opens the device file itself (a follower waits through its lock)
    kRunsProgram = 1u << 6,     // runs another program on a device of its own; its own failures exit 125
};

// Declares a command's options on cmd and leaves its runner in chosen.
using BindFn = void (*)(CLI::App &cmd, Chosen &chosen);

struct Command {
    const char *group;   // "job", "fault", or nullptr for a top-level command
    const char *name;    // nullptr: an entry the build leaves out
    const char *summary; // one line, for --help, the man page and the completion
    unsigned needs;
    BindFn bind; // nullptr: refused in this build (a simulator-only command on the device build)
};

std::span<const Command> commands();

// The command's arguments in a fresh Args: bind(cmd, args) declares them,
// run(options, args) does the work once parsing is over.
template <typename Args, typename Bind, typename Run>
void define(CLI::App &cmd, Chosen &chosen, Bind bind, Run run) {
    auto args = std::make_shared<Args>();
    bind(cmd, *args);
    cmd.callback(
        [&chosen, args, run] { chosen.run = [args, run](const Options &o) { return run(o, *args); }; });
}

// A command without arguments of its own.
struct NoArgs {};

// Each command file's commands, as the table names them.
void bindInit(CLI::App &, Chosen &);
void bindSync(CLI::App &, Chosen &);
void bindGroups(CLI::App &, Chosen &);
void bindGet(CLI::App &, Chosen &);
void bindSet(CLI::App &, Chosen &);
void bindJobRead(CLI::App &, Chosen &); // the job read named like the command
void bindJobSendResult(CLI::App &, Chosen &);
void bindJobAttach(CLI::App &, Chosen &);
void bindExport(CLI::App &, Chosen &);
void bindImport(CLI::App &, Chosen &);
void bindDiff(CLI::App &, Chosen &);
void bindSchema(CLI::App &, Chosen &);
// The simulated device's own.
void bindStatus(CLI::App &, Chosen &);
void bindCheck(CLI::App &, Chosen &);
void bindReset(CLI::App &, Chosen &);
void bindLog(CLI::App &, Chosen &);
void bindFaultAdd(CLI::App &, Chosen &);
void bindFaultList(CLI::App &, Chosen &);
void bindFaultClear(CLI::App &, Chosen &);
void bindJobCreate(CLI::App &, Chosen &);
void bindJobLink(CLI::App &, Chosen &);
void bindJobList(CLI::App &, Chosen &);
void bindJobShow(CLI::App &, Chosen &);
void bindJobDelete(CLI::App &, Chosen &);
void bindRun(CLI::App &, Chosen &);

} // namespace entmlst
