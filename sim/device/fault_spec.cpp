// fault_spec.cpp - a fault in one line of text, read and written back:
// SERVICE[#N]=CODE followed by comma-separated keys.
#include "devsim_device.h"
#include "edit_distance.h"
#include "store/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace devsim {
namespace {

[[noreturn]] void bad(std::string_view part, std::string_view why) {
    throw std::invalid_argument(cat({part, ": ", why}));
}

// A number in decimal or with 0x in hex, at most max; nullopt for anything else.
std::optional<uint64_t> number(std::string_view text, uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || v > max) return std::nullopt;
    return v;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits (insert, delete, change) between two names, ignoring case.
std::size_t distance(std::string_view a, std::string_view b) {
    return corvel::registry::editDistance(lower(a), lower(b));
}

// "unknown service "X"", with the services whose names are close to it.
[[noreturn]] void unknownService(std::string_view name) {
    std::string close;
    for (std::size_t i = 0; i < kServiceCount; ++i) {
        std::string_view known = serviceName(static_cast<Service>(i));
        bool near = distance(name, known) <= 3 ||
                    (name.size() >= 4 && lower(known).find(lower(name)) != std::string::npos);
        if (near) close += cat({close.empty() ? "" : ", ", known});
    }
    bad(cat({"\"", name, "\""}),
        close.empty() ? "unknown service" : cat({"unknown service (did you mean ", close, "?)"}));
}

// The keys that may follow SERVICE[#N]=CODE, in the order they are written back.
constexpr std::string_view kKeys[] = {"times",       "match",       "pid", "program",
                                      "write-first", "probability", "seed"};

std::string keyList() {
    std::string out;
    for (std::string_view k : kKeys) out += cat({out.empty() ? "" : ", ", k});
    return out;
}

std::string shortest(double v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc{} ? std::string(buf, end) : std::to_string(v);
}

} // namespace

FaultSpec parseFaultSpec(std::string_view text) {
    FaultSpec spec;
    std::string_view head = text.substr(0, text.find(','));
    std::size_t eq = head.find('=');
    if (eq == std::string_view::npos) bad(head, "give SERVICE[#N]=CODE");
    std::string_view service = head.substr(0, eq);
    std::optional<std::string_view> nth;
    if (std::size_t hash = service.find('#'); hash != std::string_view::npos) {
        nth = service.substr(hash + 1);
        service = service.substr(0, hash);
    }
    auto s = serviceByName(std::string(service));
    if (!s) unknownService(service);
    spec.service = *s;
    if (nth) {
        auto n = number(*nth, UINT32_MAX);
        if (!n) bad(cat({"#", *nth}), "give the call's number, counted from 1");
        if (*n == 0) bad("#0", "calls are counted from 1");
        spec.nth = static_cast<unsigned>(*n);
    }
    std::string_view code = head.substr(eq + 1);
    auto c = number(code, UINT32_MAX);
    if (!c) bad(cat({"code ", code.empty() ? "\"\"" : code}), "give a 32-bit number (decimal or 0x hex)");
    spec.code = static_cast<uint32_t>(*c);

    std::vector<std::string_view> seen;
    std::string_view rest = text.substr(head.size());
    while (!rest.empty()) {
        rest.remove_prefix(1); // the comma
        std::string_view item = rest.substr(0, rest.find(','));
        rest.remove_prefix(item.size());
        std::size_t at = item.find('=');
        std::string_view key = item.substr(0, at);
        std::optional<std::string_view> value;
        if (at != std::string_view::npos) value = item.substr(at + 1);
        if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys))
            bad(cat({"\"", item, "\""}), cat({"unknown key (keys: ", keyList(), ")"}));
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) bad(key, "given twice");
        seen.push_back(key);
        if (key == "write-first") {
            if (value) bad(item, "write-first takes no value");
            spec.write_first = true;
            continue;
        }
        if (!value || value->empty()) bad(item, cat({"give ", key, "=VALUE"}));
        if (key == "times") {
            auto n = number(*value, UINT32_MAX);
            if (!n || *n == 0) bad(item, "give how many calls in a row fail, 1 or more");
            spec.times = static_cast<unsigned>(*n);
        } else if (key == "match") {
            auto id = number(*value, UINT32_MAX);
            const bool field = !id && value->find('.') != std::string_view::npos;
            if (field) id = settingByName(*value);
            if (!id)
                bad(item,
                    "give a settings, job or value ID, or a field such as smtp.port or smtp-event.2.name");
            if (idArguments(spec.service) == 0)
                bad(item, cat({serviceName(spec.service), " takes no ID to match"}));
            // A field names a settings ID, which only a settings call carries.
            if (field && settingsArguments(spec.service) == 0)
                bad(item, cat({serviceName(spec.service), " takes no settings ID: give a job or value ID"}));
            spec.match = static_cast<uint32_t>(*id);
        } else if (key == "pid") {
            auto pid = number(*value, INT32_MAX);
            if (!pid || *pid == 0) bad(item, "give a process ID");
            spec.pid = static_cast<int32_t>(*pid);
        } else if (key == "program") {
            spec.program = std::string(*value);
        } else if (key == "probability") {
            std::string percent(value->substr(0, value->size() - (value->back() == '%' ? 1 : 0)));
            char *end = nullptr;
            double p = std::strtod(percent.c_str(), &end);
            if (percent.empty() || *end != '\0' || !(p > 0) || p > 100)
                bad(item, "give a percentage above 0 and at most 100");
            spec.percent = p;
        } else if (key == "seed") {
            auto seed = number(*value, UINT64_MAX);
            if (!seed) bad(item, "give a 64-bit number");
            spec.seed = *seed;
        }
    }
    if (spec.seed && spec.percent == 0) bad("seed", "goes with probability");
    if (spec.percent > 0 && nth)
        bad(cat({"#", *nth}), "a fault fires on the Nth call or with a probability, not both");
    if (spec.percent > 0 && spec.times != 1) bad("times", "a fault with a probability fires until cleared");
    return spec;
}

std::string faultSpecText(const FaultSpec &spec) {
    std::string out = serviceName(spec.service);
    if (spec.nth != 1) out += cat({"#", std::to_string(spec.nth)});
    out += cat({"=", hex(spec.code)});
    if (spec.times != 1) out += cat({",times=", std::to_string(spec.times)});
    if (spec.match) out += cat({",match=", hex(*spec.match)});
    if (spec.pid) out += cat({",pid=", std::to_string(*spec.pid)});
    if (!spec.program.empty()) out += cat({",program=", spec.program});
    if (spec.write_first) out += ",write-first";
    if (spec.percent > 0) out += cat({",probability=", shortest(spec.percent)});
    if (spec.seed) out += cat({",seed=", std::to_string(*spec.seed)});
    return out;
}

} // namespace devsim
