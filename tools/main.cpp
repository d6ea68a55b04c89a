// entmlst - reads and writes the device's mail settings and job values
// through libcorvellib: on the device itself, or on a PC against a
// simulated device kept in a file.
//
// The dispatcher: builds the command line from the command table, enforces
// what each command needs, and turns every failure into its exit status
// and one line on standard error.
#include "cli/command_line.h"
#include "cli/help_pages.h"
#include "cli/usage_error.h"
#include "edit_distance.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

using namespace entmlst;

namespace {

constexpr bool kSimulated = ENTMLST_SIMULATED;

[[noreturn]] void notOnTheDevice(const std::string &what) {
    throw UsageError(what + ": not available on the device build");
}

// The global options: before the command or after it, and listed in every
// command's help.
struct Globals {
    DeviceOptions device;
    bool json = false;
};

void addGlobals(CLI::App &app, Globals &g) {
    app.add_option("--device", g.device.device,
                   "simulated device file, or :memory: (default: $ENTMLST_DEVICE, else "
                   "$XDG_DATA_HOME/entmlst/device.db or ~/.local/share/entmlst/device.db)")
        ->type_name("FILE");
    app.add_flag("--json", g.json, "print JSON");
    app.add_option("--fail", g.device.fails,
                   "the Nth matching call (default 1) of SERVICE this command makes answers CODE; SPEC as "
                   "fault add takes it (simulated device)")
        ->type_name("SPEC")
        ->allow_extra_args(false);
}

// The global options, for the help of every command.
std::string globalOptionsText(const CLI::App &app) {
    std::string text = "Global options:\n";
    for (const CLI::Option *opt : app.get_options()) {
        if (opt->get_name() == "--help") continue;
        std::string name = opt->get_name() + (opt->get_type_name().empty() ? "" : " " + opt->get_type_name());
        text += "  " + name + std::string(name.size() < 28 ? 28 - name.size() : 1, ' ') +
                opt->get_description() + "\n";
    }
    return text + "\n";
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
    const std::string text = globalOptionsText(app) + exitStatusText();
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
        cmd->footer(c.needs & kRunsProgram ? globalOptionsText(app) + runExitStatusText() : text);
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
    }
}

// The command that was given: the deepest one parsed.
const Command *given(const Line &line) {
    const Command *found = nullptr;
    for (const auto &[app, c] : line.command_of)
        if (app->parsed() && (found == nullptr || c->group != nullptr)) found = c;
    return found;
}

std::string commandName(const Command &c) {
    return c.group ? std::string(c.group) + " " + c.name : std::string(c.name);
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
            if ((w == "--device" || w == "--fail") && path.empty()) ++i;
            continue;
        }
        const char *group = path.empty() ? nullptr : path.back()->name;
        if (!path.empty() && (!(path.back()->needs & kGroupOfCommands) || refusedHere(*path.back())))
            break; // the command's own arguments
        const Command *next = nullptr;
        std::string best;
        std::size_t best_distance = 3;
        for (const Command &c : commands()) {
            if (c.name == nullptr || (c.group == nullptr) != (group == nullptr) ||
                (group != nullptr && std::strcmp(c.group, group) != 0))
                continue;
            if (w == c.name) next = &c;
            std::size_t d = corvel::registry::editDistance(w, c.name);
            if (d < best_distance || std::string(c.name).rfind(w, 0) == 0) {
                best_distance = std::min(d, best_distance);
                best = c.name;
            }
        }
        if (next == nullptr) {
            std::string message = "'" + w + "' is not an " + said + " command. See '" + said + " --help'.";
            if (!best.empty()) message += " Did you mean '" + best + "'?";
            throw UsageError(message);
        }
        path.push_back(next);
        said += " " + w;
    }
    return path;
}

// Everything the program prints goes through stdio: flushed and checked
// once at the end, so that lost output never exits 0.
int flushed(int status) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return status;
    // A write that failed earlier left only the stream's error flag.
    std::fprintf(stderr, "entmlst: cannot write standard output%s%s\n", flushed ? "" : ": ",
                 flushed ? "" : std::strerror(errno));
    return kExitOutput;
}

// runs_program: set once the words name a command that runs a program, whose
// own failures then exit 125.
int dispatch(int argc, char **argv, bool &runs_program) {
    Line line;
    std::vector<std::string> words(argv + 1, argv + argc);
    // The first word that is not a global option: a command, or one of the
    // program's own words.
    std::size_t first = 0;
    while (first < words.size()) {
        const std::string &w = words[first];
        if (w == "--device" || w == "--fail")
            first += 2;
        else if (w == "--json" || w.rfind("--device=", 0) == 0 || w.rfind("--fail=", 0) == 0)
            ++first;
        else
            break;
    }
    const std::string word = first < words.size() ? words[first] : "";
    const bool alone = first + 1 == words.size();
    if (alone && word == "--version") {
        std::string device;
        for (std::size_t i = 0; i < first; ++i)
            if (words[i] == "--device" && i + 1 < first)
                device = words[i + 1];
            else if (words[i].rfind("--device=", 0) == 0)
                device = words[i].substr(9);
        if (!kSimulated && !device.empty()) notOnTheDevice("--device");
        return std::fputs(versionText(device).c_str(), stdout), 0;
    }
    if (alone && (word == "--help-man" || word == "--help-completion")) {
        build(line, {}, true);
        const std::string text = word == "--help-man" ? manPage(line.app) : bashCompletion(line.app);
        return std::fputs(text.c_str(), stdout), 0;
    }
    // "entmlst help [COMMAND...]" is "entmlst [COMMAND...] --help".
    if (word == "help") {
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
    build(line, path, help || path.empty());

    try {
        std::vector<std::string> reversed(words.rbegin(), words.rend());
        line.app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) return line.app.exit(e); // --help
        throw UsageError(std::string(e.what()) + " (see --help)");
    }
    const Command *c = given(line);
    if (c == nullptr) throw UsageError("give a command. See 'entmlst --help'.");
    if (!kSimulated) {
        if (c->needs & kSimulatorOnly) notOnTheDevice(commandName(*c));
        if (!line.globals.device.device.empty()) notOnTheDevice("--device");
        if (!line.globals.device.fails.empty()) notOnTheDevice("--fail");
    }
    if ((c->needs & kRunsProgram) && !line.globals.device.fails.empty())
        throw UsageError(commandName(*c) + ": --fail is for entmlst's own calls, and " + commandName(*c) +
                         " makes none; give --fault for the program's");
    Options o;
    o.json = line.globals.json;
    if (c->needs & (kUsesDevice | kChangesState | kInspects)) openDevice(o, line.globals.device, c->needs);
    return line.chosen.run(o);
}

} // namespace

int main(int argc, char **argv) {
    int status = kExitFailed;
    bool runs_program = false;
    // The statuses below 125 are the program's when a command runs one.
    auto failed = [&](const std::exception &e, int own) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return runs_program ? kExitRunFailed : own;
    };
    try {
        status = dispatch(argc, argv, runs_program);
    } catch (const UsageError &e) {
        status = failed(e, kExitUsage);
    } catch (const DeviceFileError &e) {
        status = failed(e, kExitDeviceFile);
    } catch (const OutputError &e) {
        status = failed(e, kExitOutput);
    } catch (const std::exception &e) {
        status = failed(e, kExitFailed);
    }
    return flushed(status);
}
