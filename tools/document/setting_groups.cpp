// setting_groups.cpp - the setting groups as the tool offers them: the
// registry's groups, each with its summary and the members of its record.
#include "document/setting_groups.h"

#include "base/errors.h"
#include "corvellib.h"
#include "fields.h"
#include "functions.h"

namespace entmlst {
namespace {

namespace reg = corvel::registry;

// Each group's fields, from its list in fields.h.
#define SECRET_secret true
#define SECRET_plain false
#define FIELD(Rec, member, place, bit, ids_, notify, kind_, secret_)                                         \
    Member{.name = #member,                                                                                  \
           .offset = ENTMLST_PLACE_OFFSET(Rec, member, place),                                               \
           .size = ENTMLST_PLACE_SIZE(Rec, member, place),                                                   \
           .count = 1,                                                                                       \
           .kind = Kind::kind_,                                                                              \
           .secret = SECRET_##secret_,                                                                       \
           .mask = (bit),                                                                                    \
           .element = ENTMLST_PLACE_##place,                                                                 \
           .ids = {ENTMLST_IDS ids_}},
#define MEMBERS(Name, tool, summary, Rec, rows, inst, access, Get, Set)                                      \
    constexpr Member k##Name##Members[] = {ENTMLST_FIELDS_##Name(FIELD, Rec)};
ENTMLST_SETTING_GROUPS(MEMBERS)
#undef MEMBERS
#undef FIELD
#undef SECRET_secret
#undef SECRET_plain

// Members inside the record, and no more fields than a mask has bits.
constexpr bool fitsRecord(std::span<const Member> members, std::size_t size) {
    std::size_t rows = 0;
    for (const Member &m : members) {
        if (m.offset + m.size > size || m.count == 0 || m.size % m.count != 0) return false;
        rows += m.count;
    }
    return rows <= 32;
}

// A writable group's fields each have one mask bit of their own (an array
// element i the first element's bit << i); a read-only group's have none.
constexpr bool masksValid(std::span<const Member> members, bool writable) {
    uint32_t seen = 0;
    for (const Member &m : members) {
        if (!writable) {
            if (m.mask != 0) return false;
            continue;
        }
        if (m.mask == 0 || (m.mask & (m.mask - 1)) != 0) return false;
        for (std::size_t i = 0; i < m.count; ++i) {
            uint32_t bit = i < 32 ? m.mask << i : 0;
            if (bit == 0 || (seen & bit) != 0) return false;
            seen |= bit;
        }
    }
    return true;
}

#define CHECK(Name, tool, summary, Rec, rows, inst, access, Get, Set)                                        \
    static_assert(fitsRecord(k##Name##Members, sizeof(Rec)),                                                 \
                  #Name ": members outside the record or too many fields");                                  \
    static_assert(masksValid(k##Name##Members, reg::Access::access == reg::Access::read_write),              \
                  #Name ": fields without a mask bit of their own");
ENTMLST_SETTING_GROUPS(CHECK)
#undef CHECK

#define GROUP(Name, tool, summary, Rec, rows, inst, access, Get, Set)                                        \
    Group{tool,                                                                                              \
          summary,                                                                                           \
          sizeof(Rec),                                                                                       \
          reg::Instances::inst == reg::Instances::per_recipient,                                             \
          k##Name##Members,                                                                                  \
          reg::uniformGet<Get, Rec, reg::Instances::inst>,                                                   \
          reg::uniformSet<Set, Rec, reg::Instances::inst>()},
constexpr Group kGroups[] = {ENTMLST_SETTING_GROUPS(GROUP)};
#undef GROUP

} // namespace

std::span<const Group> groups() { return kGroups; }

const Group &findGroup(const std::string &name) {
    for (const Group &g : kGroups)
        if (name == g.name) return g;
    std::string known;
    for (const Group &g : kGroups) known += std::string(known.empty() ? "" : ", ") + g.name;
    throw UsageError("unknown group \"" + name + "\" (groups: " + known + ")");
}

uint32_t maskBit(const Group &, const Field &f) { return f.mask; }

} // namespace entmlst
