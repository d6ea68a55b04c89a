// log_format.cpp - the device's log entries as lines of text.
#include "device/device.h"

#include <bit>
#include <cstring>
#include <ctime>
#include <iterator>
#include <limits>
#include <string_view>

namespace devsim {
namespace {

std::string withoutNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// "name(a,b,c)"; id_at is the argument followed by its settings names,
// "0x85006334 smtp.port".
std::string callText(Service s, const std::vector<uint64_t> &args, bool as_hex,
                     std::optional<std::size_t> id_at = std::nullopt) {
    // Tested once, not per argument: an optional compared per argument reads
    // as a use of its unset value to memcheck once GCC has inlined it.
    const std::size_t named = id_at.has_value() ? *id_at : args.size();
    std::string out = serviceName(s);
    out += '(';
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i != 0) out += ',';
        out += as_hex ? hex(args[i]) : std::to_string(args[i]);
        if (i == named) {
            const char *sep = " ";
            for (const std::string &name : settingNames(static_cast<uint32_t>(args[i]))) {
                out += sep;
                out += name;
                sep = "|";
            }
        }
    }
    out += ')';
    return out;
}

// The program as one word: escaped like the text, a blank as \x20, and
// "-" when it is not known (a program called "-" shows as \x2d).
std::string programWord(const std::string &program) {
    if (program.empty()) return "-";
    if (program == "-") return "\\x2d";
    std::string out;
    for (char c : escapeLogText(program, true))
        if (c == ' ')
            out += "\\x20";
        else
            out += c;
    return out;
}

// Length of the well-formed UTF-8 sequence at text[at], 0 if there is none
// (a stray continuation byte, a truncated or overlong sequence, a
// surrogate, or past U+10FFFF).
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t n = lead >= 0xc2 && lead <= 0xdf   ? 2
                    : lead >= 0xe0 && lead <= 0xef ? 3
                    : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                   : 0;
    if (n == 0 || at + n > text.size()) return 0;
    // The second byte's range excludes overlongs, surrogates and what lies past U+10FFFF.
    const uint8_t low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if ((byte(at + i) & 0xc0) != 0x80) return 0;
    return n;
}

void escapeByte(std::string &out, uint8_t b) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[b >> 4];
    out += kDigits[b & 0xf];
}

} // namespace

std::string escapeLogText(std::string_view text, bool controls) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = utf8Length(text, at);
        const auto lead = static_cast<uint8_t>(text[at]);
        // C1 controls (U+0080..U+009F) are 0xc2 0x80..0x9f.
        const bool control = n == 1 ? lead < 0x20 || lead == 0x7f
                                    : n == 2 && lead == 0xc2 && static_cast<uint8_t>(text[at + 1]) < 0xa0;
        if (n == 0) {
            escapeByte(out, lead);
            ++at;
        } else if (controls && control) {
            for (std::size_t i = 0; i < n; ++i) escapeByte(out, static_cast<uint8_t>(text[at + i]));
            at += n;
        } else if (lead == '\\') {
            out += "\\\\";
            ++at;
        } else {
            out.append(text, at, n);
            at += n;
        }
    }
    return out;
}

std::optional<std::size_t> settingsIdArgument(const LogEntry &e) {
    const unsigned settings = settingsArguments(e.service);
    if (e.kind != LogKind::call || settings == 0) return std::nullopt;
    const auto at = static_cast<std::size_t>(std::countr_zero(settings));
    if (at >= e.args.size()) return std::nullopt;
    return at;
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
    std::string line = "-";
    if (e.time_us != 0) {
        // The second as the last entry had it: a log holds many entries a second.
        thread_local time_t last_secs = std::numeric_limits<time_t>::min();
        thread_local char day[32];
        const auto secs = static_cast<time_t>(e.time_us / 1000000);
        if (secs != last_secs) {
            tm t{};
            localtime_r(&secs, &t);
            std::strftime(day, sizeof day, "%Y-%m-%d %H:%M:%S", &t);
            last_secs = secs;
        }
        char micros[16] = ".000000";
        const int us = static_cast<int>(e.time_us % 1000000);
        if (us < 0) // a time before 1970, from a damaged file
            std::snprintf(micros, sizeof micros, ".%06d", us);
        for (int i = 6, left = us; left > 0; left /= 10) micros[i--] = static_cast<char>('0' + left % 10);
        line = day;
        line += micros;
    }
    line += " pid ";
    line += std::to_string(e.pid);
    line += ' ';
    line += programWord(e.program);
    line += ' ';
    line += logKindName(e.kind);
    line += ' ';
    switch (e.kind) {
    case LogKind::call:
    case LogKind::notification:
        line += callText(e.service, e.args, e.kind == LogKind::call, settingsIdArgument(e));
        line += " = ";
        line += hex(e.result);
        if (e.kind == LogKind::notification && !e.done) line += " (not sent)";
        break;
    default:
        line += escapeLogText(withoutNewline(e.text), true);
        break;
    }
    return line;
}

} // namespace devsim
