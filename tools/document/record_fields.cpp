// record_fields.cpp - naming, showing and parsing record fields.
#include "document/record_fields.h"

#include "cli/usage_error.h"

#include <cstring>

namespace entmlst {
namespace {

// Bytes up to a NUL inside the field, all printable: shown as text.
bool isPrintableString(const uint8_t *p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] == 0) return true;
        if (p[i] < 0x20 || p[i] > 0x7e) return false;
    }
    return false;
}

uint64_t bigEndian(const uint8_t *p, std::size_t n) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

uint64_t native(const uint8_t *p, std::size_t n) {
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    switch (n) {
    case 4:
        std::memcpy(&v32, p, 4);
        return v32;
    case 2:
        std::memcpy(&v16, p, 2);
        return v16;
    default:
        return bigEndian(p, n);
    }
}

std::string hexBytes(const uint8_t *p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s = "hex:";
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 0xf];
    }
    return s;
}

bool isNumeric(const Field &f) {
    return (f.kind == Kind::number || f.kind == Kind::native) && (f.size == 1 || f.size == 2 || f.size == 4);
}

std::vector<uint8_t> parseHex(const Field &f, const std::string &digits) {
    if (digits.size() % 2 != 0 || digits.size() / 2 > f.size)
        throw UsageError(f.name + ": hex value must be an even number of digits, at most " +
                         std::to_string(2 * f.size));
    std::vector<uint8_t> out(f.size, 0);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        std::size_t used = 0;
        unsigned long b = 0;
        try {
            b = std::stoul(digits.substr(i, 2), &used, 16);
        } catch (const std::exception &) {
        }
        if (used != 2) throw UsageError(f.name + ": \"" + digits + "\" is not hex");
        out[i / 2] = static_cast<uint8_t>(b);
    }
    return out;
}

} // namespace

std::vector<Field> expand(std::span<const Member> members) {
    std::vector<Field> out;
    for (const Member &m : members) {
        std::size_t each = m.size / m.count;
        for (std::size_t i = 0; i < m.count; ++i) {
            std::string name = m.count == 1 ? m.name : m.name + std::to_string(i + 1);
            out.push_back({name, m.offset + i * each, each, m.kind, static_cast<unsigned>(out.size()),
                           m.secret, m.mask << i});
        }
    }
    return out;
}

const Field *findField(const std::vector<Field> &fields, const std::string &name) {
    for (const Field &f : fields)
        if (f.name == name) return &f;
    return nullptr;
}

const Field &requireField(const std::string &record, const std::vector<Field> &fields,
                          const std::string &name) {
    if (const Field *f = findField(fields, name)) return *f;
    std::string known;
    for (const Field &f : fields) known += (known.empty() ? "" : " ") + f.name;
    throw UsageError(record + " has no field \"" + name + "\" (fields: " + known + ")");
}

Json jsonValue(const Field &f, const uint8_t *record) {
    const uint8_t *p = record + f.offset;
    if (isNumeric(f)) return f.kind == Kind::native ? native(p, f.size) : bigEndian(p, f.size);
    if (f.kind == Kind::text && isPrintableString(p, f.size)) {
        std::string text(reinterpret_cast<const char *>(p));
        if (!text.starts_with(kHexPrefix)) return text;
    }
    return hexBytes(p, f.size);
}

Json shownValue(const Field &f, const uint8_t *record, bool show_secrets) {
    if (!f.secret) return jsonValue(f, record);
    if (!show_secrets) return kMaskedSecret;
    // A stored password that reads like the mask is given as bytes, so that
    // an import does not take it for a masked one.
    Json v = jsonValue(f, record);
    return v == kMaskedSecret ? Json(hexBytes(record + f.offset, f.size)) : v;
}

uint64_t maxNumber(const Field &f) { return isNumeric(f) ? (uint64_t{1} << (8 * f.size)) - 1 : 0; }

Json jsonRecord(const std::vector<Field> &fields, const uint8_t *record, bool show_secrets) {
    Json j = Json::object();
    for (const Field &f : fields) j[f.name] = shownValue(f, record, show_secrets);
    return j;
}

uint32_t parseNumber(const std::string &what, const std::string &text) {
    std::size_t used = 0;
    unsigned long long v = 0;
    bool ok = !text.empty() && text[0] != '-' && text[0] != '+' && text[0] != ' ';
    if (ok) {
        try {
            v = std::stoull(text, &used, 0);
        } catch (const std::exception &) {
            ok = false;
        }
    }
    if (!ok || used != text.size() || v > 0xffffffffull)
        throw UsageError(what + ": \"" + text + "\" is not a number (decimal or 0x hex, 0..4294967295)");
    return static_cast<uint32_t>(v);
}

std::vector<uint8_t> parseValue(const Field &f, const std::string &value) {
    if (value.starts_with(kHexPrefix)) return parseHex(f, value.substr(kHexPrefix.size()));
    std::vector<uint8_t> out(f.size, 0);
    if (isNumeric(f) && f.kind == Kind::number) {
        uint64_t v = parseNumber(f.name, value);
        if (f.size < 4 && v >> (8 * f.size) != 0)
            throw UsageError(f.name + ": " + value + " does not fit in " + std::to_string(f.size) +
                             (f.size == 1 ? " byte" : " bytes"));
        for (std::size_t i = 0; i < f.size; ++i) out[f.size - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
        return out;
    }
    if (f.kind != Kind::text) throw UsageError(f.name + ": give the bytes as hex:...");
    // Keep room for the terminator the device's readers expect.
    if (value.size() >= f.size)
        throw UsageError(f.name + ": value too long (at most " + std::to_string(f.size - 1) + " bytes)");
    std::memcpy(out.data(), value.data(), value.size());
    return out;
}

std::pair<std::string, std::string> splitAssignment(const std::string &arg) {
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("\"" + arg + "\": expected FIELD=VALUE");
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

} // namespace entmlst
