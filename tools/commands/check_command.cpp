// check_command.cpp - entmlst check: damage in the simulated device's file
// (its pages, values that fail their checksums, the device's rules), found
// before it misleads a test.
#include "cli/command_line.h"
#include "device/device_control.h"

#include "devsim.h"

#include <cstdio>

namespace entmlst {
namespace {

int runCheck(const Options &o, const NoArgs &) {
    const std::vector<std::string> problems = control([] { return devsim::checkDevice(); });
    if (o.json) {
        std::printf("%s\n", Json{{"device", o.device}, {"problems", problems}}.dump(2).c_str());
    } else {
        for (const std::string &p : problems) std::printf("%s\n", p.c_str());
        if (problems.empty()) std::printf("ok\n");
    }
    return problems.empty() ? 0 : 1;
}

} // namespace

void bindCheck(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {}, runCheck);
}

} // namespace entmlst
