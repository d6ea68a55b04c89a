#include <bit>
#include <cstring>

#include "device_services.h"
#include "settings/group.h"

namespace corvel {
namespace {

bool validRecipient(uint32_t recipient) { return recipient - 1u <= 2u; }

// Argument checks shared by both procedures: recipient first, then record.
Result checkArgs(const Group &g, uint32_t recipient, const void *record) {
    if (g.per_recipient && !validRecipient(recipient)) return paramError(g.recipient_msg);
    if (record == nullptr) {
        if (g.param_msg == Msg::None) return ENTMLST_ERR_PARAM;
        return paramError(g.param_msg);
    }
    return ENTMLST_OK;
}

// What a recipient adds to every row's settings ID; groups that exist once
// ignore the recipient.
uint32_t idDelta(const Group &g, uint32_t recipient) {
    return g.per_recipient ? (recipient - 1) * kRecipientIdStep : 0;
}

// Reads one stored value; reports a failure with the ID it asked for.
Result readStored(uint32_t id, uint8_t *dst) {
    uint32_t ret = meSTCGetStatus(ENTMLST_STATUS_AREA, id, dst);
    if (ret != 0) {
        diag(Msg::StatusGet, id, ret);
        return ENTMLST_ERR_STATUS_GET;
    }
    return ENTMLST_OK;
}

// The row loop of set-changed: bit i of the mask shifted down to the group's
// first bit selects row i, and only the selected rows are visited, in table
// order. Sets notify_due when a notify row was written.
Result writeChangedRows(const Group &g, uint32_t mask, uint32_t id_delta, const uint8_t *rec, uint8_t *work,
                        bool &notify_due) {
    for (uint32_t selected = (mask >> g.first_bit) & g.row_bits; selected != 0; selected &= selected - 1) {
        const ENTMLSTDESC &row = g.rows[std::countr_zero(selected)];
        const uint32_t id = row.id + id_delta;
        if (Result r = readStored(id, work + row.offset); r != ENTMLST_OK) return r;
        if (std::memcmp(work + row.offset, rec + row.offset, row.size) == 0) continue;
        uint32_t ret = meSTCSetStatus(ENTMLST_MODULE_ID, ENTMLST_STATUS_AREA, id, rec + row.offset);
        if (ret != 0) {
            diag(g.store_set_msg, id, ret);
            return ENTMLST_ERR_STATUS_SET;
        }
        notify_due |= row.notify != 0;
    }
    return ENTMLST_OK;
}

} // namespace

Result getAll(const Group &g, uint32_t recipient, void *record) {
    if (Result r = checkArgs(g, recipient, record); r != ENTMLST_OK) return r;
    auto *rec = static_cast<uint8_t *>(record);
    const uint32_t id_delta = idDelta(g, recipient);
    for (const ENTMLSTDESC *row = g.rows, *end = row + g.count; row != end; ++row)
        if (Result r = readStored(row->id + id_delta, rec + row->offset); r != ENTMLST_OK) return r;
    return ENTMLST_OK;
}

Result setChanged(const Group &g, uint32_t change_mask, uint32_t recipient, const void *record) {
    if (Result r = checkArgs(g, recipient, record); r != ENTMLST_OK) return r;
    const auto *rec = static_cast<const uint8_t *>(record);

    void *work = nullptr;
    Result result = ENTMLST_OK;
    if (emwOSWOrgAllocMemPart(0, &work, g.record_size) != 0) {
        diag(g.nomem_msg);
        result = ENTMLST_ERR_NOMEM;
    } else {
        bool notify_due = false;
        result = writeChangedRows(g, change_mask, idDelta(g, recipient), rec, static_cast<uint8_t *>(work),
                                  notify_due);
        if (result == ENTMLST_OK && notify_due && g.notify != Notify::None) {
            // The protocol selector goes out zero-extended; the report times
            // take the recipient; the others ignore the argument.
            uint32_t arg = g.notify == Notify::SmtpProtocol ? rec[0] : recipient;
            if (uint32_t ret = sendNotification(g.notify, arg); ret != 0)
                diagNamed(g.notify_msg, g.set_name, ret);
        }
    }
    // A failed allocation may still have handed out a block.
    if (work != nullptr) emwOSWOrgFreeMemPart(0, work);
    return result;
}

} // namespace corvel
