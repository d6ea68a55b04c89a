// Every service call of every exported function made to fail in turn.
//
// Each case runs once cleanly to learn its service calls; then, for k = 1..n,
// the k-th call fails (and, where the service can do its work and still
// answer a failure, once more that way). A small model written here says
// how the function answers a failing service: result, monitor line, and
// whether it goes on. The simulator's logs show the rest: no later call,
// store changes only from writes made before the failure, the work buffer
// released once.
#include <tuple>
#include <functional>
#include <map>

#include "support/device.h"
#include "support/faults.h"

namespace {

using namespace corvel::test;
using S = devsim::Service;

// How a function answers one failing service.
struct Answer {
    uint32_t result;              // ignored when own_code
    const char *line = nullptr;   // prefix of the one monitor line; null: silent
    int id_arg = -1;              // argument of the failing call the line prints
    bool stops = true;            // false: the function goes on as if nothing failed
    bool shows_code = true;       // the line prints the service's answer
    bool own_code = false;        // the function returns the service's answer
};
using Model = std::map<S, Answer>;

constexpr const char *kStoreGet = "<Error>:meSTCGetStatus() is Failed!!!. id=0x";
constexpr const char *kSetShort = "<Error>:meSTCSetStatus() is Failed!.id=0x";
constexpr const char *kSetLong = "<Error>:meSTCSetStatus() is Failed!!!. id=0x";
constexpr const char *kJobGet = "<Error>:meSVCGetCurrent() is Failed!!!. ";
constexpr const char *kJobGetIp = "<Error>:meSVCGetCurrent() is Failed!!!. ipjobid=0x";

const Model kSettingGet = {{S::meSTCGetStatus, {ENTMLST_ERR_STATUS_GET, kStoreGet, 1}}};

Model settingSet(const char *nomem, const char *store_set, S notify = S::emwGENMonSendMessage,
                 const char *notify_line = nullptr) {
    Model m = kSettingGet;
    m[S::emwOSWOrgAllocMemPart] = {ENTMLST_ERR_NOMEM, nomem, -1, true, false};
    m[S::meSTCSetStatus] = {ENTMLST_ERR_STATUS_SET, store_set, 2};
    m[S::emwOSWOrgFreeMemPart] = {ENTMLST_OK, nullptr, -1, false};
    if (notify_line != nullptr) m[notify] = {ENTMLST_OK, notify_line, -1, false};
    return m;
}

const Model kSetPop3 = settingSet("<Error>[ENT_MLST]:ENTMLSTPOP3(work) enough memory.\n", kSetShort,
                                  S::mscMLPRNChgSchedule,
                                  "entMLSTSetPop3():[Error] mscMLPRNChgSchedule(0) code=0x");
const Model kSetPop3User =
    settingSet("<Error>[ENT_MLST]:ENTMLSTPOP3USER(work) enough memory.\n", kSetLong);
const Model kSetSmtp = settingSet("<Error>[ENT_MLST]:ENTMLSTSMTP(work) enough memory.\n", kSetShort,
                                  S::mscMLRPTChgSMTPProtocol,
                                  "entMLSTSetSmtp():[Error] mscMLRPTChgSMTPProtocol() code=0x");
const Model kSetEvent =
    settingSet("<Error>[ENT_MLST]:ENTMLSTSMTPEVENT(work) enough memory.\n", kSetLong,
               S::mscMLRPTChgEventReportTime,
               "entMLSTSetSmtpEvent():[Error] mscMLRPTChgEventReportTime() code=0x");
const Model kSetSch =
    settingSet("<Error>[ENT_MLST]:ENTMLSTSMTPSCH(work) enough memory.\n", kSetLong,
               S::mscMLRPTChgScheduleReportTime,
               "entMLSTSetSmtpSch():[Error] mscMLRPTChgScheduleReportTime() code=0x");
const Model kSetLastSend =
    settingSet("<Error>[ENT_MLST]:ENTMLSTLASTSEND(work) enough memory.\n", kSetLong);
// The maintenance record's word in its out-of-memory text is the library's own.
const Model kSetMainte = settingSet("<Error>[ENT_MLST]:", kSetShort, S::mscMLRPTChgMaintenanceReportTime,
                                    "entMLSTSetMainte():[Error] mscMLRPTChgMaintenanceReportTime() code=0x");

const Model kJobRead = {{S::meSVCGetCurrent, {ENTMLST_ERR_JOB_GET, kJobGetIp, 1}}};
const Model kIpJob = {
    {S::meSVCGetCurrent, {ENTMLST_ERR_JOB_GET, kJobGet, 1}},
    {S::mectSVCGetParentLink,
     {ENTMLST_ERR_PARENT_LINK, "<Error>:mectSVCGetParentLink() is Failed!!!. id=", 1}}};
const Model kFaxImgDataPath = {
    {S::mectSVCGetChildLink,
     {ENTMLST_ERR_CHILD_LINK, "<Error>:mectSVCGetChildLink() is Failed!!!. ipjobid=0x", 1}},
    {S::meSVCGetCurrent, {ENTMLST_ERR_JOB_GET, kJobGetIp, 0}}};
const Model kSendJobResult = {{S::mectGetChildLinkNum, {0, nullptr, -1, true, true, true}},
                              {S::mectGetChildLink, {0, nullptr, -1, true, true, true}},
                              {S::mectSVCGetCurrent, {0, nullptr, -1, true, true, true}}};
const Model kMailAttach = {
    {S::meSVCSetCurrent,
     {ENTMLST_ERR_JOB_SET, "<Error>:meSVCSetCurrent() is Failed!!!. ipjobid=0x", 2}}};

Answer initStep(uint32_t code, const char *line) { return {code, line, -1, false}; }
const Model kInit = {
    {S::mectInitDefault, initStep(ENTMLST_ERR_INIT_DEFAULT, "entMLSTInit():[Error] mectINITDefault() code=0x")},
    {S::mectSetDstProduct, initStep(ENTMLST_ERR_DST_PRODUCT, "entMLSTInit():[Error] mectSetDstProduct() code=0x")},
    {S::mectSetDstArea, initStep(ENTMLST_ERR_DST_AREA, "entMLSTInit():[Error] mectSetDstArea() code=0x")},
    {S::meSTCGetStatus, initStep(ENTMLST_ERR_NOTIFY, "entMLSTInit():[Error] meSTCGetStatus() code=0x")},
    {S::mscMLRPTChgSMTPProtocol,
     initStep(ENTMLST_ERR_NOTIFY, "entMLSTInit():[Error] mscMLRPTChgSMTPProtocol() code=0x")},
    {S::mscMLRPTChgEventReportTime,
     initStep(ENTMLST_ERR_NOTIFY, "entMLSTInit():[Error] mscMLRPTChgEventReportTime() code=0x")},
    {S::mscMLRPTChgScheduleReportTime,
     initStep(ENTMLST_ERR_NOTIFY, "entMLSTInit():[Error] mscMLRPTChgScheduleReportTime() code=0x")},
    {S::mscMLRPTChgMaintenanceReportTime,
     initStep(ENTMLST_ERR_NOTIFY, "entMLSTInit():[Error] mscMLRPTChgMaintenanceReportTime() code=0x")},
    {S::mscMLPRNChgSchedule,
     initStep(ENTMLST_ERR_SCHEDULE, "entMLSTInit():[Error] mscMLPRNChgSchedule(0,0) code=0x")}};
const Model kSyncMe = {
    {S::mectIdSync, {ENTMLST_ERR_ID_SYNC, "entMLSTSyncMe():[Error] mectIdSync code=0x"}}};

// Caller records, shared by the cases (each setup fills what its run uses).
struct Records {
    ENTMLSTPOP3 pop3;
    ENTMLSTPOP3USER user;
    ENTMLSTSMTP smtp;
    ENTMLSTSMTPEVENT event;
    ENTMLSTSMTPSCH sch;
    ENTMLSTLASTSEND last;
    ENTMLSTMAINTE mainte;
    ENTMLSTCOUNTER counter;
    ENTMLSTSUBJECT subject;
    ENTMLSTHOSTBUFFER host;
    ENTMLSTIPJOB ipjob;
    uint8_t path[ENTMLST_JOB_PATH_SIZE];
    ENTMLSTSENDRESULT entries[4];
    int32_t count;
    ENTMLSTPRNJOBEND prn;
    ENTMLSTCURSEND cur;
    ENTMLSTMAILATTACH attach;
} R;

struct Case {
    std::string name;
    const Model *model;
    std::function<void()> setup;
    std::function<uint32_t()> run;
};

template <typename Rec>
void flip(Rec &rec) {
    auto *p = reinterpret_cast<uint8_t *>(&rec);
    for (std::size_t i = 0; i < sizeof rec; ++i) p[i] ^= 0x5a;
}

// A Set case: the caller's record is the stored one, changed or not.
template <typename Rec, typename Get, typename Set>
Case setCase(const std::string &name, const Model &m, Rec &rec, Get get, Set set, uint32_t mask,
             bool change) {
    return {name + " mask=0x" + hex(mask) + (change ? " changed" : " unchanged"), &m,
            [&rec, get, change] {
                ASSERT_EQ(get(&rec), ENTMLST_OK);
                if (change) flip(rec);
            },
            [&rec, set, mask] { return set(mask, &rec); }};
}

template <typename Rec, typename Get>
Case getCase(const std::string &name, const Model &m, Rec &rec, Get get) {
    return {name, &m, [&rec] { rec = filled<Rec>(0xee); }, [&rec, get] { return get(&rec); }};
}

constexpr uint32_t kJob = 0x1a, kParent = 0xabcd1234, kImageLink = 0x4001;

// A job with a parent and children of every kind; fax child 0x501 has an
// empty name, so its fallback name is read too.
void jobWorld() {
    devsim::setParentLink(kJob, kParent);
    devsim::addChildLink(kJob, 0x1000, kImageLink);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x501);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x502);
    ASSERT_TRUE(devsim::putJobValue(0x502, 0x00716800, {'f', 'a', 'x'}));
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_MAIL, 0x601);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0100, 0x701);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0200, 0x801);
}

std::vector<Case> allCases() {
    std::vector<Case> c;
    const uint32_t all = 0xffffffff;
    // Start-up.
    c.push_back({"entMLSTInit", &kInit, [] {}, [] { return entMLSTInit(0x77); }});
    c.push_back({"entMLSTSyncMe", &kSyncMe, [] {}, [] { return entMLSTSyncMe(); }});

    // Single-instance groups.
    auto getPop3 = [](ENTMLSTPOP3 *r) { return entMLSTGetPop3(r); };
    c.push_back(getCase("entMLSTGetPop3", kSettingGet, R.pop3, getPop3));
    for (uint32_t mask : {0x0u, 0x3u, 0x1ffcu, all})
        c.push_back(setCase("entMLSTSetPop3", kSetPop3, R.pop3, getPop3, entMLSTSetPop3, mask, true));
    c.push_back(setCase("entMLSTSetPop3", kSetPop3, R.pop3, getPop3, entMLSTSetPop3, all, false));

    auto getSmtp = [](ENTMLSTSMTP *r) { return entMLSTGetSmtp(r); };
    c.push_back(getCase("entMLSTGetSmtp", kSettingGet, R.smtp, getSmtp));
    for (uint32_t mask : {0x1u, 0xfffffeu, all})
        c.push_back(setCase("entMLSTSetSmtp", kSetSmtp, R.smtp, getSmtp, entMLSTSetSmtp, mask, true));
    c.push_back(setCase("entMLSTSetSmtp", kSetSmtp, R.smtp, getSmtp, entMLSTSetSmtp, all, false));

    auto getMainte = [](ENTMLSTMAINTE *r) { return entMLSTGetMainte(r); };
    c.push_back(getCase("entMLSTGetMainte", kSettingGet, R.mainte, getMainte));
    for (uint32_t mask : {0x7u, 0x1f8u, all})
        c.push_back(setCase("entMLSTSetMainte", kSetMainte, R.mainte, getMainte, entMLSTSetMainte, mask, true));
    c.push_back(setCase("entMLSTSetMainte", kSetMainte, R.mainte, getMainte, entMLSTSetMainte, all, false));

    auto getMls = [](ENTMLSTLASTSEND *r) { return entMLSTGetMainteLastSend(r); };
    c.push_back(getCase("entMLSTGetMainteLastSend", kSettingGet, R.last, getMls));
    for (uint32_t mask : {0x3u, ENTMLST_MASK_MAINTE_LASTSEND})
        c.push_back(setCase("entMLSTSetMainteLastSend", kSetLastSend, R.last, getMls,
                            entMLSTSetMainteLastSend, mask, true));

    c.push_back(getCase("entMLSTCounter", kSettingGet, R.counter, entMLSTCounter));
    c.push_back(getCase("entMLSTGetSubject", kSettingGet, R.subject, entMLSTGetSubject));
    c.push_back(getCase("entMLSTGetHostBuffer", kSettingGet, R.host, entMLSTGetHostBuffer));

    // Per-recipient groups, every recipient.
    for (uint32_t n = 1; n <= 3; ++n) {
        const std::string r = " recipient " + std::to_string(n);
        auto getUser = [n](ENTMLSTPOP3USER *p) { return entMLSTGetPop3User(n, p); };
        auto setUser = [n](uint32_t m, const ENTMLSTPOP3USER *p) { return entMLSTSetPop3User(m, n, p); };
        c.push_back(getCase("entMLSTGetPop3User" + r, kSettingGet, R.user, getUser));
        c.push_back(setCase("entMLSTSetPop3User" + r, kSetPop3User, R.user, getUser, setUser, all, n != 3));

        auto getEvent = [n](ENTMLSTSMTPEVENT *p) { return entMLSTGetSmtpEvent(n, p); };
        auto setEvent = [n](uint32_t m, const ENTMLSTSMTPEVENT *p) { return entMLSTSetSmtpEvent(m, n, p); };
        c.push_back(getCase("entMLSTGetSmtpEvent" + r, kSettingGet, R.event, getEvent));
        for (uint32_t mask : {0x1ffu, 0x200u, all})
            c.push_back(setCase("entMLSTSetSmtpEvent" + r, kSetEvent, R.event, getEvent, setEvent, mask, true));

        auto getSch = [n](ENTMLSTSMTPSCH *p) { return entMLSTGetSmtpSch(n, p); };
        auto setSch = [n](uint32_t m, const ENTMLSTSMTPSCH *p) { return entMLSTSetSmtpSch(m, n, p); };
        c.push_back(getCase("entMLSTGetSmtpSch" + r, kSettingGet, R.sch, getSch));
        for (uint32_t mask : {0x7u, 0x1f8u, all})
            c.push_back(setCase("entMLSTSetSmtpSch" + r, kSetSch, R.sch, getSch, setSch, mask, true));

        auto getEvr = [n](ENTMLSTLASTSEND *p) { return entMLSTGetEvrLastSend(n, p); };
        auto setEvr = [n](uint32_t m, const ENTMLSTLASTSEND *p) { return entMLSTSetEvrLastSend(m, n, p); };
        auto getScr = [n](ENTMLSTLASTSEND *p) { return entMLSTGetScrLastSend(n, p); };
        auto setScr = [n](uint32_t m, const ENTMLSTLASTSEND *p) { return entMLSTSetScrLastSend(m, n, p); };
        c.push_back(getCase("entMLSTGetEvrLastSend" + r, kSettingGet, R.last, getEvr));
        c.push_back(getCase("entMLSTGetScrLastSend" + r, kSettingGet, R.last, getScr));
        for (uint32_t mask : {all, 0x6u})
            c.push_back(setCase("entMLSTSetEvrLastSend" + r, kSetLastSend, R.last, getEvr, setEvr, mask, true));
        for (uint32_t mask : {all, 0x5u})
            c.push_back(setCase("entMLSTSetScrLastSend" + r, kSetLastSend, R.last, getScr, setScr, mask, true));
    }

    // Job information.
    c.push_back({"entMLSTGetIpJob", &kIpJob, jobWorld, [] { return entMLSTGetIpJob(kJob, &R.ipjob); }});
    c.push_back({"entMLSTGetIpJobRst", &kJobRead, jobWorld,
                 [] { return entMLSTGetIpJobRst(kJob, 0x00318002, R.path); }});
    c.push_back({"entMLSTGetIpJobBox", &kJobRead, jobWorld, [] { return entMLSTGetIpJobBox(kJob, R.path); }});
    c.push_back({"entMLSTGetFaxRepAddImg", &kJobRead, jobWorld,
                 [] { return entMLSTGetFaxRepAddImg(kJob, R.path); }});
    c.push_back({"entMLSTGetFaxImgDataPath", &kFaxImgDataPath, jobWorld,
                 [] { return entMLSTGetFaxImgDataPath(kJob, R.path); }});
    for (int32_t kind : {ENTMLST_LINK_KIND_FAX, ENTMLST_LINK_KIND_MAIL, ENTMLST_LINK_KIND_0100,
                         ENTMLST_LINK_KIND_0200})
        c.push_back({"entMLSTGetSendJobResult kind 0x" + hex(uint32_t(kind)), &kSendJobResult, jobWorld,
                     [kind] { return entMLSTGetSendJobResult(kJob, kind, 4, R.entries, &R.count); }});
    c.push_back({"entMLSTGetPrnJobEnd", &kJobRead, jobWorld, [] { return entMLSTGetPrnJobEnd(kJob, &R.prn); }});
    c.push_back({"entMLSTGetCurSend", &kJobRead, jobWorld, [] { return entMLSTGetCurSend(kJob, &R.cur); }});
    c.push_back({"entMLSTSetMailAttach", &kMailAttach,
                 [] {
                     jobWorld();
                     R.attach = filled<ENTMLSTMAILATTACH>(0x03);
                 },
                 [] { return entMLSTSetMailAttach(kJob, &R.attach); }});
    return c;
}

class FaultSweep : public DeviceTest {
protected:
    // Fresh device, the case's inputs, an empty log.
    static void prepare(const Case &c) {
        devsim::reset();
        devsim::fakeSleep(true);
        c.setup();
        devsim::clearCalls();
    }

    // One failure point: the k-th call of the clean run fails.
    static void check(const Case &c, const std::vector<devsim::Call> &clean,
                      const devsim::State &before, const devsim::State &clean_after, std::size_t k,
                      bool write_first) {
        const devsim::Call &failing = clean[k - 1];
        const Answer &a = c.model->at(failing.service);
        const uint32_t code = 0x0bad0000u + uint32_t(k);
        SCOPED_TRACE(c.name + ": call " + std::to_string(k) + " " + devsim::serviceName(failing.service) +
                     (write_first ? " (write first)" : ""));
        prepare(c);
        failAt(clean, k, code, write_first);
        const uint32_t result = c.run();
        const auto log = serviceCalls();
        const auto lines = devsim::monitor();

        EXPECT_EQ(result, a.own_code ? code : a.result);

        ASSERT_EQ(lines.size(), a.line ? 1u : 0u);
        if (a.line != nullptr) {
            const auto &l = lines[0];
            EXPECT_EQ(l.text.rfind(a.line, 0), 0u) << l.text;
            EXPECT_EQ(std::tie(l.module, l.msg_class, l.zero), std::make_tuple(0x7302u, 0x102u, 0u));
            if (a.shows_code) {
                EXPECT_NE(l.text.find("0x" + hex(code)), std::string::npos) << l.text;
            }
            if (a.id_arg >= 0) {
                EXPECT_NE(l.text.find(hex(failing.args[a.id_arg])), std::string::npos) << l.text;
            }
        }

        // No later call, except the release of a block that was handed out.
        auto want = servicesOf(clean);
        if (a.stops) {
            bool handed_out = failing.service == S::emwOSWOrgAllocMemPart && write_first;
            for (std::size_t i = 0; i + 1 < k; ++i) handed_out |= clean[i].service == S::emwOSWOrgAllocMemPart;
            want.resize(k - 1);
            want.push_back(failing.service);
            if (handed_out) want.push_back(S::emwOSWOrgFreeMemPart);
        }
        EXPECT_EQ(servicesOf(log), want);

        // The store holds exactly the writes made before the failure.
        std::set<Key> written;
        for (std::size_t i = 0; i < k; ++i) {
            Key key;
            bool took_effect = i + 1 < k || write_first || !a.stops;
            if (writeKey(clean[i], key) && took_effect && valueAt(clean_after, key) != valueAt(before, key))
                written.insert(key);
        }
        if (!a.stops) written = changedKeys(before, clean_after);
        const devsim::State after = devsim::exportState();
        EXPECT_EQ(changedKeys(before, after), written);
        for (const Key &key : written) EXPECT_EQ(valueAt(after, key), valueAt(clean_after, key));

        // Work buffer released exactly once (a failing release keeps its block).
        const auto mem = devsim::memStats();
        const bool free_failed = failing.service == S::emwOSWOrgFreeMemPart;
        EXPECT_EQ(mem.frees + (free_failed ? 1 : 0), mem.allocs);
        EXPECT_TRUE(devsim::violations().empty()) << firstViolation();
    }
};

TEST_F(FaultSweep, EveryFailurePointAnswersAsTheModelSays) {
    std::size_t points = 0, cases = 0;
    for (const Case &c : allCases()) {
        SCOPED_TRACE(c.name);
        prepare(c);
        const devsim::State before = devsim::exportState();
        ASSERT_EQ(c.run(), ENTMLST_OK);
        EXPECT_TRUE(devsim::monitor().empty());
        const auto clean = serviceCalls();
        const devsim::State clean_after = devsim::exportState();
        for (const auto &call : clean)
            ASSERT_TRUE(c.model->count(call.service)) << "unexpected call of " << devsim::serviceName(call.service);

        for (std::size_t k = 1; k <= clean.size(); ++k) {
            for (bool write_first : {false, true}) {
                if (write_first && !writesBeforeFailing(clean[k - 1].service)) continue;
                check(c, clean, before, clean_after, k, write_first);
                ++points;
            }
        }
        ++cases;
    }
    devsim::reset(); // a failed release leaves its block behind
    std::printf("fault sweep: %zu failure points over %zu cases\n", points, cases);
    RecordProperty("failure_points", static_cast<int>(points));
}

} // namespace
