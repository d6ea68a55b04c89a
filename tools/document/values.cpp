// values.cpp - the grammar of typed values.
#include "document/values.h"

#include "cli/usage_error.h"

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

std::pair<std::string, std::string> splitAssignment(const std::string &arg) {
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("\"" + arg + "\": expected FIELD=VALUE");
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

} // namespace entmlst
