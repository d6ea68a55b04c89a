// The exported functions as the table-driven suites call them: every setting
// group through one signature, and a job with a parent and children; with the
// fixture and the fault helpers, all a suite of the library includes.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <type_traits>
#include <vector>

#include "corvellib.h"
#include "devsim.h"
#include "functions.h"
#include "support/device.h"
#include "support/faults.h"

namespace corvel::test {

using S = devsim::Service;

// What a setting group should do, written here on its own: the registry
// only says which groups exist. The entries give the members in order.
struct GroupExpect {
    std::size_t rows;
    uint32_t row_mask;                    // change-mask bits that select a row
    uint32_t notify_mask;                 // rows whose change is announced
    devsim::Service notify;               // emwGENMonSendMessage: the group announces nothing
    std::vector<std::size_t> gaps;        // record bytes that belong to no stored value
    const char *param_line;               // null record; null: refused silently
    const char *nomem_line = nullptr;     // prefix of the work-buffer text
    const char *store_set_line = nullptr; // prefix of a failed store write
    const char *notify_line = nullptr;    // prefix of a failed announcement
};

// One setting group as a caller sees it: its functions behind one
// signature, and what it should do.
struct GroupCase : GroupExpect {
    const char *name;
    std::size_t size;
    bool per_recipient;
    corvel::registry::GetFn get;
    corvel::registry::SetFn set; // null: read only
};

inline constexpr S kNone = S::emwGENMonSendMessage;
inline constexpr const char *kParam = "<Error>:param is Failed!\n";
inline constexpr const char *kParamLastSend = "<Error>:param(lastsend) is Failed!\n";
inline constexpr const char *kSetShort = "<Error>:meSTCSetStatus() is Failed!.id=0x";
inline constexpr const char *kSetLong = "<Error>:meSTCSetStatus() is Failed!!!. id=0x";
inline constexpr const char *kNomemLastSend = "<Error>[ENT_MLST]:ENTMLSTLASTSEND(work) enough memory.\n";

template <typename R>
R *as(void *p) {
    return static_cast<R *>(p);
}

namespace reg = corvel::registry;

// The job functions that read a record or a value, as the suites call them.
struct JobReader {
    const char *name;
    std::size_t size; // of the caller's record or destination
    std::function<uint32_t(uint32_t job, void *rec)> run;
};
inline const JobReader kJobReaders[] = {
    {"GetIpJob", sizeof(ENTMLSTIPJOB),
     [](uint32_t j, void *r) { return entMLSTGetIpJob(j, as<ENTMLSTIPJOB>(r)); }},
    {"GetIpJobRst", 256, [](uint32_t j, void *r) { return entMLSTGetIpJobRst(j, 0x00318003, r); }},
    {"GetIpJobBox", ENTMLST_JOB_PATH_SIZE, entMLSTGetIpJobBox},
    {"GetFaxRepAddImg", ENTMLST_FAX_REP_ADD_IMG_SIZE, entMLSTGetFaxRepAddImg},
    {"GetFaxImgDataPath", ENTMLST_JOB_PATH_SIZE, entMLSTGetFaxImgDataPath},
    {"GetPrnJobEnd", sizeof(ENTMLSTPRNJOBEND),
     [](uint32_t j, void *r) { return entMLSTGetPrnJobEnd(j, as<ENTMLSTPRNJOBEND>(r)); }},
    {"GetCurSend", sizeof(ENTMLSTCURSEND),
     [](uint32_t j, void *r) { return entMLSTGetCurSend(j, as<ENTMLSTCURSEND>(r)); }},
};

// The three last-send groups differ only in the mask bit of their one row.
inline GroupExpect lastSend(uint32_t row_mask) {
    return {1, row_mask, 0, kNone, {}, kParamLastSend, kNomemLastSend, kSetLong};
}
inline GroupExpect writable(std::size_t n, uint32_t rows, uint32_t notified, S notify,
                            std::vector<std::size_t> gaps, const char *param, const char *nomem,
                            const char *set, const char *notify_line = nullptr) {
    return {n, rows, notified, notify, std::move(gaps), param, nomem, set, notify_line};
}
inline GroupExpect readOnly(std::size_t rows, const char *param) { return {rows, 0, 0, kNone, {}, param}; }

// Every group the registry lists needs its entry here, named as there.
namespace expect {
inline const GroupExpect Pop3 =
    writable(13, 0x1fff, 0x3, S::mscMLPRNChgSchedule,
             {offsetof(ENTMLSTPOP3, reserved_001), offsetof(ENTMLSTPOP3, reserved_145)}, kParam,
             "<Error>[ENT_MLST]:ENTMLSTPOP3(work) enough memory.\n", kSetShort,
             "entMLSTSetPop3():[Error] mscMLPRNChgSchedule(0) code=0x");
inline const GroupExpect Pop3User = writable(
    11, 0x7ff, 0, kNone, {offsetof(ENTMLSTPOP3USER, reserved_081)}, "<Error>:param(pop3user) is Failed!\n",
    "<Error>[ENT_MLST]:ENTMLSTPOP3USER(work) enough memory.\n", kSetLong);
inline const GroupExpect Smtp = writable(24, 0xffffff, 0x1, S::mscMLRPTChgSMTPProtocol,
                                         {offsetof(ENTMLSTSMTP, reserved_001), 0x40b, 0x40c, 0x40d}, kParam,
                                         "<Error>[ENT_MLST]:ENTMLSTSMTP(work) enough memory.\n", kSetShort,
                                         "entMLSTSetSmtp():[Error] mscMLRPTChgSMTPProtocol() code=0x");
inline const GroupExpect SmtpEvent = writable(
    10, 0x3ff, 0x200, S::mscMLRPTChgEventReportTime, {offsetof(ENTMLSTSMTPEVENT, reserved_187)},
    "<Error>:param(smtpevent) is Failed!\n", "<Error>[ENT_MLST]:ENTMLSTSMTPEVENT(work) enough memory.\n",
    kSetLong, "entMLSTSetSmtpEvent():[Error] mscMLRPTChgEventReportTime() code=0x");
inline const GroupExpect SmtpSch =
    writable(9, 0x1ff, 0x1f8, S::mscMLRPTChgScheduleReportTime, {}, "<Error>:param(smtpsch) is Failed!\n",
             "<Error>[ENT_MLST]:ENTMLSTSMTPSCH(work) enough memory.\n", kSetLong,
             "entMLSTSetSmtpSch():[Error] mscMLRPTChgScheduleReportTime() code=0x");
// The maintenance record's word in its out-of-memory text is the library's own.
inline const GroupExpect Mainte = writable(
    9, 0x1ff, 0x1f8, S::mscMLRPTChgMaintenanceReportTime, {offsetof(ENTMLSTMAINTE, reserved_193)}, kParam,
    "<Error>[ENT_MLST]:", kSetShort, "entMLSTSetMainte():[Error] mscMLRPTChgMaintenanceReportTime() code=0x");
inline const GroupExpect EvrLastSend = lastSend(ENTMLST_MASK_EVR_LASTSEND);
inline const GroupExpect ScrLastSend = lastSend(ENTMLST_MASK_SCR_LASTSEND);
inline const GroupExpect MainteLastSend = lastSend(ENTMLST_MASK_MAINTE_LASTSEND);
inline const GroupExpect Counter = readOnly(16, kParam), Subject = readOnly(6, kParam);
inline const GroupExpect HostBuffer = readOnly(2, nullptr); // refused silently
} // namespace expect

#define CORVEL_GROUP_CASE(Name, tool, summary, Rec, rows, inst, access, Get, Set)                            \
    GroupCase{expect::Name,                                                                                  \
              #Name,                                                                                         \
              sizeof(Rec),                                                                                   \
              reg::Instances::inst == reg::Instances::per_recipient,                                         \
              reg::uniformGet<Get, Rec, reg::Instances::inst>,                                               \
              reg::uniformSet<Set, Rec, reg::Instances::inst>()},
inline const GroupCase kGroups[] = {ENTMLST_SETTING_GROUPS(CORVEL_GROUP_CASE)};
#undef CORVEL_GROUP_CASE

// Start-up's calls in order, with destination area 0x77 (the first two
// arguments at most: the store read's third is a local), and how start-up
// answers each one failing: its code, and the call as its line names it.
struct InitStep {
    S service;
    std::vector<uint64_t> args;
    uint32_t result;
    const char *call;
};
inline constexpr uint32_t kProtocolId = 0x85005fec;
inline const InitStep kInitSteps[] = {
    {S::mectInitDefault, {8, 0}, ENTMLST_ERR_INIT_DEFAULT, "mectINITDefault()"},
    {S::mectSetDstProduct, {8, 0}, ENTMLST_ERR_DST_PRODUCT, "mectSetDstProduct()"},
    {S::mectSetDstArea, {8, 0x77}, ENTMLST_ERR_DST_AREA, "mectSetDstArea()"},
    {S::meSTCGetStatus, {ENTMLST_STATUS_AREA, kProtocolId}, ENTMLST_ERR_NOTIFY, "meSTCGetStatus()"},
    {S::mscMLRPTChgSMTPProtocol, {0}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgSMTPProtocol()"},
    {S::mscMLRPTChgEventReportTime, {1}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgEventReportTime()"},
    {S::mscMLRPTChgEventReportTime, {2}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgEventReportTime()"},
    {S::mscMLRPTChgEventReportTime, {3}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgEventReportTime()"},
    {S::mscMLRPTChgScheduleReportTime, {1}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgScheduleReportTime()"},
    {S::mscMLRPTChgScheduleReportTime, {2}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgScheduleReportTime()"},
    {S::mscMLRPTChgScheduleReportTime, {3}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgScheduleReportTime()"},
    {S::mscMLRPTChgMaintenanceReportTime, {}, ENTMLST_ERR_NOTIFY, "mscMLRPTChgMaintenanceReportTime()"},
    {S::mscMLPRNChgSchedule, {0, 0}, ENTMLST_ERR_SCHEDULE, "mscMLPRNChgSchedule(0,0)"},
};

inline std::vector<uint32_t> recipientsOf(const GroupCase &g) {
    return g.per_recipient ? std::vector<uint32_t>{1, 2, 3} : std::vector<uint32_t>{0};
}

// Every stored setting gets random bytes, so that each value is told apart
// from its neighbours byte for byte.
inline void randomStore(std::mt19937 &rng) {
    devsim::State s = devsim::exportState();
    for (auto &[id, value] : s.settings)
        for (auto &b : value) b = static_cast<uint8_t>(rng());
    devsim::importState(s);
}

constexpr uint32_t kJob = 0x1a, kParent = 0xabcd1234, kImageLink = 0x4001;

// A job with a parent, the fax image link and children of every kind; fax
// child 0x501 has an empty name, so its fallback name is read too.
inline void jobWorld() {
    devsim::setParentLink(kJob, kParent);
    devsim::addChildLink(kJob, 0x1000, kImageLink);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x501);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x502);
    EXPECT_TRUE(devsim::putJobValue(0x502, 0x00716800, {'f', 'a', 'x'}));
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_MAIL, 0x601);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0100, 0x701);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0200, 0x801);
}

} // namespace corvel::test
