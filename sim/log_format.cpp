// log_format.cpp - the device's log entries as lines of text.
#include "device.h"

#include <ctime>

namespace devsim {
namespace {

std::string withoutNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string joined(const std::vector<uint64_t> &args, bool as_hex) {
    std::string out;
    for (uint64_t a : args) out += (out.empty() ? "" : ",") + (as_hex ? hex(a) : std::to_string(a));
    return out;
}

} // namespace

const char *logKindName(LogKind k) {
    switch (k) {
    case LogKind::call:
        return "call";
    case LogKind::notification:
        return "notify";
    case LogKind::monitor:
        return "monitor";
    case LogKind::fault:
        return "fault";
    case LogKind::violation:
        return "violation";
    case LogKind::device:
        return "device";
    case LogKind::note:
        return "note";
    }
    return "?";
}

std::string eventLine(const LogEntry &e) {
    if (e.kind == LogKind::notification && e.done)
        return "notify " + std::string(serviceName(e.service)) + "(" + joined(e.args, false) + ")";
    if (e.kind == LogKind::monitor) return "monitor(" + joined(e.args, true) + ") " + withoutNewline(e.text);
    if (e.kind == LogKind::note) return e.text;
    return {};
}

std::string formatLogEntry(const LogEntry &e) {
    char when[64] = "-";
    if (e.time_us != 0) {
        time_t secs = static_cast<time_t>(e.time_us / 1000000);
        tm t{};
        localtime_r(&secs, &t);
        char day[32];
        std::strftime(day, sizeof day, "%Y-%m-%d %H:%M:%S", &t);
        std::snprintf(when, sizeof when, "%s.%06d", day, static_cast<int>(e.time_us % 1000000));
    }
    std::string line = std::string(when) + " pid " + std::to_string(e.pid) + " ";
    switch (e.kind) {
    case LogKind::call:
        return line + "call " + serviceName(e.service) + "(" + joined(e.args, true) + ") = " + hex(e.result);
    case LogKind::notification:
        return line + "notify " + serviceName(e.service) + "(" + joined(e.args, false) +
               ") = " + hex(e.result) + (e.done ? "" : " (not sent)");
    case LogKind::monitor:
        return line + "monitor " + withoutNewline(e.text);
    default:
        return line + logKindName(e.kind) + " " + withoutNewline(e.text);
    }
}

} // namespace devsim
