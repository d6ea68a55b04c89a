// device_commands.cpp - init and sync.
#include "cli/command_line.h"

#include "cli/result_codes.h"
#include "corvellib.h"
#include "document/values.h"

namespace entmlst {
namespace {

// Runs one library call under the command's faults and reports it.
template <typename Call>
int runCall(const Options &o, Json body, Call call) {
    DeviceSession dev(o.device);
    dev.begin(o.faults);
    uint32_t code = call();
    News news = dev.finish();
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

void bindInit(CLI::App &cmd, Chosen &chosen) {
    define<InitArgs>(
        cmd, chosen,
        [](CLI::App &c, InitArgs &a) { c.add_option("--area", a.area, "destination area")->type_name("N"); },
        [](const Options &o, const InitArgs &a) { return runInit(o, parseNumber("--area", a.area)); });
}

void bindSync(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {},
        [](const Options &o, const NoArgs &) { return runSync(o); });
}

} // namespace entmlst
