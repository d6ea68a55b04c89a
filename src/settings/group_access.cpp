#include <cstring>

#include "frame/device_services.h"
#include "settings/group.h"

namespace corvel {
namespace {

// One row seen through the group's row type, with the recipient's ID chosen.
struct Row {
    uint32_t id;
    uint32_t offset;
    uint32_t size;
    uint32_t mask;
    uint8_t notify;
};

Row rowAt(const Group &g, unsigned i, uint32_t recipient) {
    switch (g.kind) {
    case RowKind::PerRecipient: {
        const auto &r = static_cast<const ENTMLSTRECIPDESC *>(g.rows)[i];
        return {r.id[recipient - 1], r.offset, r.size, r.mask, r.notify};
    }
    case RowKind::ReadOnly: {
        const auto &r = static_cast<const ENTMLSTREADDESC *>(g.rows)[i];
        return {r.id, r.offset, 0, 0, 0};
    }
    case RowKind::Single: break;
    }
    const auto &r = static_cast<const ENTMLSTDESC *>(g.rows)[i];
    return {r.id, r.offset, r.size, r.mask, r.notify};
}

bool validRecipient(uint32_t recipient) { return recipient - 1u <= 2u; }

// Argument checks shared by both procedures: recipient first, then record.
Result checkArgs(const Group &g, uint32_t recipient, const void *record) {
    if (g.kind == RowKind::PerRecipient && !validRecipient(recipient))
        return paramError(g.recipient_msg);
    if (record == nullptr) {
        if (g.param_msg == Msg::None) return ENTMLST_ERR_PARAM;
        return paramError(g.param_msg);
    }
    return ENTMLST_OK;
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

// The row loop of set-changed. Sets notify_due when a notify row was written.
Result writeChangedRows(const Group &g, uint32_t mask, uint32_t recipient, const uint8_t *rec,
                        uint8_t *work, bool &notify_due) {
    for (unsigned i = 0; i < g.count; ++i) {
        const Row row = rowAt(g, i, recipient);
        if ((mask & row.mask) == 0) continue;
        if (Result r = readStored(row.id, work + row.offset); r != ENTMLST_OK) return r;
        if (std::memcmp(work + row.offset, rec + row.offset, row.size) == 0) continue;
        uint32_t ret = meSTCSetStatus(ENTMLST_MODULE_ID, ENTMLST_STATUS_AREA, row.id,
                                      rec + row.offset);
        if (ret != 0) {
            diag(g.store_set_msg, row.id, ret);
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
    for (unsigned i = 0; i < g.count; ++i) {
        const Row row = rowAt(g, i, recipient);
        if (Result r = readStored(row.id, rec + row.offset); r != ENTMLST_OK) return r;
    }
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
        result = writeChangedRows(g, change_mask, recipient, rec, static_cast<uint8_t *>(work),
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
