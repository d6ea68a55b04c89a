// help_pages.cpp - the version, the man page and the bash completion, from
// the command line the table built.
#include "cli/help_pages.h"

#include "base/errors.h"
#include "base/escaped.h"
#include "device/device_session.h"
#include "document/setting_groups.h"

#include <functional>
#include <vector>

namespace entmlst {
namespace {

using Apps = std::vector<const CLI::App *>;

Apps subcommandsOf(const CLI::App &app) {
    return app.get_subcommands([](const CLI::App *) { return true; });
}

// Every command that runs, with its path from the top: "job ip".
void eachCommand(const CLI::App &app, const std::string &path,
                 const std::function<void(const std::string &, const CLI::App &)> &fn) {
    for (const CLI::App *s : subcommandsOf(app)) {
        std::string p = path.empty() ? s->get_name() : path + " " + s->get_name();
        if (subcommandsOf(*s).empty())
            fn(p, *s);
        else
            eachCommand(*s, p, fn);
    }
}

std::vector<const CLI::Option *> ownOptions(const CLI::App &app) {
    std::vector<const CLI::Option *> out;
    for (const CLI::Option *o : app.get_options())
        if (o->get_name() != "--help") out.push_back(o);
    return out;
}

bool takesValue(const CLI::Option &o) { return o.get_items_expected_min() > 0; }

// Text for roff: no line may start with a control character, and a minus
// is a hyphen only when escaped.
std::string roff(const std::string &text) {
    std::string out = escaped(text, {{'\\', "\\e"}, {'-', "\\-"}});
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string optionSynopsis(const CLI::Option &o) {
    if (o.get_positional()) {
        const std::string name = o.get_type_name().empty() ? o.get_name() : o.get_type_name();
        const std::string word = "\\fI" + roff(name) + "\\fR" + (o.get_expected_max() > 1 ? "..." : "");
        return o.get_required() ? word : "[" + word + "]";
    }
    std::string s = "\\fB" + roff(o.get_name(false, true)) + "\\fR";
    if (takesValue(o)) s += " \\fI" + roff(o.get_type_name()) + "\\fR";
    return s;
}

void manOptions(std::string &page, const CLI::App &app) {
    for (const CLI::Option *o : ownOptions(app)) {
        page += ".TP\n" + optionSynopsis(*o) + "\n" + roff(o->get_description()) + "\n";
    }
}

} // namespace

std::string versionText(const std::string &device) {
    return std::string("entmlst ") + ENTMLST_VERSION + "\nlibrary " + ENTMLST_LIBRARY_SONAME +
           "\ndevice schema " + deviceSchema(device) + "\n";
}

std::string manPage(const CLI::App &app) {
    std::string page = ".TH ENTMLST 1 \"\" \"corvellib " ENTMLST_VERSION "\" \"User Commands\"\n";
    page += ".SH NAME\nentmlst \\- " +
            roff(app.get_description().substr(app.get_description().find(" - ") + 3)) + "\n";
    page += ".SH SYNOPSIS\n.B entmlst\n[\\fIglobal options\\fR] \\fIcommand\\fR [\\fIarguments\\fR]\n"
            ".br\n.B entmlst help\n[\\fIcommand\\fR]\n.br\n.B entmlst \\-\\-version\n";
    page += ".SH DESCRIPTION\nentmlst reads and writes the device's mail settings and job values through "
            "libcorvellib. On a PC it works on a simulated device kept in one file, shared with every "
            "program linked with libdevsim.\n";
    page += ".SH GLOBAL OPTIONS\nGiven before or after the command.\n";
    manOptions(page, app);
    page += ".SH COMMANDS\n";
    eachCommand(app, "", [&](const std::string &path, const CLI::App &cmd) {
        page += ".SS \"" + roff(path) + "\"\n" + roff(cmd.get_description()) + "\n";
        std::string synopsis;
        for (const CLI::Option *o : ownOptions(cmd))
            if (o->get_positional()) synopsis += " " + optionSynopsis(*o);
        page += ".PP\n\\fBentmlst " + roff(path) + "\\fR" + synopsis + "\n";
        manOptions(page, cmd);
        if (!cmd.get_footer().empty()) page += ".PP\n" + roff(cmd.get_footer()) + "\n";
    });
    page +=
        ".SH TRACES\n\\fBentmlst run \\-\\-trace\\fR and \\fBentmlst log \\-\\-trace\\fR write the service "
        "calls of a program as text that is the same in every run of the same single-threaded program, "
        "on any machine: one line per call, in the order the device received them,\n.PP\n"
        ".nf\nSERVICE(ARGUMENT, ...) = RESULT\nSERVICE(ARGUMENT, ...) \\-> ANSWER = RESULT\n.fi\n.PP\n"
        "An argument is a number in hex; a settings ID is shown by its field names (joined by | where "
        "groups share it), a job value ID by its name. Where the call moved a value, NAME=VALUE gives "
        "it as get and job show print it (a password as \\(dq********\\(dq: the log never holds one in "
        "clear). A link call's answer follows \\->; a monitor line follows the arguments in "
        "quotes, escaped as in the log. Pointers, pids, times and log numbers are left out. RESULT is "
        "the service's answer in hex. For example:\n.PP\n.nf\n"
        "meSTCGetStatus(0x4050300, smtp.port=25) = 0x0\n"
        "meSTCSetStatus(0x7302, 0x4050300, smtp.port=587) = 0x0\n"
        "mscMLRPTChgSMTPProtocol(0x0) = 0x0\n.fi\n";
    page += ".SH EXIT STATUS\n";
    for (const ExitStatus &s : kExitStatuses)
        page += ".TP\n.B " + std::to_string(s.status) + "\n" + roff(s.meaning) + "\n";
    page += ".PP\n\\fBentmlst run\\fR exits with the program's status (128+N when signal N ended it), or:\n";
    for (const ExitStatus &s : kRunExitStatuses)
        page += ".TP\n.B " + std::to_string(s.status) + "\n" + roff(s.meaning) + "\n";
    page += ".PP\nEvery failure prints one line on standard error, starting with \"entmlst:\"; "
            "the report stays on standard output.\n";
    page += ".SH ENVIRONMENT\n.TP\n.B ENTMLST_DEVICE\nThe simulated device file, or :memory:. "
            "Unset: $XDG_DATA_HOME/entmlst/device.db, else ~/.local/share/entmlst/device.db. "
            "Empty is an error.\n";
    page += ".SH EXAMPLES\n.nf\nentmlst init\nentmlst get smtp\nentmlst set smtp port=587 "
            "server=mail.example\nentmlst export \\-o backup.json\nentmlst diff backup.json\n"
            "entmlst run \\-\\-fault meSTCSetStatus=0x77 \\-\\- ./app\n"
            "entmlst fault add meSTCGetStatus#2=0x1234,match=smtp.port,times=3 \\-\\-program app\n"
            "entmlst log \\-\\-follow \\-\\-until 'notify mscMLRPTChgSMTPProtocol' \\-\\-timeout 5\n.fi\n";
    page += ".SH SEE ALSO\nThe examples under share/doc/corvellib/examples.\n";
    return page;
}

std::string bashCompletion(const CLI::App &app) {
    std::string s = "# bash completion for entmlst, made by entmlst --help-completion\n"
                    "_entmlst() {\n"
                    "    local cur=${COMP_WORDS[COMP_CWORD]} path='' args=() i w words=''\n"
                    "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                    "        w=${COMP_WORDS[i]}\n"
                    "        case $w in\n";
    // Options that take a value: the next word is theirs.
    std::string valued;
    auto addValued = [&](const CLI::App &a) {
        for (const CLI::Option *o : ownOptions(a))
            if (!o->get_positional() && takesValue(*o))
                for (const std::string &n : o->get_lnames())
                    if (valued.find("--" + n + "|") == std::string::npos) valued += "--" + n + "|";
    };
    addValued(app);
    eachCommand(app, "", [&](const std::string &, const CLI::App &cmd) { addValued(cmd); });
    s += "        " + valued +
         "-o) ((i++)) ;;\n"
         "        -*) ;;\n"
         "        *) case \"$path $w\" in\n";
    std::function<void(const CLI::App &, const std::string &)> paths = [&](const CLI::App &a,
                                                                           const std::string &path) {
        for (const CLI::App *sub : subcommandsOf(a)) {
            std::string p = path.empty() ? sub->get_name() : path + " " + sub->get_name();
            s += "            \"" + std::string(path) + " " + sub->get_name() + "\") path='" + p + "' ;;\n";
            paths(*sub, p);
        }
    };
    paths(app, "");
    s += "            *) args+=(\"$w\") ;;\n"
         "            esac ;;\n"
         "        esac\n"
         "    done\n";
    std::string group_names, writable, fields;
    for (const Group &g : groups()) {
        group_names += std::string(group_names.empty() ? "" : " ") + g.name;
        if (g.set) writable += std::string(writable.empty() ? "" : " ") + g.name;
        std::string names;
        for (const Field &f : expand(g.members)) names += (names.empty() ? "" : " ") + f.name + "=";
        fields += "        " + std::string(g.name) + ") words='" + names + "' ;;\n";
    }
    std::string globals;
    for (const CLI::Option *o : ownOptions(app)) globals += " " + o->get_name();
    s += "    if [[ $cur == -* ]]; then\n        case $path in\n";
    eachCommand(app, "", [&](const std::string &path, const CLI::App &cmd) {
        std::string names;
        for (const CLI::Option *o : ownOptions(cmd))
            if (!o->get_positional())
                for (const std::string &n : o->get_lnames()) names += " --" + n;
        s += "        '" + path + "') words='" + names.substr(names.empty() ? 0 : 1) + "' ;;\n";
    });
    s += "        esac\n        words=\"$words" + globals + " --help\"\n";
    s += "    else\n        case $path in\n";
    std::function<void(const CLI::App &, const std::string &)> nexts = [&](const CLI::App &a,
                                                                           const std::string &path) {
        auto subs = subcommandsOf(a);
        if (!subs.empty()) {
            std::string names;
            for (const CLI::App *sub : subs) names += (names.empty() ? "" : " ") + sub->get_name();
            s += "        '" + path + "') words='" + names + (path.empty() ? " help" : "") + "' ;;\n";
            for (const CLI::App *sub : subs)
                nexts(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name());
        }
    };
    nexts(app, "");
    s += "        get) ((${#args[@]} == 0)) && words='" + group_names + "' ;;\n";
    s += "        set) if ((${#args[@]} == 0)); then words='" + writable +
         "'; else\n        case ${args[0]} in\n" + fields + "        esac; fi ;;\n";
    s += "        export | import | diff) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    s += "        esac\n    fi\n"
         "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "    [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null\n"
         "}\n"
         "complete -F _entmlst entmlst\n";
    return s;
}

} // namespace entmlst
