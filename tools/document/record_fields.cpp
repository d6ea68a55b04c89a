// record_fields.cpp - naming, showing and parsing record fields.
#include "document/record_fields.h"

#include "base/errors.h"
#include "field_names.h"

#include <cstring>

namespace entmlst {
namespace {

// Bytes up to a NUL inside the field, valid UTF-8: shown as text (JSON
// escapes its control characters).
bool isText(const uint8_t *p, std::size_t n) {
    const void *nul = std::memchr(p, 0, n);
    if (nul == nullptr) return false;
    return isUtf8(
        {reinterpret_cast<const char *>(p), static_cast<std::size_t>(static_cast<const uint8_t *>(nul) - p)});
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

} // namespace

std::vector<Field> expand(std::span<const Member> members) {
    std::vector<Field> out;
    for (const Member &m : members) {
        std::size_t each = m.size / m.count;
        for (std::size_t i = 0; i < m.count; ++i) {
            const int element = m.element >= 0 ? m.element : m.count == 1 ? -1 : static_cast<int>(i);
            out.push_back({corvel::registry::fieldName(m.name, element),
                           m.offset + i * each,
                           each,
                           m.kind,
                           static_cast<unsigned>(out.size()),
                           m.secret,
                           m.mask << i,
                           {m.ids[0], m.ids[1], m.ids[2]}});
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
    if (f.kind == Kind::text && isText(p, f.size)) {
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

std::vector<uint8_t> parseValue(const Field &f, const std::string &value) {
    const bool number = isNumeric(f) && f.kind == Kind::number;
    const auto bytes = [&](std::size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); };
    if (value.starts_with(kHexPrefix)) {
        std::optional<std::vector<uint8_t>> raw =
            hexDigits(std::string_view(value).substr(kHexPrefix.size()));
        // A number is given whole: its bytes, most significant first.
        if (number && (!raw || raw->size() != f.size))
            throw UsageError(f.name + ": hex: takes exactly " + std::to_string(2 * f.size) + " hex digits (" +
                             bytes(f.size) + ")");
        if (!raw || raw->size() > f.size)
            throw UsageError(f.name + ": hex: takes pairs of hex digits, at most " +
                             std::to_string(2 * f.size) + " (" + bytes(f.size) + ")");
        raw->resize(f.size, 0);
        return *raw;
    }
    std::vector<uint8_t> out(f.size, 0);
    if (number) {
        uint64_t v = parseUnsigned(f.name, value, maxNumber(f));
        for (std::size_t i = 0; i < f.size; ++i) out[f.size - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
        return out;
    }
    if (f.kind != Kind::text) throw UsageError(f.name + ": give the bytes as hex:...");
    if (value.find('\0') != std::string::npos || !isUtf8(value))
        throw UsageError(f.name + ": text is UTF-8 without NUL; give other bytes as hex:...");
    // Keep room for the terminator the device's readers expect.
    if (value.size() >= f.size)
        throw UsageError(f.name + ": too long: " + bytes(value.size()) + ", at most " + bytes(f.size - 1));
    std::memcpy(out.data(), value.data(), value.size());
    return out;
}

} // namespace entmlst
