// monitor_format.cpp - the monitor's own printf subset.
//
// The monitor never hands a caller's format to the C library: an unexpected
// conversion must show up as a broken rule, not as undefined behaviour.
// Callers pass 32-bit values (long is 32 bits on the device), so every number
// is read as unsigned int whatever its length modifier.
#include "device/device.h"

namespace devsim {
namespace {

void appendUnsigned(std::string &out, uint32_t v, unsigned base, bool upper) {
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char buf[16];
    int n = 0;
    do {
        buf[n++] = digits[v % base];
        v /= base;
    } while (v != 0);
    while (n > 0) out += buf[--n];
}

} // namespace

std::string formatMonitorLine(const char *format, va_list ap, std::string &error) {
    std::string out;
    for (const char *p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char *start = p;
        ++p;
        if (*p == 'l') ++p;
        switch (*p) {
        case '%':
            if (p != start + 1) break; // "%l%" is not a conversion
            out += '%';
            continue;
        case 's': {
            if (p != start + 1) break; // no wide strings on the device
            const char *s = va_arg(ap, const char *);
            if (s == nullptr) {
                error = "null string for %s";
                out += "(null)";
            } else {
                out += s;
            }
            continue;
        }
        case 'x':
            appendUnsigned(out, va_arg(ap, unsigned int), 16, false);
            continue;
        case 'X':
            appendUnsigned(out, va_arg(ap, unsigned int), 16, true);
            continue;
        case 'u':
            appendUnsigned(out, va_arg(ap, unsigned int), 10, false);
            continue;
        case 'd': {
            uint32_t v = va_arg(ap, unsigned int);
            if (v & 0x80000000u) {
                out += '-';
                v = 0u - v;
            }
            appendUnsigned(out, v, 10, false);
            continue;
        }
        default:
            break;
        }
        // Unsupported: the values that follow can no longer be located.
        std::size_t len =
            (*p == '\0') ? static_cast<std::size_t>(p - start) : static_cast<std::size_t>(p - start + 1);
        error = "unsupported conversion \"" + std::string(start, len) + "\"";
        out += start;
        return out;
    }
    return out;
}

} // namespace devsim
