// help_pages.cpp - the version, the man page and the bash completion, from
// the command line the table built.
#include "cli/help_pages.h"

#include "base/errors.h"
#include "base/escaped.h"
#include "device/device_session.h"
#include "document/setting_groups.h"

#include <functional>
#include <map>
#include <set>
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

std::string manPage(const CLI::App &app, const std::map<const CLI::App *, std::string> &own_footer) {
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
        if (auto own = own_footer.find(&cmd); own != own_footer.end() && !own->second.empty())
            page += ".PP\n" + roff(own->second) + "\n";
    });
    page += kManFormats;
    page += ".SH EXIT STATUS\n";
    for (const ExitStatus &s : kExitStatuses)
        page += ".TP\n.B " + std::to_string(s.status) + "\n" + roff(s.meaning) + "\n";
    page += ".PP\n\\fBentmlst run\\fR exits with the program's status (128+N when signal N ended it), or:\n";
    for (const ExitStatus &s : kRunExitStatuses)
        page += ".TP\n.B " + std::to_string(s.status) + "\n" + roff(s.meaning) + "\n";
    page += ".PP\nEvery failure prints one line on standard error, starting with \"entmlst:\"; "
            "the report stays on standard output.\n";
    page += kManEnvironment;
    page += ".SH EXAMPLES\n.nf\nentmlst init\nentmlst get smtp\nentmlst set smtp port=587 "
            "server=mail.example\nentmlst export \\-o backup.json\nentmlst diff backup.json\n"
            "entmlst run \\-\\-fault meSTCSetStatus=0x77 \\-\\- ./app\n"
            "entmlst fault add meSTCGetStatus#2=0x1234,match=smtp.port,times=3 \\-\\-program app\n"
            "entmlst log \\-\\-follow \\-\\-until 'notify mscMLRPTChgSMTPProtocol' \\-\\-timeout 5\n.fi\n";
    page += ".SH SEE ALSO\nThe examples under share/doc/corvellib/examples, and the tests of a program "
            "against the simulated device under share/doc/corvellib/examples/testing.\n";
    return page;
}

namespace {

std::string joined(const std::vector<std::string> &words, const std::string &suffix = "") {
    std::string out;
    for (const std::string &w : words) out += (out.empty() ? "" : " ") + w + suffix;
    return out;
}

// What the completion offers for a value, by the name the help gives its
// type: a shell action, or the words to offer. A value of any other type
// is the user's own, and nothing is offered for it.
std::string valueAction(const std::string &type, bool positional) {
    if (type == "FILE" || type == "FILE.json" || type == "DIR")
        return "COMPREPLY=($(compgen -f -- \"$cur\")); return";
    if (type == "PROGRAM") return "COMPREPLY=($(compgen -c -- \"$cur\")); return";
    if (type == "SERVICE") return "words='" + joined(deviceWords(DeviceWords::services)) + "'";
    if (type == "SPEC") return "words='" + joined(deviceWords(DeviceWords::services), "=") + "'";
    if (type == "NAME=VALUE") return "words='" + joined(deviceWords(DeviceWords::job_values), "=") + "'";
    if (type == "X") return "words='" + joined(deviceWords(DeviceWords::setting_names)) + "'";
    if (type == "KIND" && !positional) return "words='" + joined(deviceWords(DeviceWords::log_kinds)) + "'";
    return "";
}

} // namespace

std::string bashCompletion(const CLI::App &app) {
    std::string s =
        "# bash completion for entmlst, made by entmlst --help-completion\n"
        "_entmlst() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} path='' args=() "
        "i w words='' t\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        w=${COMP_WORDS[i]}\n"
        "        case $w in\n";
    // Options that take a value, by what the value is: the next word is theirs.
    std::map<std::string, std::string> valued; // type -> "--a|--b"
    auto addValued = [&](const CLI::App &a) {
        for (const CLI::Option *o : ownOptions(a)) {
            if (o->get_positional() || !takesValue(*o)) continue;
            std::string &names = valued[o->get_type_name()];
            for (const std::string &n : o->get_lnames())
                if (("|" + names + "|").find("|--" + n + "|") == std::string::npos)
                    names += (names.empty() ? "--" : "|--") + n;
            for (const std::string &n : o->get_snames())
                if (("|" + names + "|").find("|-" + n + "|") == std::string::npos)
                    names += (names.empty() ? "-" : "|-") + n;
        }
    };
    addValued(app);
    eachCommand(app, "", [&](const std::string &, const CLI::App &cmd) { addValued(cmd); });
    std::string all_valued;
    for (const auto &[type, names] : valued) all_valued += (all_valued.empty() ? "" : "|") + names;
    s += "        " + all_valued +
         ") ((i++)) ;;\n"
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
    // The value of the option before the cursor.
    s += "    case $prev in\n";
    for (const auto &[type, names] : valued) {
        const std::string action = valueAction(type, false);
        s += "    " + names + ") " + (action.empty() ? "return" : action) + " ;;\n";
    }
    s += "    *)\n";
    std::string group_names, writable, fields;
    for (const Group &g : groups()) {
        group_names += std::string(group_names.empty() ? "" : " ") + g.name;
        if (g.set) writable += std::string(writable.empty() ? "" : " ") + g.name;
        std::string names;
        for (const Field &f : expand(g.members)) names += (names.empty() ? "" : " ") + f.name + "=";
        fields += "            " + std::string(g.name) + ") words='" + names + "' ;;\n";
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
    // A command's positional values, in order, the last one repeating when
    // it takes several: the one at the cursor is the argument it would be.
    std::set<std::string> positional_types;
    eachCommand(app, "", [&](const std::string &path, const CLI::App &cmd) {
        std::vector<std::string> types;
        bool repeats = false;
        for (const CLI::Option *o : ownOptions(cmd))
            if (o->get_positional()) {
                types.push_back(o->get_type_name().empty() ? "-" : o->get_type_name());
                repeats = o->get_expected_max() > 1;
            }
        if (types.empty()) return;
        positional_types.insert(types.begin(), types.end());
        s += "        '" + path + "') t=(" + joined(types) + ")\n            t=${t[" +
             (repeats ? "$((${#args[@]} < ${#t[@]} ? ${#args[@]} : ${#t[@]} - 1))" : "${#args[@]}") +
             "]}\n            case $t in\n";
        if (path == "get") s += "            GROUP) words='" + group_names + "' ;;\n";
        if (path == "set")
            s += "            GROUP) words='" + writable +
                 "' ;;\n            FIELD=VALUE) case ${args[0]} in\n" + fields + "            esac ;;\n";
        for (const std::string &type : types)
            if (const std::string action = valueAction(type, true); !action.empty())
                s += "            " + type + ") " + action + " ;;\n";
        s += "            esac ;;\n";
    });
    s += "        esac\n    fi ;;\n    esac\n"
         "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "    [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null\n"
         "}\n"
         "complete -F _entmlst entmlst\n";
    return s;
}

} // namespace entmlst
