// fault_commands.cpp - entmlst fault add|list|clear: faults kept with the
// simulated device, so that they fire in whichever program makes the call.
#include "cli/command_line.h"
#include "device/device_control.h"

#include "base/errors.h"
#include "devsim.h"
#include "document/values.h"

#include <cinttypes>
#include <cstdio>
#include <optional>

namespace entmlst {
namespace {

// The options of fault add, each a key of the fault's text.
struct KeyOption {
    const char *key;
    const char *option;
    const char *value;
    const char *help;
};
constexpr KeyOption kKeyOptions[] = {
    {"times", "--times", "N", "fail N matching calls in a row (default 1)"},
    {"match", "--match", "X",
     "only calls for this settings, job or value ID: a number or a field (smtp.port, smtp-event.2.name)"},
    {"pid", "--pid", "PID", "only calls from this process"},
    {"program", "--program", "NAME", "only calls from this program (its name as ps shows it)"},
    {"probability", "--probability", "PERCENT",
     "fail each matching call with this probability until cleared (not with #N)"},
    {"seed", "--seed", "N", "seed of --probability, to repeat a run (default: a new one, shown)"},
};

struct AddArgs {
    std::string fault;
    bool write_first = false;
    std::optional<std::string> values[std::size(kKeyOptions)];
};

struct ClearArgs {
    std::optional<std::string> id;
};

// True when the fault's text gives key itself ("times=2", "write-first").
bool givesKey(const std::string &spec, std::string_view key) {
    std::size_t at = spec.find(',');
    while (at != std::string::npos) {
        std::size_t end = spec.find(',', at + 1);
        std::string_view item =
            std::string_view(spec).substr(at + 1, end == std::string::npos ? end : end - at - 1);
        if (item.substr(0, item.find('=')) == key) return true;
        at = end;
    }
    return false;
}

// The fault's text with the options' keys added: one text, read once.
devsim::FaultSpec specOf(const AddArgs &a) {
    std::string text = a.fault;
    auto add = [&](std::string_view key, const char *option, const std::optional<std::string> &value) {
        if (givesKey(a.fault, key))
            throw UsageError(std::string("fault add: ") + option + " and " + std::string(key) +
                             " in the fault's text: give it once");
        text += ',';
        text += key;
        if (value) {
            text += '=';
            text += *value;
        }
    };
    for (std::size_t i = 0; i < std::size(kKeyOptions); ++i)
        if (a.values[i]) add(kKeyOptions[i].key, kKeyOptions[i].option, a.values[i]);
    if (a.write_first) add("write-first", "--write-first", std::nullopt);
    return faultSpec(text);
}

bool isSpent(const devsim::FaultInfo &f) { return f.percent == 0 && f.calls_left == 0; }

} // namespace

devsim::FaultSpec faultSpec(const std::string &text) {
    try {
        return devsim::parseFaultSpec(text);
    } catch (const std::invalid_argument &e) {
        throw UsageError(std::string("fault add ").append(printable(text)).append(": ").append(e.what()));
    }
}

Json faultJson(const devsim::FaultInfo &f) {
    const devsim::FaultSpec &s = f.spec;
    const bool random = f.percent > 0;
    Json j{{"id", f.id},
           {"fault", devsim::faultSpecText(s)},
           {"service", devsim::serviceName(f.service)},
           {"code", f.code},
           {"times", s.times},
           {"match", s.match ? Json(*s.match) : Json()},
           {"pid", s.pid ? Json(*s.pid) : Json()},
           {"program", s.program.empty() ? Json() : Json(s.program)},
           {"write_first", f.write_first},
           {"probability", random ? Json(f.percent) : Json()},
           {"seed", random ? Json(f.seed) : Json()},
           {"hits", f.fired},
           {"spent", isSpent(f)},
           {"calls_left", random ? Json() : Json(f.calls_left)}};
    return j;
}

namespace {

// "3  meSTCGetStatus#2=0x55,times=2  hits 2, spent".
std::string faultLine(const devsim::FaultInfo &f) {
    std::string line =
        std::to_string(f.id) + "  " + devsim::faultSpecText(f.spec) + "  hits " + std::to_string(f.fired);
    if (f.spec.match)
        for (const std::string &name : devsim::settingNames(*f.spec.match))
            line.append(", match ").append(name);
    if (f.percent > 0 && !f.spec.seed) line.append(", seed ").append(std::to_string(f.seed));
    if (isSpent(f)) line += ", spent";
    return line;
}

int runAdd(const Options &o, const AddArgs &a) {
    const devsim::FaultSpec spec = specOf(a);
    DeviceSession dev(o.device);
    const uint64_t id = control([&] { return devsim::addFault(spec); });
    auto all = control([] { return devsim::faults(); });
    for (const auto &f : all) {
        if (f.id != id) continue;
        if (o.json)
            std::printf("%s\n", faultJson(f).dump(2).c_str());
        else
            std::printf("armed: %s\n", faultLine(f).c_str());
    }
    return kExitOk;
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
    return kExitOk;
}

int runClear(const Options &o, const ClearArgs &a) {
    const std::optional<uint64_t> id =
        a.id ? std::optional(parseUnsigned("fault ID", *a.id, UINT64_MAX, 1)) : std::nullopt;
    DeviceSession dev(o.device);
    auto n = control([&]() -> std::size_t {
        if (id) return devsim::clearFault(*id) ? 1 : 0;
        std::size_t armed = devsim::faults().size();
        devsim::clearFaults();
        return armed;
    });
    if (id && n == 0) {
        std::fprintf(stderr, "entmlst: fault clear: no fault %" PRIu64 " (fault list shows them)\n", *id);
        return kExitFailed;
    }
    if (o.json)
        std::printf("%s\n", Json{{"cleared", n}}.dump(2).c_str());
    else
        std::printf("cleared: %zu\n", n);
    return kExitOk;
}

} // namespace

void bindFaultAdd(CLI::App &cmd, Chosen &chosen) {
    define<AddArgs>(
        cmd, chosen,
        [](CLI::App &c, AddArgs &a) {
            c.add_option("fault", a.fault,
                         "SERVICE[#N]=CODE[,times=N][,match=X][,pid=P][,program=NAME][,write-first]"
                         "[,probability=P][,seed=S]: the Nth matching call (default the next) answers CODE")
                ->required()
                ->type_name("SPEC");
            for (std::size_t i = 0; i < std::size(kKeyOptions); ++i)
                c.add_option(kKeyOptions[i].option, a.values[i], kKeyOptions[i].help)
                    ->type_name(kKeyOptions[i].value);
            c.add_flag("--write-first", a.write_first, "the service does its work, then answers CODE");
        },
        runAdd);
}

void bindFaultList(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {}, runList);
}

void bindFaultClear(CLI::App &cmd, Chosen &chosen) {
    define<ClearArgs>(
        cmd, chosen,
        [](CLI::App &c, ClearArgs &a) {
            c.add_option("id", a.id, "the fault to disarm (default: every fault)")->type_name("ID");
        },
        runClear);
}

} // namespace entmlst
