// status_command.cpp - entmlst status: which device the tool works on and
// what it holds, looked at out of band (nothing logged, no fault fires).
#include "cli/command_line.h"
#include "device/device_control.h"

#include "devsim.h"

#include <cstdio>
#include <ctime>

namespace entmlst {
namespace {

// "2026-12-06 14:58:34 UTC", or "unknown" for 0.
std::string when(int64_t us) {
    if (us == 0) return "unknown";
    std::time_t t = static_cast<std::time_t>(us / 1000000);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return buf;
}

} // namespace

Json statusJson() {
    devsim::DeviceStatus s = control([] { return devsim::deviceStatus(); });
    Json j{{"device", s.path},
           {"created", when(s.created_us)},
           {"schema_version", s.schema_version},
           {"file_size", s.file_size},
           {"log_entries", s.log_entries},
           {"armed_faults", s.faults},
           {"last_writer_pid", s.last_writer_pid},
           {"created_us", s.created_us}};
    return j;
}

namespace {

int runStatus(const Options &o, const NoArgs &) {
    Json j = statusJson();
    if (o.json) {
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        j.erase("created_us");
        printText(j);
    }
    return 0;
}

} // namespace

void bindStatus(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {}, runStatus);
}

} // namespace entmlst
