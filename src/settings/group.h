// Setting groups: descriptor rows, a group's properties, and the two
// procedures every group runs over its table (get-all and set-changed).
//
// A family source holds only constant tables, constant Group descriptions
// and thin exported functions; all loops live in group_access.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fields.h"
#include "frame/diag.h"
#include "frame/messages.h"
#include "frame/notify.h"
#include "frame/table_check.h"

namespace corvel {

// What a row says about its field, the same in both writable row types:
// record offset, value size, change-mask bit and notify flag.
struct FieldDesc {
    uint32_t offset; // of the field in the record
    uint32_t size;   // of the field and of the stored value
    uint32_t mask;   // change-mask bit that selects the row
    uint8_t notify;  // 1: writing the row makes the group notification due
};

// One field of a group that exists once: settings ID, then the field.
struct ENTMLSTDESC {
    uint32_t id;
    FieldDesc field;
};

// One field of a group that exists once per recipient (1..3); the recipient
// number only selects the settings ID.
struct ENTMLSTRECIPDESC {
    uint32_t id[3];
    FieldDesc field;
};

// One field of a read-only group: the store alone knows the value's width.
struct ENTMLSTREADDESC {
    uint32_t id;
    uint32_t offset;
};

// The row types differ only in how many IDs come before the field, which is
// what lets one cursor walk them all.
static_assert(offsetof(ENTMLSTDESC, field) == offsetof(ENTMLSTREADDESC, offset));
static_assert(offsetof(FieldDesc, offset) == 0);

// How a table's rows are read, fixed by its row type: the row size, where
// the field (or the read-only offset) starts, and how far apart the
// recipients' settings IDs are (0: a row has one ID).
struct RowLayout {
    uint8_t stride;
    uint8_t field_at;
    uint8_t id_step;
};
inline constexpr RowLayout kSingleRows{sizeof(ENTMLSTDESC), offsetof(ENTMLSTDESC, field), 0};
inline constexpr RowLayout kRecipientRows{sizeof(ENTMLSTRECIPDESC), offsetof(ENTMLSTRECIPDESC, field),
                                          sizeof(uint32_t)};
inline constexpr RowLayout kReadRows{sizeof(ENTMLSTREADDESC), offsetof(ENTMLSTREADDESC, offset), 0};

// The texts a group sends, each named where the group is described, so two
// of them cannot trade places unnoticed. Msg::None: the group has no such text.
struct GroupTexts {
    Msg recipient = Msg::None;   // recipient number outside 1..3 (per-recipient groups)
    Msg param = Msg::None;       // null record (Msg::None: refused silently)
    Msg store_set = Msg::None;   // the group's wording of a failed store write
    Msg nomem = Msg::None;       // no work buffer
    Msg notify_fail = Msg::None; // "%s():[Error] ..." text of a failed notification
    Msg set_name = Msg::None;    // fills its "%s"
};

// Reached only while a Group constant is being built from texts that do not
// fit its kind of group; being undefined and not constexpr, it stops the build.
void groupTextsDoNotFitTheGroup();

// What distinguishes one group from another: its table and a few properties.
struct Group {
    const void *rows; // array of the row type the layout describes
    uint16_t count;
    uint16_t record_size; // also the size of a Set call's work buffer
    RowLayout layout;
    Notify notify;     // Notify::None: the group announces nothing
    Msg recipient_msg; // per-recipient groups only
    Msg param_msg;     // Msg::None: a null record is refused silently
    Msg store_set_msg; // the group's wording of a failed store write
    Msg nomem_msg;
    Msg notify_msg; // "%s():[Error] ..." text of a failed notification
    Msg set_name;   // fills its "%s"

    template <std::size_t N>
    constexpr Group(const ENTMLSTDESC (&r)[N], std::size_t record, GroupTexts t, Notify n = Notify::None)
        : Group(r, N, record, kSingleRows, t, n) {
        if (t.recipient != Msg::None || !writableTexts(t, n)) groupTextsDoNotFitTheGroup();
    }

    template <std::size_t N>
    constexpr Group(const ENTMLSTRECIPDESC (&r)[N], std::size_t record, GroupTexts t, Notify n = Notify::None)
        : Group(r, N, record, kRecipientRows, t, n) {
        if (t.recipient == Msg::None || !writableTexts(t, n)) groupTextsDoNotFitTheGroup();
    }

    // Read-only groups send only the null-record text.
    template <std::size_t N>
    constexpr Group(const ENTMLSTREADDESC (&r)[N], std::size_t record, Msg param)
        : Group(r, N, record, kReadRows, GroupTexts{.param = param}, Notify::None) {}

private:
    constexpr Group(const void *r, std::size_t n, std::size_t record, RowLayout l, const GroupTexts &t,
                    Notify notify_kind)
        : rows(r), count(static_cast<uint16_t>(n)), record_size(static_cast<uint16_t>(record)), layout(l),
          notify(notify_kind), recipient_msg(t.recipient), param_msg(t.param), store_set_msg(t.store_set),
          nomem_msg(t.nomem), notify_msg(t.notify_fail), set_name(t.set_name) {}

    // A writable group names its store-write and no-buffer texts; a
    // notification comes with its failure text and the Set function's name.
    static constexpr bool writableTexts(const GroupTexts &t, Notify n) {
        const bool announces = n != Notify::None;
        return t.store_set != Msg::None && t.nomem != Msg::None &&
               announces == (t.notify_fail != Msg::None) && announces == (t.set_name != Msg::None);
    }
};

// Get-all: recipient test (per-recipient groups), record test, then every row
// read into the record in table order. recipient is ignored by other groups.
[[nodiscard]] Result getAll(const Group &g, uint32_t recipient, void *record);

// Set-changed: recipient and record tests, one work buffer of the record's
// size, then every selected row read, compared and written only when its
// bytes differ; one notification after the last row if a notify row was
// written.
[[nodiscard]] Result setChanged(const Group &g, uint32_t change_mask, uint32_t recipient, const void *record);

// ---- compile-time checks of a table ------------------------------------------

namespace check {

constexpr bool singleBit(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Mask bits single and distinct (row n carries 1 << n when there is more
// than one row), notify flags 0 or 1, rows inside the record and apart.
template <typename Row, std::size_t N>
constexpr bool rows(const Row (&r)[N], std::size_t record_size) {
    for (std::size_t i = 0; i < N; ++i) {
        const FieldDesc &f = r[i].field;
        if (!singleBit(f.mask) || f.notify > 1 || f.size == 0) return false;
        if (N > 1 && f.mask != (uint32_t{1} << i)) return false;
        if (f.offset + f.size > record_size) return false;
        for (std::size_t j = 0; j < i; ++j) {
            const FieldDesc &g = r[j].field;
            if (f.mask == g.mask) return false;
            bool apart = f.offset >= g.offset + g.size || g.offset >= f.offset + f.size;
            if (!apart) return false;
        }
    }
    return true;
}

// The three settings IDs of a per-recipient row are 0x28 apart.
template <std::size_t N>
constexpr bool recipientIds(const ENTMLSTRECIPDESC (&r)[N]) {
    for (const auto &row : r)
        if (row.id[1] != row.id[0] + 0x28 || row.id[2] != row.id[0] + 0x50) return false;
    return true;
}

} // namespace check

// Rows built from a record's field list (fields.h) and the record type
// itself, so the header's layout is the one source of offsets and sizes.
// kind and secret are the tool's business.
#define CORVEL_FIELD_(Rec, member, place, bit, notify)                                                       \
    { ENTMLST_PLACE_OFFSET(Rec, member, place), ENTMLST_PLACE_SIZE(Rec, member, place), (bit), (notify) }
#define CORVEL_ROW(Rec, member, place, bit, ids, notify, kind, secret)                                       \
    {ENTMLST_IDS ids, CORVEL_FIELD_(Rec, member, place, bit, notify)},
#define CORVEL_RECIPIENT_ROW(Rec, member, place, bit, ids, notify, kind, secret)                             \
    {{ENTMLST_IDS ids}, CORVEL_FIELD_(Rec, member, place, bit, notify)},
#define CORVEL_READ_ROW(Rec, member, place, bit, ids, notify, kind, secret)                                  \
    {ENTMLST_IDS ids, static_cast<uint32_t>(ENTMLST_PLACE_OFFSET(Rec, member, place))},

} // namespace corvel
