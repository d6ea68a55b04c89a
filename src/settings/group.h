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

namespace corvel {

// One field of a setting group, built from the group's field list (fields.h)
// and the record type: 8 bytes. A per-recipient row holds recipient 1's
// settings ID; recipient n's is (n - 1) * kRecipientIdStep further on.
// Read-only rows carry only ID, offset and size; the store alone decides how
// much it writes there.
struct ENTMLSTDESC {
    uint32_t id;                // settings ID (recipient 1's in a per-recipient row)
    uint16_t offset;            // of the field in the record
    uint16_t size : 9;          // of the field and of the stored value
    uint16_t bit : 5;           // change-mask bit that selects the row
    uint16_t notify : 1;        // 1: writing the row makes the group notification due
    uint16_t per_recipient : 1; // the row has one settings ID per recipient
};
static_assert(sizeof(ENTMLSTDESC) == 8);

inline constexpr uint32_t kRecipientIdStep = 0x28;

// Reached only while a row is being built from a field list entry that does
// not fit it; being undefined and not constexpr, it stops the build.
void fieldDoesNotFitItsRow();

// The parts of a row, each checked as the row is built from its field list
// entry.
namespace check {

// The settings IDs of a field list entry: one, or three kRecipientIdStep apart.
struct Ids {
    uint32_t first;
    bool per_recipient;
};
constexpr Ids settingIds(uint32_t id) { return {id, false}; }
constexpr Ids settingIds(uint32_t r1, uint32_t r2, uint32_t r3) {
    if (r2 != r1 + kRecipientIdStep || r3 != r2 + kRecipientIdStep) fieldDoesNotFitItsRow();
    return {r1, true};
}

// A size or offset that fits the row's field of that many bits.
constexpr uint16_t fits(std::size_t v, unsigned bits) {
    if (v >= (std::size_t{1} << bits)) fieldDoesNotFitItsRow();
    return static_cast<uint16_t>(v);
}

// A writable field's change-mask bit: exactly one bit set.
constexpr uint16_t bitIndex(uint32_t mask) {
    if (mask == 0 || (mask & (mask - 1)) != 0) fieldDoesNotFitItsRow();
    uint16_t i = 0;
    while ((mask >> i) != 1) ++i;
    return i;
}

// A read-only field selects nothing and announces nothing.
constexpr uint16_t readOnly(uint32_t mask, int notify) {
    if (mask != 0 || notify != 0) fieldDoesNotFitItsRow();
    return 0;
}

} // namespace check

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
    const ENTMLSTDESC *rows;
    uint16_t count;
    uint16_t record_size; // also the size of a Set call's work buffer
    uint32_t row_bits;    // bit i set for each row i
    uint8_t first_bit;    // change-mask bit of row 0; row i has first_bit + i
    bool per_recipient;   // the rows have one settings ID per recipient
    Notify notify;        // Notify::None: the group announces nothing
    Msg recipient_msg;    // per-recipient groups only
    Msg param_msg;        // Msg::None: a null record is refused silently
    Msg store_set_msg;    // the group's wording of a failed store write
    Msg nomem_msg;
    Msg notify_msg; // "%s():[Error] ..." text of a failed notification
    Msg set_name;   // fills its "%s"

    // A writable group: a per-recipient one names its recipient text.
    template <std::size_t N>
    constexpr Group(const ENTMLSTDESC (&r)[N], std::size_t record, GroupTexts t, Notify n = Notify::None)
        : Group(r, N, record, t, n) {
        if (per_recipient != (t.recipient != Msg::None) || !writableTexts(t, n)) groupTextsDoNotFitTheGroup();
    }

    // Read-only groups exist once and send only the null-record text.
    template <std::size_t N>
    constexpr Group(const ENTMLSTDESC (&r)[N], std::size_t record, Msg param)
        : Group(r, N, record, GroupTexts{.param = param}, Notify::None) {
        if (per_recipient) groupTextsDoNotFitTheGroup();
    }

private:
    constexpr Group(const ENTMLSTDESC *r, std::size_t n, std::size_t record, const GroupTexts &t,
                    Notify notify_kind)
        : rows(r), count(static_cast<uint16_t>(n)), record_size(static_cast<uint16_t>(record)),
          row_bits(n >= 32 ? ~uint32_t{0} : (uint32_t{1} << n) - 1),
          first_bit(static_cast<uint8_t>(r[0].bit)), per_recipient(r[0].per_recipient), notify(notify_kind),
          recipient_msg(t.recipient), param_msg(t.param), store_set_msg(t.store_set), nomem_msg(t.nomem),
          notify_msg(t.notify_fail), set_name(t.set_name) {}

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

// Every row inside the record and apart from the others, and all rows with
// one settings ID or all with one per recipient.
template <std::size_t N>
constexpr bool rows(const ENTMLSTDESC (&r)[N], std::size_t record_size) {
    if (N > 32) return false;
    for (std::size_t i = 0; i < N; ++i) {
        const ENTMLSTDESC &f = r[i];
        if (f.size == 0 || std::size_t{f.offset} + f.size > record_size) return false;
        if (f.per_recipient != r[0].per_recipient) return false;
        for (std::size_t j = 0; j < i; ++j) {
            const ENTMLSTDESC &g = r[j];
            bool apart = f.offset >= g.offset + g.size || g.offset >= f.offset + f.size;
            if (!apart) return false;
        }
    }
    return true;
}

// A writable table: row n carries change-mask bit n when there is more than
// one row, so a Set walks the mask and the rows together.
template <std::size_t N>
constexpr bool changeBits(const ENTMLSTDESC (&r)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (std::size_t{r[i].bit} != r[0].bit + i || (N > 1 && r[0].bit != 0)) return false;
    return true;
}

} // namespace check

// Rows built from a record's field list (fields.h) and the record type
// itself, so the header's layout is the one source of offsets and sizes.
// kind and secret are the tool's business.
#define CORVEL_ROW_(Rec, member, place, ids, bit, notify)                                                    \
    {::corvel::check::settingIds(ENTMLST_IDS ids).first,                                                     \
     ::corvel::check::fits(ENTMLST_PLACE_OFFSET(Rec, member, place), 16),                                    \
     ::corvel::check::fits(ENTMLST_PLACE_SIZE(Rec, member, place), 9),                                       \
     (bit),                                                                                                  \
     ::corvel::check::fits((notify), 1),                                                                     \
     ::corvel::check::settingIds(ENTMLST_IDS ids).per_recipient},
#define CORVEL_ROW(Rec, member, place, bit, ids, notify, kind, secret)                                       \
    CORVEL_ROW_(Rec, member, place, ids, ::corvel::check::bitIndex(bit), (notify))
#define CORVEL_READ_ROW(Rec, member, place, bit, ids, notify, kind, secret)                                  \
    CORVEL_ROW_(Rec, member, place, ids, ::corvel::check::readOnly((bit), (notify)), (notify))

} // namespace corvel
