// entmlst - reads and writes the device's mail settings and job values
// through libcorvellib: on the device itself, or on a PC against a
// simulated device kept in a file.
#include "cli/command_line.h"
#include "cli/usage_error.h"
#include "document/record_fields.h"

#include <CLI/CLI.hpp>

#include <cstdio>

using namespace entmlst;

int main(int argc, char **argv) {
    CLI::App app{"entmlst - mail settings and job values of the device, through libcorvellib"};
    app.require_subcommand(1);
    app.fallthrough();

    // The global options; every subcommand keeps its own arguments.
    std::string device;
    bool json = false;
    std::vector<std::string> fail_args;
    app.add_option("--device", device,
                   "simulated device file, or :memory: (default: $ENTMLST_DEVICE, else "
                   "$XDG_DATA_HOME/entmlst/device.db or ~/.local/share/entmlst/device.db)");
    app.add_flag("--json", json, "print JSON");
    app.add_option("--fail", fail_args,
                   "SERVICE[#N]=CODE: the Nth call (default 1) of SERVICE this command makes answers CODE "
                   "(simulated device)")
        ->allow_extra_args(false);

    Chosen chosen;
    registerDeviceCommands(app, chosen);
    registerSettingCommands(app, chosen);
    registerJobCommands(app, chosen);
    registerLogCommand(app, chosen);
    registerFaultCommands(app, chosen);
    registerResetCommand(app, chosen);
    registerCheckCommand(app, chosen);
    registerBackupCommands(app, chosen);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) // --help
            return app.exit(e);
        std::fprintf(stderr, "entmlst: %s (see --help)\n", e.what());
        return kExitUsage;
    }

    try {
        Options o;
        o.json = json;
        for (const auto &text : fail_args) o.faults.push_back(parseFault(text));
        o.device = devicePath(device);
        return chosen.run(o);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return kExitUsage;
    } catch (const DeviceFileError &e) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return kExitDeviceFile;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return 1;
    }
}
