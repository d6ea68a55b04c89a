// fault_commands.cpp - entmlst fault add|list|clear: faults kept with the
// simulated device, so that they fire in whichever program makes the call.
#include "cli/command_line.h"
#include "device/device_control.h"

#include "cli/usage_error.h"
#include "devsim.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>

namespace entmlst {
namespace {

struct AddArgs {
    std::string fault;
    bool write_first = false;
    std::optional<std::string> probability;
    std::optional<std::string> seed;
};

// A percentage: "10", "0.5" or "10%", more than 0 and at most 100.
double parsePercent(const std::string &text) {
    std::string number = !text.empty() && text.back() == '%' ? text.substr(0, text.size() - 1) : text;
    char *end = nullptr;
    double p = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || !(p > 0) || p > 100)
        throw UsageError("--probability " + text + ": give a percentage above 0 and at most 100");
    return p;
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%" PRIx32, v);
    return buf;
}

// "meSTCSetStatus#2=0x1234" as given to fault add.
std::string spelling(const devsim::FaultInfo &f) {
    std::string s = devsim::serviceName(f.service);
    if (f.percent == 0 && f.calls_left != 1) {
        s += '#';
        s += std::to_string(f.calls_left);
    }
    s += '=';
    s += hex(f.code);
    return s;
}

Json faultJson(const devsim::FaultInfo &f) {
    Json j{{"id", f.id},
           {"fault", spelling(f)},
           {"service", devsim::serviceName(f.service)},
           {"code", f.code},
           {"write_first", f.write_first}};
    if (f.percent > 0) {
        j["probability"] = f.percent;
        j["seed"] = f.seed;
        j["fired"] = f.fired;
    } else {
        j["calls_left"] = f.calls_left;
    }
    return j;
}

std::string faultLine(const devsim::FaultInfo &f) {
    std::string line = std::to_string(f.id) + "  " + spelling(f);
    if (f.percent > 0) {
        char p[32];
        std::snprintf(p, sizeof p, "%g", f.percent);
        line += std::string("  probability ") + p + "% seed " + std::to_string(f.seed) + ", fired " +
                std::to_string(f.fired) + " times";
    }
    return line + (f.write_first ? "  write-first" : "");
}

int runAdd(const Options &o, const AddArgs &a) {
    ArmedFault f = parseFault(a.fault, "fault add");
    const bool random = a.probability.has_value();
    if (random && f.nth_given)
        throw UsageError("fault add " + a.fault + ": give either #N or --probability, not both");
    if (!random && a.seed) throw UsageError("--seed goes with --probability");
    const double percent = random ? parsePercent(*a.probability) : 0;
    const uint64_t seed = a.seed   ? parseUnsigned("--seed", *a.seed, UINT64_MAX)
                          : random ? std::random_device{}()
                                   : 0;
    const devsim::Service s = *devsim::serviceByName(f.service);

    DeviceSession dev(o.device);
    control([&] {
        if (random)
            devsim::failRandomly(s, percent, seed, f.code, a.write_first);
        else
            devsim::failCall(s, f.nth, f.code, a.write_first);
    });
    auto all = control([] { return devsim::faults(); });
    if (o.json)
        std::printf("%s\n", faultJson(all.back()).dump(2).c_str());
    else
        std::printf("armed: %s\n", faultLine(all.back()).c_str());
    return 0;
}

int runList(const Options &o, const NoArgs &) {
    DeviceSession dev(o.device);
    auto all = control([] { return devsim::faults(); });
    if (o.json) {
        Json list = Json::array();
        for (const auto &f : all) list.push_back(faultJson(f));
        std::printf("%s\n", list.dump(2).c_str());
    } else {
        for (const auto &f : all) std::printf("%s\n", faultLine(f).c_str());
    }
    return 0;
}

int runClear(const Options &o, const NoArgs &) {
    DeviceSession dev(o.device);
    auto n = control([] {
        std::size_t armed = devsim::faults().size();
        devsim::clearFaults();
        return armed;
    });
    if (o.json)
        std::printf("%s\n", Json{{"cleared", n}}.dump(2).c_str());
    else
        std::printf("cleared: %zu\n", n);
    return 0;
}

} // namespace

void bindFaultAdd(CLI::App &cmd, Chosen &chosen) {
    define<AddArgs>(
        cmd, chosen,
        [](CLI::App &c, AddArgs &a) {
            c.add_option("fault", a.fault, "SERVICE[#N]=CODE")->required()->type_name("SERVICE[#N]=CODE");
            c.add_flag("--write-first", a.write_first, "the service does its work, then answers CODE");
            c.add_option("--probability", a.probability,
                         "fire on each matching call with this probability (percent) until cleared")
                ->type_name("PERCENT");
            c.add_option("--seed", a.seed, "seed of --probability, to repeat a run")->type_name("N");
        },
        runAdd);
}

void bindFaultList(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {}, runList);
}

void bindFaultClear(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {}, runClear);
}

} // namespace entmlst
