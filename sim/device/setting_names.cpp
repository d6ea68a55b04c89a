// setting_names.cpp - the names of settings IDs, as the entmlst tool spells
// its fields: "group.field", or "group.recipient.field" for a group each
// recipient has; and the names of job value IDs, "record.member". Built once
// from the field lists the library and the tool use, so that a name and its
// ID never drift apart.
#include "devsim_device.h"
#include "store/text.h"

#include "field_names.h"
#include "fields.h"
#include "functions.h"
#include "job_fields.h"

#include <algorithm>
#include <array>

namespace devsim {
namespace {

namespace reg = corvel::registry;

struct FieldRow {
    const char *group;
    bool per_recipient;
    const char *member;
    int element; // -1: the whole member, else its element (named member + element+1)
    std::array<uint32_t, 3> ids;
    bool secret;
};

#define DEVSIM_SECRET_secret true
#define DEVSIM_SECRET_plain false
#define DEVSIM_FIELD_ROW(a, member, place, bit, ids_, notify, kind, secret)                                  \
    FieldRow{a.group,                                                                                        \
             a.per_recipient,                                                                                \
             #member,                                                                                        \
             ENTMLST_PLACE_##place,                                                                          \
             {ENTMLST_IDS ids_},                                                                             \
             DEVSIM_SECRET_##secret},
#define DEVSIM_GROUP_ROWS(Name, tool, summary, Rec, rows, inst, access, Get, Set)                            \
    ENTMLST_FIELDS_##Name(DEVSIM_FIELD_ROW,                                                                  \
                          (GroupOf{tool, reg::Instances::inst == reg::Instances::per_recipient}))

struct GroupOf {
    const char *group;
    bool per_recipient;
};
const FieldRow kFieldRows[] = {ENTMLST_SETTING_GROUPS(DEVSIM_GROUP_ROWS)};
#undef DEVSIM_GROUP_ROWS
#undef DEVSIM_FIELD_ROW
#undef DEVSIM_SECRET_secret
#undef DEVSIM_SECRET_plain

struct Named {
    uint32_t id;
    std::string name;
};

// Every name once, sorted by ID and by name.
struct Tables {
    std::vector<Named> by_id;
    std::vector<Named> by_name;
};

const Tables &tables() {
    static const Tables t = [] {
        Tables out;
        for (const FieldRow &row : kFieldRows) {
            const std::string field = reg::fieldName(row.member, row.element);
            for (int r = 0; r < (row.per_recipient ? 3 : 1); ++r) {
                std::string recipient = row.per_recipient ? cat({std::to_string(r + 1), "."}) : "";
                out.by_id.push_back(
                    {row.ids[static_cast<std::size_t>(r)], cat({row.group, ".", recipient, field})});
            }
        }
        out.by_name = out.by_id;
        std::sort(out.by_id.begin(), out.by_id.end(), [](const Named &a, const Named &b) {
            return std::tie(a.id, a.name) < std::tie(b.id, b.name);
        });
        std::sort(out.by_name.begin(), out.by_name.end(),
                  [](const Named &a, const Named &b) { return a.name < b.name; });
        return out;
    }();
    return t;
}

// A job value is named after the first record or link listing its ID.
const std::vector<Named> &jobValueNames() {
    static const std::vector<Named> names = [] {
        std::vector<Named> out;
        for (const reg::JobValue &v : reg::kJobValues)
            if (std::none_of(out.begin(), out.end(), [&](const Named &n) { return n.id == v.value_id; }))
                out.push_back({v.value_id, cat({v.record, ".", v.member})});
        return out;
    }();
    return names;
}

} // namespace

std::optional<std::string> valueName(uint32_t value_id) {
    for (const Named &n : jobValueNames())
        if (n.id == value_id) return n.name;
    return std::nullopt;
}

std::optional<uint32_t> valueByName(std::string_view name) {
    for (const Named &n : jobValueNames())
        if (n.name == name) return n.id;
    return std::nullopt;
}

std::vector<std::string> settingNames(uint32_t id) {
    const auto &by_id = tables().by_id;
    auto it =
        std::lower_bound(by_id.begin(), by_id.end(), id, [](const Named &n, uint32_t v) { return n.id < v; });
    std::vector<std::string> out;
    for (; it != by_id.end() && it->id == id; ++it) out.push_back(it->name);
    return out;
}

bool secretSetting(uint32_t id) {
    return std::any_of(std::begin(kFieldRows), std::end(kFieldRows), [&](const FieldRow &row) {
        const auto end = row.ids.begin() + (row.per_recipient ? 3 : 1);
        return row.secret && std::find(row.ids.begin(), end, id) != end;
    });
}

std::optional<uint32_t> settingByName(std::string_view name) {
    const auto &by_name = tables().by_name;
    auto it = std::lower_bound(by_name.begin(), by_name.end(), name,
                               [](const Named &n, std::string_view v) { return n.name < v; });
    if (it == by_name.end() || it->name != name) return std::nullopt;
    return it->id;
}

} // namespace devsim
