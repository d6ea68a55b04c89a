#include "floors.h"

#include <cstring>

#include "device_services.h"

namespace floors {

Traced T;

namespace {

// ---- floors: straight-line service calls ---------------------------------------------
//
// The row sequences are unrolled: one jump into a run of 32 copies of the
// row's calls, entered at the copy that leaves n rows to go.

// clang-format off
#define CORVEL_CASES(X)                                                                                      \
    X(32) X(31) X(30) X(29) X(28) X(27) X(26) X(25) X(24) X(23) X(22) X(21) X(20) X(19) X(18) X(17)          \
    X(16) X(15) X(14) X(13) X(12) X(11) X(10) X(9) X(8) X(7) X(6) X(5) X(4) X(3) X(2) X(1)
// clang-format on

__attribute__((always_inline)) inline uint32_t getRows(const Steps &t, uint8_t *rec) {
    const Step *e = t.s + t.n;
    switch (t.n) {
#define X(k)                                                                                                 \
    case k:                                                                                                  \
        if (uint32_t r = meSTCGetStatus(ENTMLST_STATUS_AREA, e[-k].id, rec + e[-k].off)) return r;           \
        [[fallthrough]];
        CORVEL_CASES(X)
#undef X
    default:
        break;
    }
    return 0;
}

__attribute__((always_inline)) inline uint32_t setRows(const Steps &t, const uint8_t *rec, uint8_t *work,
                                                       bool &wrote) {
    const Step *e = t.s + t.n;
    switch (t.n) {
#define X(k)                                                                                                 \
    case k:                                                                                                  \
        if (uint32_t r = meSTCGetStatus(ENTMLST_STATUS_AREA, e[-k].id, work + e[-k].off)) return r;          \
        if (std::memcmp(work + e[-k].off, rec + e[-k].off, e[-k].size) != 0) {                               \
            if (uint32_t r =                                                                                 \
                    meSTCSetStatus(ENTMLST_MODULE_ID, ENTMLST_STATUS_AREA, e[-k].id, rec + e[-k].off))       \
                return r;                                                                                    \
            wrote = true;                                                                                    \
        }                                                                                                    \
        [[fallthrough]];
        CORVEL_CASES(X)
#undef X
    default:
        break;
    }
    return 0;
}

__attribute__((always_inline)) inline uint32_t jobGetRows(uint32_t job, const Steps &t, uint8_t *rec) {
    const Step *e = t.s + t.n;
    switch (t.n) {
#define X(k)                                                                                                 \
    case k:                                                                                                  \
        if (uint32_t r = meSVCGetCurrent(job, e[-k].id, rec + e[-k].off)) return r;                          \
        [[fallthrough]];
        CORVEL_CASES(X)
#undef X
    default:
        break;
    }
    return 0;
}

__attribute__((always_inline)) inline uint32_t jobSetRows(uint32_t job, const Steps &t, const uint8_t *rec) {
    const Step *e = t.s + t.n;
    switch (t.n) {
#define X(k)                                                                                                 \
    case k:                                                                                                  \
        if (uint32_t r = meSVCSetCurrent(ENTMLST_MODULE_ID, job, e[-k].id, rec + e[-k].off)) return r;       \
        [[fallthrough]];
        CORVEL_CASES(X)
#undef X
    default:
        break;
    }
    return 0;
}

// A Set: one work buffer, the rows, the notification once if a row was written.
template <typename Notify>
__attribute__((always_inline)) inline uint32_t setGroup(const Steps &t, const void *rec, uint32_t size,
                                                        Notify notify) {
    void *work = nullptr;
    if (uint32_t r = emwOSWOrgAllocMemPart(0, &work, size)) return r;
    bool wrote = false;
    uint32_t r = setRows(t, static_cast<const uint8_t *>(rec), static_cast<uint8_t *>(work), wrote);
    if (r == 0 && wrote) notify();
    emwOSWOrgFreeMemPart(0, work);
    return r;
}

} // namespace

// ---- the floors, one per function ----------------------------------------------------------

uint32_t floorGet(const Steps &t, void *rec) { return getRows(t, static_cast<uint8_t *>(rec)); }

uint32_t floorSetPop3(const ENTMLSTPOP3 *rec) {
    return setGroup(T.Pop3, rec, sizeof *rec, [] { mscMLPRNChgSchedule(0, 0); });
}
uint32_t floorSetPop3User(const ENTMLSTPOP3USER *rec) {
    return setGroup(T.Pop3User, rec, sizeof *rec, [] {});
}
uint32_t floorSetSmtp(const ENTMLSTSMTP *rec) {
    return setGroup(T.Smtp, rec, sizeof *rec, [rec] { mscMLRPTChgSMTPProtocol(rec->protocol); });
}
uint32_t floorSetSmtpEvent(const ENTMLSTSMTPEVENT *rec) {
    return setGroup(T.SmtpEvent, rec, sizeof *rec, [] { mscMLRPTChgEventReportTime(T.recipient); });
}
uint32_t floorSetSmtpSch(const ENTMLSTSMTPSCH *rec) {
    return setGroup(T.SmtpSch, rec, sizeof *rec, [] { mscMLRPTChgScheduleReportTime(T.recipient); });
}
// The last-send groups differ only in their rows.
uint32_t floorSetEvrLastSend(const ENTMLSTLASTSEND *rec) {
    return setGroup(T.EvrLastSend, rec, sizeof *rec, [] {});
}
uint32_t floorSetScrLastSend(const ENTMLSTLASTSEND *rec) {
    return setGroup(T.ScrLastSend, rec, sizeof *rec, [] {});
}
uint32_t floorSetMainteLastSend(const ENTMLSTLASTSEND *rec) {
    return setGroup(T.MainteLastSend, rec, sizeof *rec, [] {});
}
uint32_t floorSetMainte(const ENTMLSTMAINTE *rec) {
    return setGroup(T.Mainte, rec, sizeof *rec, [] { mscMLRPTChgMaintenanceReportTime(); });
}

uint32_t floorInit(uint32_t area) {
    uint32_t result = 0;
    uint8_t protocol = 0;
    if (mectInitDefault(T.id_kind, 0)) result = 1;
    if (mectSetDstProduct(T.id_kind, 0)) result = 2;
    if (mectSetDstArea(T.id_kind, area)) result = 3;
    if (meSTCGetStatus(ENTMLST_STATUS_AREA, T.protocol_id, &protocol)) result = 4;
    if (mscMLRPTChgSMTPProtocol(protocol)) result = 4;
    if (mscMLRPTChgEventReportTime(1)) result = 4;
    if (mscMLRPTChgEventReportTime(2)) result = 4;
    if (mscMLRPTChgEventReportTime(3)) result = 4;
    if (mscMLRPTChgScheduleReportTime(1)) result = 4;
    if (mscMLRPTChgScheduleReportTime(2)) result = 4;
    if (mscMLRPTChgScheduleReportTime(3)) result = 4;
    if (mscMLRPTChgMaintenanceReportTime()) result = 4;
    if (mscMLPRNChgSchedule(0, 0)) result = 5;
    return result;
}

uint32_t floorSyncMe() { return mectIdSync(T.id_sync_kind); }

uint32_t floorGetIpJob(uint32_t job, ENTMLSTIPJOB *rec) {
    auto *b = reinterpret_cast<uint8_t *>(rec);
    if (uint32_t r = jobGetRows(job, T.ip, b)) return r;
    if (uint32_t r = mectSVCGetParentLink(ENTMLST_LINK_SELECTOR, job, &rec->parent_job_id)) return r;
    return jobGetRows(rec->parent_job_id, T.parent, b);
}

uint32_t floorGetJobValue(uint32_t job, uint32_t value_id, void *dst) {
    return meSVCGetCurrent(job, value_id, dst);
}

uint32_t floorGetJobRows(uint32_t job, const Steps &t, void *rec) {
    return jobGetRows(job, t, static_cast<uint8_t *>(rec));
}

uint32_t floorGetFaxImgDataPath(uint32_t job, void *dst) {
    uint32_t link = 0;
    if (uint32_t r =
            mectSVCGetChildLink(ENTMLST_LINK_SELECTOR, job, T.fax_link_kind, T.fax_link_index, &link))
        return r;
    return meSVCGetCurrent(link, T.fax_path_value, dst);
}

uint32_t floorGetSendJobResult(uint32_t job, int32_t kind, int32_t capacity, ENTMLSTSENDRESULT *entries,
                               int32_t *count) {
    *count = 0;
    int32_t number = 0;
    if (uint32_t r = mectGetChildLinkNum(ENTMLST_LINK_SELECTOR, job, kind, &number)) return r;
    if (capacity < number) return 0;
    *count = number;
    for (int32_t i = 0; i < number; ++i) {
        uint8_t name[sizeof entries->name];
        uint8_t status = 0;
        std::memset(name, 0, sizeof name);
        uint32_t link = 0;
        if (uint32_t r = mectGetChildLink(ENTMLST_LINK_SELECTOR, job, kind, i, &link)) return r;
        if (uint32_t r = mectSVCGetCurrent(link, T.status_value, &status)) return r;
        if (uint32_t r = mectSVCGetCurrent(link, T.name_value, name)) return r;
        std::memcpy(entries[i].name, name, sizeof name);
        entries[i].status = status;
    }
    return 0;
}

uint32_t floorSetMailAttach(uint32_t job, const ENTMLSTMAILATTACH *rec) {
    return jobSetRows(job, T.attach, reinterpret_cast<const uint8_t *>(rec));
}

} // namespace floors
