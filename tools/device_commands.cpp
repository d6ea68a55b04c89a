// device_commands.cpp - init, sync and log.
#include "commands.h"

#include "corvellib.h"
#include "result_codes.h"

#include <cstdio>

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

} // namespace

int runInit(const Options &o, uint32_t area) {
    return runCall(o, Json{{"area", area}}, [&] { return entMLSTInit(area); });
}

int runSync(const Options &o) {
    return runCall(o, Json::object(), [] { return entMLSTSyncMe(); });
}

int runLog(const Options &o) {
    simulatorOnly("log");
    DeviceSession dev(o.device);
    auto lines = dev.log();
    if (o.json)
        std::printf("%s\n", Json(lines).dump(2).c_str());
    else
        for (const auto &l : lines)
            std::printf("%s\n", l.c_str());
    return 0;
}

} // namespace entmlst
