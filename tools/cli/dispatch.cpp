// dispatch.cpp - the dispatcher: builds the command line from the command
// table, enforces what each command needs and runs it.
#include "cli/dispatch.h"

#include "base/errors.h"
#include "cli/command_line.h"
#include "cli/global_options.h"
#include "cli/help_pages.h"
#include "edit_distance.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace entmlst {
namespace {

constexpr bool kSimulated = ENTMLST_SIMULATED;

[[noreturn]] void notOnTheDevice(const std::string &what) {
    throw UsageError(what + ": not available on the device build");
}

std::string exitStatusText(std::span<const ExitStatus> statuses = kExitStatuses) {
    std::string text = "Exit status:\n";
    for (const ExitStatus &s : statuses) text += "  " + std::to_string(s.status) + "  " + s.meaning + "\n";
    return text;
}

// A command that runs a program exits with the program's status, or its own.
std::string runExitStatusText() {
    return exitStatusText(kRunExitStatuses) +
           "  any other: PROGRAM's own exit status, 128+N when signal N ended it\n";
}

// The command line, made from the table; which App is which command.
struct Line {
    CLI::App app{"entmlst - mail settings and job values of the device, through libcorvellib", "entmlst"};
    Globals globals;
    Chosen chosen;
    std::map<const CLI::App *, const Command *> command_of;
    std::map<const CLI::App *, std::string> own_footer; // what a command's help says of it alone
};

bool refusedHere(const Command &c) {
    return (c.bind == nullptr && !(c.needs & kGroupOfCommands)) ||
           (!kSimulated && (c.needs & kSimulatorOnly));
}

// Makes the command line from the table: every command for help and the
// pages made from it, else only the commands on path, with the options of
// the last. A run needs no more, and making them all is a good part of a
// short run.
void build(Line &line, const std::vector<const Command *> &path, bool everything) {
    CLI::App &app = line.app;
    app.require_subcommand(1);
    app.fallthrough();
    addGlobals(app, line.globals);
    // Every command's help ends in the options and statuses it shares; a
    // command that runs a program takes none of the global options.
    const std::string common = globalOptionsText(app) + exitStatusText();
    app.footer(exitStatusText());
    std::map<std::string, CLI::App *> groups;
    for (const Command &c : commands()) {
        if (c.name == nullptr) continue;
        const bool on_path = std::find(path.begin(), path.end(), &c) != path.end();
        if (!everything && !on_path) continue;
        CLI::App *parent = &app;
        if (c.group != nullptr) {
            auto g = groups.find(c.group);
            if (g == groups.end()) continue; // under a group this build refuses
            parent = g->second;
        }
        CLI::App *cmd = parent->add_subcommand(c.name, c.summary ? c.summary : "");
        cmd->footer(""); // not the parent's
        line.command_of[cmd] = &c;
        if (refusedHere(c)) {
            // Whatever follows, one line: the command is the simulated device's.
            cmd->allow_extras();
            cmd->fallthrough(false);
            cmd->description(cmd->get_description() + " (not on the device build)");
        } else if (c.needs & kGroupOfCommands) {
            cmd->require_subcommand(1);
            groups[c.name] = cmd;
        } else if (everything || &c == path.back()) {
            c.bind(*cmd, line.chosen);
        }
        const std::string own = cmd->get_footer(),
                          shared = c.needs & kRunsProgram ? runExitStatusText() : common;
        cmd->footer(own.empty() ? shared : own + "\n\n" + shared);
        line.own_footer[cmd] = own;
    }
}

// The command that was given: the deepest one parsed.
const Command *givenCommand(const Line &line) {
    const Command *found = nullptr;
    for (const auto &[app, c] : line.command_of)
        if (app->parsed() && (found == nullptr || c->group != nullptr)) found = c;
    return found;
}

std::string commandName(const Command &c) {
    return c.group ? std::string(c.group) + " " + c.name : std::string(c.name);
}

// The command of group (nullptr: a top-level one) that word names, else
// nullptr and in closest the name nearest to it, if one is near.
const Command *commandNamed(const std::string &word, const char *group, std::string &closest) {
    const Command *named = nullptr;
    std::size_t best_distance = 3;
    for (const Command &c : commands()) {
        if (c.name == nullptr || (c.group == nullptr) != (group == nullptr) ||
            (group != nullptr && std::strcmp(c.group, group) != 0))
            continue;
        if (word == c.name) named = &c;
        std::size_t d = corvel::registry::editDistance(word, c.name);
        if (d < best_distance || std::string(c.name).rfind(word, 0) == 0) {
            best_distance = std::min(d, best_distance);
            closest = c.name;
        }
    }
    return named;
}

// The commands the words name, from the table, before CLI11 sees them: a
// mistyped one gets the message people know, "'x' is not an entmlst
// command", with the closest one when there is one.
std::vector<const Command *> commandPath(const std::vector<std::string> &words) {
    std::vector<const Command *> path;
    std::string said = "entmlst";
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &w = words[i];
        if (w == "--") break;
        if (!w.empty() && w[0] == '-') {
            // A global option's value is not a command word.
            if (takesNextWord(w) && path.empty()) ++i;
            continue;
        }
        const char *group = path.empty() ? nullptr : path.back()->name;
        if (!path.empty() && (!(path.back()->needs & kGroupOfCommands) || refusedHere(*path.back())))
            break; // the command's own arguments
        std::string closest;
        const Command *next = commandNamed(w, group, closest);
        if (next == nullptr) {
            std::string message = "'" + w + "' is not an " + said + " command. See '" + said + " --help'.";
            if (!closest.empty()) message += " Did you mean '" + closest + "'?";
            throw UsageError(message);
        }
        path.push_back(next);
        said += " " + w;
    }
    return path;
}

// Answers the words that stand alone after the global options: --version,
// --help-man and --help-completion. False for any other line.
bool answeredAlone(const std::vector<std::string> &words, int &status) {
    const std::size_t first = leadingGlobals(words);
    if (first + 1 != words.size()) return false;
    const std::string &word = words[first];
    std::string text;
    if (word == "--version") {
        const std::string device = leadingValue(words, first, kDeviceOption);
        if (!kSimulated && !device.empty()) notOnTheDevice(kDeviceOption.name);
        text = versionText(device);
    } else if (word == "--help-man" || word == "--help-completion") {
        Line line;
        build(line, {}, true);
        text = word == "--help-man" ? manPage(line.app, line.own_footer) : bashCompletion(line.app);
    } else {
        return false;
    }
    std::fputs(text.c_str(), stdout);
    status = 0;
    return true;
}

// The command and the global options given; what this build and the
// command refuse of them.
void checkAllowed(const Line &line, const Command &c) {
    if (!kSimulated) {
        if (c.needs & kSimulatorOnly) notOnTheDevice(commandName(c));
        for (const GlobalOption *g : kGlobalOptions)
            if (g->simulated_only && given(line.app, *g)) notOnTheDevice(g->name);
    }
    if ((c.needs & kRunsProgram) && given(line.app, kFailOption))
        throw UsageError(commandName(c) + ": " + kFailOption.name + " is for entmlst's own calls, and " +
                         commandName(c) + " makes none; give --fault for the program's");
}

} // namespace

int dispatch(int argc, char **argv, bool &runs_program) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (int status = 0; answeredAlone(words, status)) return status;
    // "entmlst help [COMMAND...]" is "entmlst [COMMAND...] --help".
    if (const std::size_t first = leadingGlobals(words); first < words.size() && words[first] == "help") {
        words.erase(words.begin() + static_cast<std::ptrdiff_t>(first));
        words.push_back("--help");
    }
    if (words.empty()) throw UsageError("give a command. See 'entmlst --help'.");
    const std::vector<const Command *> path = commandPath(words);
    runs_program = !path.empty() && (path.back()->needs & kRunsProgram);
    // Words after "--" are another program's.
    const auto own_end = std::find(words.begin(), words.end(), "--");
    const bool help = std::find_if(words.begin(), own_end, [](const std::string &w) {
                          return w == "--help" || w == "-h";
                      }) != own_end;
    Line line;
    build(line, path, help || path.empty());

    try {
        std::vector<std::string> reversed(words.rbegin(), words.rend());
        line.app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) return line.app.exit(e); // --help
        throw UsageError(std::string(e.what()) + " (see --help)");
    }
    const Command *c = givenCommand(line);
    if (c == nullptr) throw UsageError("give a command. See 'entmlst --help'.");
    checkAllowed(line, *c);
    Options o;
    o.json = line.globals.json;
    if (c->needs & (kUsesDevice | kChangesState | kInspects)) openDevice(o, line.globals.device, c->needs);
    return line.chosen.run(o);
}

} // namespace entmlst
