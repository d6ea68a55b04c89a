// log_format.cpp - the device's log entries as lines of text.
#include "device.h"

#include <cstring>
#include <ctime>
#include <iterator>

namespace devsim {
namespace {

std::string withoutNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// "name(a,b,c)".
std::string callText(Service s, const std::vector<uint64_t> &args, bool as_hex) {
    std::string out = serviceName(s);
    out += '(';
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i != 0) out += ',';
        out += as_hex ? hex(args[i]) : std::to_string(args[i]);
    }
    out += ')';
    return out;
}

} // namespace

#define DEVSIM_KIND_NAME(kind, name) name,
constexpr const char *kLogKindNames[] = {DEVSIM_LOG_KINDS(DEVSIM_KIND_NAME)};
#undef DEVSIM_KIND_NAME
static_assert(std::size(kLogKindNames) == kLogKindCount);

const char *logKindName(LogKind k) {
    auto i = static_cast<std::size_t>(k);
    return i < kLogKindCount ? kLogKindNames[i] : "?";
}

std::optional<LogKind> logKindByName(const std::string &name) {
    for (std::size_t i = 0; i < kLogKindCount; ++i)
        if (name == kLogKindNames[i]) return static_cast<LogKind>(i);
    return std::nullopt;
}

std::string eventLine(const LogEntry &e) {
    std::string line;
    if (e.kind == LogKind::notification && e.done) {
        line = "notify ";
        line += callText(e.service, e.args, false);
    } else if (e.kind == LogKind::monitor) {
        // "monitor(module,class,0) text": the service's name is not part of it.
        line = callText(e.service, e.args, true).replace(0, std::strlen(serviceName(e.service)), "monitor");
        line += ' ';
        line += withoutNewline(e.text);
    } else if (e.kind == LogKind::note) {
        line = e.text;
    }
    return line;
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
    std::string line = when;
    line += " pid ";
    line += std::to_string(e.pid);
    line += ' ';
    line += logKindName(e.kind);
    line += ' ';
    switch (e.kind) {
    case LogKind::call:
    case LogKind::notification:
        line += callText(e.service, e.args, e.kind == LogKind::call);
        line += " = ";
        line += hex(e.result);
        if (e.kind == LogKind::notification && !e.done) line += " (not sent)";
        break;
    default:
        line += withoutNewline(e.text);
        break;
    }
    return line;
}

} // namespace devsim
