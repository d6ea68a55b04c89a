// report.cpp - one way of printing every command's outcome.
#include "cli/commands.h"

#include "cli/result_codes.h"
#include "corvellib.h"

#include <cstdio>

namespace entmlst {
namespace {

void printBody(const Json &body, const std::string &indent) {
    for (const auto &[key, value] : body.items()) {
        if (value.is_object()) {
            std::printf("%s%s:\n", indent.c_str(), key.c_str());
            printBody(value, indent + "  ");
        } else if (value.is_array()) {
            std::string list;
            for (const auto &v : value) {
                // Appended piece by piece: " " + string trips GCC 12's -Wrestrict.
                list += ' ';
                list += v.is_string() ? v.get<std::string>() : v.dump();
            }
            std::printf("%s%s:%s\n", indent.c_str(), key.c_str(), list.empty() ? " (none)" : list.c_str());
        } else {
            std::printf("%s%-18s %s\n", indent.c_str(), (key + ":").c_str(), value.dump().c_str());
        }
    }
}

} // namespace

int report(const Options &o, Json body, const News &news, const std::string &code_text, uint32_t code) {
    if (o.json) {
        if (news.seen) {
            body["notifications"] = news.notifications;
            body["diagnostics"] = news.diagnostics;
        }
        body["result"] = codeJson(code_text, code);
        std::printf("%s\n", body.dump(2).c_str());
    } else {
        printBody(body, "");
        for (const auto &n : news.notifications) std::printf("notified: %s\n", n.c_str());
        for (const auto &d : news.diagnostics) std::printf("monitor: %s\n", d.c_str());
        std::printf("result: %s\n", code_text.c_str());
    }
    std::fflush(stdout);
    return code == ENTMLST_OK ? 0 : 1;
}

} // namespace entmlst
