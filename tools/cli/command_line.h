// command_line.h - the command table and how a command file fills in its
// commands. The table (command_table.cpp) names every command once with its
// file, what it needs and its bind function; the dispatcher (dispatch.cpp)
// enforces the needs for all of them, and the help, the man page and the
// shell completion are made from it.
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

// What a command needs, as flags; the dispatcher acts on them. The flags of
// what it does with the device (kUsesDevice, kChangesState, kInspects,
// kOpensItself) are device_session.h's.
// A word in front of commands ("job", "fault"), not a command.
inline constexpr unsigned kGroupOfCommands = 1u << 0;
// The simulated device's own: the device build refuses it.
inline constexpr unsigned kSimulatorOnly = 1u << 1;
// Runs another program on a device of its own; its own failures exit 125.
inline constexpr unsigned kRunsProgram = 1u << 6;
static_assert(((kGroupOfCommands | kSimulatorOnly | kRunsProgram) &
               (kUsesDevice | kChangesState | kInspects | kOpensItself)) == 0);

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

} // namespace entmlst
