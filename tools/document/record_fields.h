// record_fields.h - how the tool names, shows and parses the fields of the
// library's records. A record is described once as a list of its members;
// array members expand into numbered fields (domain1..domain10).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/json.h"
#include "document/values.h"

namespace entmlst {

enum class Kind : uint8_t {
    text,   // NUL-terminated string
    number, // big-endian unsigned number, 1, 2 or 4 bytes
    native, // number in the host's order (written by a service, not stored)
    hex,    // raw bytes
};

// One member of a record struct; count > 1 for arrays of fields.
struct Member {
    const char *name;
    std::size_t offset;
    std::size_t size; // of the whole member
    std::size_t count;
    Kind kind;
    bool secret = false;  // a password: shown as kMaskedSecret unless asked for
    uint32_t mask = 0;    // change-mask bit of the (first) field; element i has mask << i
    int element = -1;     // >= 0: the member's element of that index alone
    uint32_t ids[3] = {}; // settings IDs of a setting field, one per recipient
};

#define ENTMLST_MEMBER(type, member, kind)                                                                   \
    ::entmlst::Member { #member, offsetof(type, member), sizeof(type::member), 1, ::entmlst::Kind::kind }
#define ENTMLST_ARRAY(type, member, n, kind)                                                                 \
    ::entmlst::Member { #member, offsetof(type, member), sizeof(type::member), n, ::entmlst::Kind::kind }

// What a secret field shows instead of its value.
inline constexpr const char *kMaskedSecret = "********";

// One field as the user sees it; row is its position in the record's list,
// which is also the bit it has in a change mask.
struct Field {
    std::string name;
    std::size_t offset;
    std::size_t size;
    Kind kind;
    unsigned row;
    bool secret = false;
    uint32_t mask = 0; // change-mask bit; 0 in records no Set writes
    uint32_t ids[3] = {};

    // The settings ID that holds the field's value; 0 for job fields. Two
    // fields with one ID are one stored setting.
    uint32_t settingsId(uint32_t recipient) const { return ids[recipient > 1 ? recipient - 1 : 0]; }
};

std::vector<Field> expand(std::span<const Member> members);
const Field *findField(const std::vector<Field> &fields, const std::string &name);
// The same, or a UsageError naming what the record does have.
const Field &requireField(const std::string &record, const std::vector<Field> &fields,
                          const std::string &name);

// A field's value: a string for NUL-terminated UTF-8 text, a number
// for numeric fields, "hex:..." for anything else (also for text that itself
// begins with "hex:", so that every value reads back as it was).
Json jsonValue(const Field &f, const uint8_t *record);
// The same, with a secret field masked unless show_secrets.
Json shownValue(const Field &f, const uint8_t *record, bool show_secrets);
// Highest value of a numeric field; 0 for fields given as text or hex.
uint64_t maxNumber(const Field &f);
// All fields of a record, in order; secrets masked unless show_secrets.
Json jsonRecord(const std::vector<Field> &fields, const uint8_t *record, bool show_secrets = false);

// Parses a user's value for a field into exactly f.size bytes: a number
// 0..the field's maximum, hex: of exactly the width of a number or at most
// the size of other fields, or text. Throws UsageError, which never repeats
// a secret field's value.
std::vector<uint8_t> parseValue(const Field &f, const std::string &value);

} // namespace entmlst
