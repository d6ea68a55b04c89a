// values.cpp - the grammar of typed values.
#include "document/values.h"

#include "base/errors.h"
#include "corvellib.h"
#include "job_fields.h"

#include <ctime>
#include <regex>

namespace entmlst {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

uint64_t parseUnsigned(const std::string &what, std::string_view text, uint64_t max, uint64_t min) {
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    if (text.empty()) throw UsageError(what + ": empty; expected a whole number " + range);
    // strtoul would read a leading zero as octal and take signs and blanks.
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned base = hex ? 16 : 10;
    uint64_t v = 0;
    bool ok = true;
    for (char c : hex ? text.substr(2) : text) {
        int d = hexDigit(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            ok = false;
            break;
        }
        if (static_cast<unsigned>(d) > max || v > (max - static_cast<unsigned>(d)) / base) {
            throw UsageError(what + ": \"" + std::string(text) + "\" is out of range " + range);
        }
        v = v * base + static_cast<unsigned>(d);
    }
    if (!ok)
        throw UsageError(what + ": \"" + std::string(text) + "\" is not a whole number " + range +
                         " (decimal or 0x hex)");
    if (v < min) throw UsageError(what + ": \"" + std::string(text) + "\" is out of range " + range);
    return v;
}

uint32_t parseNumber(const std::string &what, std::string_view text) {
    return static_cast<uint32_t>(parseUnsigned(what, text, 0xffffffffu));
}

std::optional<std::vector<uint8_t>> hexDigits(std::string_view digits) {
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        int hi = hexDigit(digits[i]), lo = hexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return out;
}

bool isUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80             ? 0
                        : (c & 0xe0) == 0xc0 ? 1
                        : (c & 0xf0) == 0xe0 ? 2
                        : (c & 0xf8) == 0xf0 ? 3
                                             : 4;
        if (n == 4 || i + n >= s.size()) return false;
        uint32_t cp = n == 0 ? c : c & (0x3f >> n);
        for (std::size_t k = 1; k <= n; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xc0) != 0x80) return false;
            cp = cp << 6 | (cc & 0x3f);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[n] || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff) return false;
        i += n + 1;
    }
    return true;
}

namespace {

struct LinkKindName {
    int32_t kind;
    const char *name;
};
#define LINK_KIND(kind, name) LinkKindName{kind, name},
constexpr LinkKindName kLinkKinds[] = {ENTMLST_LINK_KIND_NAMES(LINK_KIND)};
#undef LINK_KIND

} // namespace

// Names first: "0100" is the kind 0x100, never the number 100.
int32_t parseLinkKind(std::string_view text) {
    for (const LinkKindName &k : kLinkKinds)
        if (text == k.name) return k.kind;
    try {
        return static_cast<int32_t>(parseNumber("link kind", text));
    } catch (const UsageError &) {
        throw UsageError("link kind " + std::string(text) + ": expected " + linkKindHelp());
    }
}

std::string linkKindText(int32_t kind) {
    for (const LinkKindName &k : kLinkKinds)
        if (kind == k.kind) return k.name;
    return std::to_string(static_cast<uint32_t>(kind));
}

std::vector<std::string> linkKindNames() {
    std::vector<std::string> names;
    for (const LinkKindName &k : kLinkKinds) names.emplace_back(k.name);
    return names;
}

std::string linkKindHelp() {
    std::string help = "a number (e.g. 0x100), or one of ";
    for (const LinkKindName &k : kLinkKinds) help += (&k == kLinkKinds ? "" : ", ") + std::string(k.name);
    return help;
}

std::pair<std::string, std::string> splitAssignment(const std::string &arg) {
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("\"" + arg + "\": expected FIELD=VALUE");
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

namespace {

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

// Digits after the decimal point as microseconds (a nanosecond part is cut).
int64_t fractionMicros(const std::string &digits) {
    std::string six = (digits + "000000").substr(0, 6);
    return std::stoll(six);
}

} // namespace

int64_t parseSeconds(const std::string &what, const std::string &text) {
    static const std::regex seconds(R"(([0-9]{1,9})(?:[.,]([0-9]{1,9}))?)");
    std::smatch m;
    if (!std::regex_match(text, m, seconds))
        throw UsageError(what + ": \"" + text + "\" is not a number of seconds (such as 5 or 0.5)");
    return std::stoll(m[1]) * 1000000 + fractionMicros(m[2].str());
}

int64_t parseMoment(const std::string &what, const std::string &text, int64_t now_us) {
    const std::string usage =
        what + ": \"" + text +
        "\" is not a time; give 90s, 1.5s, 10m, 2h or 1d ago, YYYY-MM-DD[ HH:MM[:SS[.fff]]][Z] "
        "or HH:MM[:SS[.fff]]";
    static const std::regex ago(R"(([0-9]{1,9})(?:[.,]([0-9]{1,9}))?([smhd]))");
    static const std::regex date_time(
        R"(([0-9]{4})-([0-9]{2})-([0-9]{2})(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:[.,]([0-9]{1,9}))?)?)?(Z?))");
    static const std::regex time_only(R"(([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:[.,]([0-9]{1,9}))?)?)");
    std::smatch m;
    if (std::regex_match(text, m, ago)) {
        const int64_t unit = m[3] == "s" ? 1 : m[3] == "m" ? 60 : m[3] == "h" ? 3600 : 86400;
        const int64_t back_s = std::stoll(m[1]) * unit; // at most 999999999 days: no overflow
        const int64_t back_us =
            back_s > now_us / 1000000 ? now_us + 1 : back_s * 1000000 + fractionMicros(m[2].str()) * unit;
        if (back_us > now_us) throw UsageError(what + ": \"" + text + "\" reaches back before 1970");
        return now_us - back_us;
    }
    std::tm when{};
    std::string fraction;
    bool utc = false;
    const std::time_t now_s = static_cast<std::time_t>(now_us / 1000000);
    auto number = [&](const std::ssub_match &part) { return part.matched ? std::stoi(part.str()) : 0; };
    if (std::regex_match(text, m, date_time)) {
        when.tm_year = number(m[1]) - 1900;
        when.tm_mon = number(m[2]) - 1;
        when.tm_mday = number(m[3]);
        when.tm_hour = number(m[4]);
        when.tm_min = number(m[5]);
        when.tm_sec = number(m[6]);
        fraction = m[7].str();
        utc = m[8].length() > 0;
        if (when.tm_mon < 0 || when.tm_mon > 11 || when.tm_mday < 1 ||
            when.tm_mday > daysIn(when.tm_year + 1900, when.tm_mon + 1))
            throw UsageError(usage);
    } else if (std::regex_match(text, m, time_only)) {
        localtime_r(&now_s, &when);
        when.tm_hour = number(m[1]);
        when.tm_min = number(m[2]);
        when.tm_sec = number(m[3]);
        fraction = m[4].str();
    } else {
        throw UsageError(usage);
    }
    if (when.tm_hour > 23 || when.tm_min > 59 || when.tm_sec > 59) throw UsageError(usage);
    when.tm_isdst = -1;
    const std::time_t at = utc ? timegm(&when) : std::mktime(&when);
    if (at == static_cast<std::time_t>(-1) || at < 0) throw UsageError(usage);
    return static_cast<int64_t>(at) * 1000000 + (fraction.empty() ? 0 : fractionMicros(fraction));
}

} // namespace entmlst
