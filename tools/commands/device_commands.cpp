// device_commands.cpp - init and sync.
#include "cli/command_line.h"

#include "cli/result_codes.h"
#include "corvellib.h"

namespace entmlst {
namespace {

// Runs one library call under the command's faults and reports it.
template <typename Call>
int runCall(const Options &o, Json body, Call call) {
    DeviceSession dev(o.device);
    dev.begin(o.faults);
    uint32_t code = call();
    News news = dev.finish();
    dev.commit();
    return report(o, std::move(body), news, codeText(code), code);
}

int runInit(const Options &o, uint32_t area) {
    return runCall(o, Json{{"area", area}}, [&] { return entMLSTInit(area); });
}

int runSync(const Options &o) {
    return runCall(o, Json::object(), [] { return entMLSTSyncMe(); });
}

struct InitArgs {
    std::string area = "0";
};

} // namespace

void registerDeviceCommands(CLI::App &app, Chosen &chosen) {
    addCommand<InitArgs>(
        app, chosen, "init", "start-up: set up the ID service, send every notification once",
        [](CLI::App &cmd, InitArgs &a) { cmd.add_option("--area", a.area, "destination area"); },
        [](const Options &o, const InitArgs &a) { return runInit(o, parseNumber("--area", a.area)); });
    addCommand<NoArgs>(
        app, chosen, "sync", "wait until the ID service is synchronised", [](CLI::App &, NoArgs &) {},
        [](const Options &o, const NoArgs &) { return runSync(o); });
}

} // namespace entmlst
