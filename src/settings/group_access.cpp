#include <cstring>

#include "device_services.h"
#include "settings/group.h"

namespace corvel {
namespace {

// Walks a table of any row type by its layout, so the row loop has no
// branch on the row type.
struct Cursor {
    const uint8_t *row;
    uint32_t stride;
    uint32_t id_at;
    uint32_t field_at;

    // Rows with one ID have id_step 0, so the recipient then picks nothing.
    Cursor(const Group &g, uint32_t recipient)
        : row(static_cast<const uint8_t *>(g.rows)), stride(g.layout.stride),
          id_at(g.layout.id_step * (recipient - 1)), field_at(g.layout.field_at) {}

    uint32_t id() const { return *reinterpret_cast<const uint32_t *>(row + id_at); }
    // Writable rows only: read-only rows end after the offset.
    const FieldDesc &field() const { return *reinterpret_cast<const FieldDesc *>(row + field_at); }
    uint32_t offset() const { return *reinterpret_cast<const uint32_t *>(row + field_at); }
    void next() { row += stride; }
};

bool validRecipient(uint32_t recipient) { return recipient - 1u <= 2u; }

// Argument checks shared by both procedures: recipient first, then record.
Result checkArgs(const Group &g, uint32_t recipient, const void *record) {
    if (g.layout.id_step != 0 && !validRecipient(recipient)) return paramError(g.recipient_msg);
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
Result writeChangedRows(const Group &g, uint32_t mask, uint32_t recipient, const uint8_t *rec, uint8_t *work,
                        bool &notify_due) {
    Cursor c(g, recipient);
    for (unsigned i = 0; i < g.count; ++i, c.next()) {
        const FieldDesc &f = c.field();
        if ((mask & f.mask) == 0) continue;
        const uint32_t id = c.id();
        if (Result r = readStored(id, work + f.offset); r != ENTMLST_OK) return r;
        if (std::memcmp(work + f.offset, rec + f.offset, f.size) == 0) continue;
        uint32_t ret = meSTCSetStatus(ENTMLST_MODULE_ID, ENTMLST_STATUS_AREA, id, rec + f.offset);
        if (ret != 0) {
            diag(g.store_set_msg, id, ret);
            return ENTMLST_ERR_STATUS_SET;
        }
        notify_due |= f.notify != 0;
    }
    return ENTMLST_OK;
}

} // namespace

Result getAll(const Group &g, uint32_t recipient, void *record) {
    if (Result r = checkArgs(g, recipient, record); r != ENTMLST_OK) return r;
    auto *rec = static_cast<uint8_t *>(record);
    Cursor c(g, recipient);
    for (unsigned i = 0; i < g.count; ++i, c.next())
        if (Result r = readStored(c.id(), rec + c.offset()); r != ENTMLST_OK) return r;
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
        result = writeChangedRows(g, change_mask, recipient, rec, static_cast<uint8_t *>(work), notify_due);
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
