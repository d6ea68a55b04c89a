// report.cpp - one way of printing every command's outcome.
#include "cli/commands.h"

#include "cli/result_codes.h"
#include "corvellib.h"

#include <algorithm>
#include <cstdio>

namespace entmlst {
namespace {

std::string scalar(const Json &v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

// A report's own keys read as words ("not written"): its top level and its
// lists, however deep (import's per-record lists). Other keys inside it are
// names the user types (fields), shown as they are.
std::string label(const std::string &key, bool words) {
    std::string out = key;
    if (words) std::replace(out.begin(), out.end(), '_', ' ');
    return out;
}

void printBody(const Json &body, const std::string &indent, bool words) {
    for (const auto &[key, value] : body.items()) {
        const std::string name = label(key, words || value.is_array());
        if (value.is_object()) {
            std::printf("%s%s:\n", indent.c_str(), name.c_str());
            printBody(value, indent + "  ", false);
        } else if (value.is_array()) {
            if (!value.empty() && value.front().is_object()) {
                // A list of records: a line each, never JSON inside text.
                std::printf("%s%s:\n", indent.c_str(), name.c_str());
                for (const auto &v : value) {
                    std::string line;
                    for (const auto &[k, x] : v.items())
                        line.append(line.empty() ? "" : ", ").append(k).append(": ").append(scalar(x));
                    std::printf("%s  - %s\n", indent.c_str(), line.c_str());
                }
                continue;
            }
            std::string list;
            for (const auto &v : value) {
                // Appended piece by piece: " " + string trips GCC 12's -Wrestrict.
                list += ' ';
                list += scalar(v);
            }
            std::printf("%s%s:%s\n", indent.c_str(), name.c_str(), list.empty() ? " (none)" : list.c_str());
        } else {
            std::printf("%s%-18s %s\n", indent.c_str(), (name + ":").c_str(), value.dump().c_str());
        }
    }
}

} // namespace

void printText(const Json &body) { printBody(body, "", true); }

int report(const Options &o, Json body, const News &news, const std::string &code_text, uint32_t code) {
    if (o.json) {
        if (news.seen) {
            body["notifications"] = news.notifications;
            body["diagnostics"] = news.diagnostics;
        }
        body["result"] = codeJson(code_text, code);
        std::printf("%s\n", body.dump(2).c_str());
    } else {
        printText(body);
        for (const auto &n : news.notifications) std::printf("notified: %s\n", n.c_str());
        for (const auto &d : news.diagnostics) std::printf("monitor: %s\n", d.c_str());
        std::printf("result: %s\n", code_text.c_str());
    }
    if (code == ENTMLST_OK) return kExitOk;
    if (std::string why = storageFailure(); !why.empty()) throw DeviceFileError(why);
    std::fprintf(stderr, "entmlst: the library answered %s\n", code_text.c_str());
    return kExitFailed;
}

} // namespace entmlst
