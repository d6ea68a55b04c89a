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
    simulatorOnly("reset");
    DeviceSession dev(o.device);
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

void registerResetCommand(CLI::App &app, Chosen &chosen) {
    addCommand<ResetArgs>(
        app, chosen, "reset",
        "put the simulated device back to factory settings; clear its jobs, log and faults",
        [](CLI::App &cmd, ResetArgs &a) {
            cmd.add_flag("--keep-jobs", a.keep_jobs, "keep the jobs and their links");
        },
        runReset);
}

} // namespace entmlst
