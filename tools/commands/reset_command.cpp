// reset_command.cpp - entmlst reset: the simulated device back to its
// factory settings.
#include "cli/command_line.h"
#include "device/device_control.h"

#include "cli/result_codes.h"
#include "corvellib.h"
#include "devsim.h"

namespace entmlst {
namespace {

struct ResetArgs {
    bool keep_jobs = false;
};

int runReset(const Options &o, const ResetArgs &a) {
    control([&] { devsim::factoryReset(a.keep_jobs); });
    Json body{{"device", o.device},
              {"settings", "factory"},
              {"jobs", a.keep_jobs ? "kept" : "cleared"},
              {"log", "cleared"},
              {"faults", "cleared"}};
    News none; // the reset is not a service call
    none.seen = false;
    return report(o, body, none, codeText(ENTMLST_OK), ENTMLST_OK);
}

} // namespace

void bindReset(CLI::App &cmd, Chosen &chosen) {
    define<ResetArgs>(
        cmd, chosen,
        [](CLI::App &c, ResetArgs &a) {
            c.add_flag("--keep-jobs", a.keep_jobs, "keep the jobs and their links");
        },
        runReset);
}

} // namespace entmlst
