// Every service call of every exported function made to fail in turn.
//
// Each case runs once cleanly to learn its service calls; then, for k = 1..n,
// the k-th call fails (and, where the service can do its work and still
// answer a failure, once more that way). A small model written here says
// how the function answers a failing service: result, monitor line, and
// whether it goes on. The simulator's logs show the rest: no later call,
// store changes only from writes made before the failure, the work buffer
// released once.
#include <functional>
#include <map>
#include <tuple>

#include "support/cases.h"

namespace {

using namespace corvel::test;

// How a function answers one failing service.
struct Answer {
    uint32_t result;            // ignored when own_code
    const char *line = nullptr; // prefix of the one monitor line; null: silent
    int id_arg = -1;            // argument of the failing call the line prints
    bool stops = true;          // false: the function goes on as if nothing failed
    bool shows_code = true;     // the line prints the service's answer
    bool own_code = false;      // the function returns the service's answer
};
using Model = std::map<S, Answer>;

constexpr const char *kStoreGet = "<Error>:meSTCGetStatus() is Failed!!!. id=0x";
constexpr const char *kJobGet = "<Error>:meSVCGetCurrent() is Failed!!!. ";
constexpr const char *kJobGetIp = "<Error>:meSVCGetCurrent() is Failed!!!. ipjobid=0x";

const Model kSettingGet = {{S::meSTCGetStatus, {ENTMLST_ERR_STATUS_GET, kStoreGet, 1}}};

Model settingSet(const GroupCase &g) {
    Model m = kSettingGet;
    m[S::emwOSWOrgAllocMemPart] = {ENTMLST_ERR_NOMEM, g.nomem_line, -1, true, false};
    m[S::meSTCSetStatus] = {ENTMLST_ERR_STATUS_SET, g.store_set_line, 2};
    m[S::emwOSWOrgFreeMemPart] = {ENTMLST_OK, nullptr, -1, false};
    if (g.notify_line != nullptr) m[g.notify] = {ENTMLST_OK, g.notify_line, -1, false};
    return m;
}

const Model kJobRead = {{S::meSVCGetCurrent, {ENTMLST_ERR_JOB_GET, kJobGetIp, 1}}};
const Model kIpJob = {{S::meSVCGetCurrent, {ENTMLST_ERR_JOB_GET, kJobGet, 1}},
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
    {S::meSVCSetCurrent, {ENTMLST_ERR_JOB_SET, "<Error>:meSVCSetCurrent() is Failed!!!. ipjobid=0x", 2}}};

// Start-up goes on after a failing step.
const Model kInit = [] {
    static std::string text[std::size(kInitSteps)];
    Model m;
    for (std::size_t i = 0; i < std::size(text); ++i) {
        text[i] = "entMLSTInit():[Error] " + std::string(kInitSteps[i].call) + " code=0x";
        m[kInitSteps[i].service] = {kInitSteps[i].result, text[i].c_str(), -1, false};
    }
    return m;
}();
const Model kSyncMe = {{S::mectIdSync, {ENTMLST_ERR_ID_SYNC, "entMLSTSyncMe():[Error] mectIdSync code=0x"}}};

// The caller's record or destination, shared by the cases (each setup fills
// what its run uses).
alignas(8) uint8_t R[2048];
ENTMLSTSENDRESULT entries[4];
int32_t count;

struct Case {
    std::string name;
    Model model;
    std::function<void()> setup;
    std::function<uint32_t()> run;
};

std::vector<Case> allCases() {
    std::vector<Case> c;
    const uint32_t all = 0xffffffff;
    // Start-up.
    c.push_back({"entMLSTInit", kInit, [] {}, [] { return entMLSTInit(0x77); }});
    c.push_back({"entMLSTSyncMe", kSyncMe, [] {}, [] { return entMLSTSyncMe(); }});

    // Every setting group and recipient: the Get, and Sets of the stored
    // record changed in every byte (every row, the announced rows only, the
    // others only) or unchanged.
    for (const GroupCase &g : kGroups) {
        for (uint32_t n : recipientsOf(g)) {
            const std::string name = std::string(g.name) + " recipient " + std::to_string(n);
            c.push_back({"Get " + name, kSettingGet, [&g] { std::memset(R, 0xee, g.size); },
                         [&g, n] { return g.get(n, R); }});
            if (g.set == nullptr) continue;
            struct Set {
                uint32_t mask;
                bool change;
            };
            std::vector<Set> sets{{all, true}, {all, false}, {g.notify_mask, true}};
            if (g.notify_mask != 0) sets.push_back({~g.notify_mask, true});
            for (const Set s : sets) {
                c.push_back(
                    {"Set " + name + " mask=0x" + hex(s.mask) + (s.change ? " changed" : " unchanged"),
                     settingSet(g),
                     [&g, n, s] {
                         ASSERT_EQ(g.get(n, R), ENTMLST_OK);
                         for (std::size_t i = 0; s.change && i < g.size; ++i) R[i] ^= 0x5a;
                     },
                     [&g, n, s] { return g.set(s.mask, n, R); }});
            }
        }
    }

    // Job information.
    for (const JobReader &r : kJobReaders) {
        const std::string name = r.name;
        const Model &m = name == "GetIpJob"            ? kIpJob
                         : name == "GetFaxImgDataPath" ? kFaxImgDataPath
                                                       : kJobRead;
        c.push_back({"entMLST" + name, m, jobWorld, [&r] { return r.run(kJob, R); }});
    }
    for (int32_t kind :
         {ENTMLST_LINK_KIND_FAX, ENTMLST_LINK_KIND_MAIL, ENTMLST_LINK_KIND_0100, ENTMLST_LINK_KIND_0200})
        c.push_back({"entMLSTGetSendJobResult kind 0x" + hex(uint32_t(kind)), kSendJobResult, jobWorld,
                     [kind] { return entMLSTGetSendJobResult(kJob, kind, 4, entries, &count); }});
    c.push_back({"entMLSTSetMailAttach", kMailAttach,
                 [] {
                     jobWorld();
                     std::memset(R, 0x03, sizeof(ENTMLSTMAILATTACH));
                 },
                 [] { return entMLSTSetMailAttach(kJob, as<ENTMLSTMAILATTACH>(R)); }});
    return c;
}

class FaultSweep : public DeviceTest {
protected:
    // Fresh device, the case's inputs, an empty log.
    static void prepare(const Case &c) {
        devsim::reset();
        devsim::fakeSleep(true);
        c.setup();
        simtest::clearCalls();
    }

    // One failure point: the k-th call of the clean run fails.
    static void check(const Case &c, const std::vector<simtest::Call> &clean, const devsim::State &before,
                      const devsim::State &clean_after, std::size_t k, bool write_first) {
        const simtest::Call &failing = clean[k - 1];
        const Answer &a = c.model.at(failing.service);
        const uint32_t code = 0x0bad0000u + uint32_t(k);
        SCOPED_TRACE(c.name + ": call " + std::to_string(k) + " " + devsim::serviceName(failing.service) +
                     (write_first ? " (write first)" : ""));
        prepare(c);
        failAt(clean, k, code, write_first);
        const uint32_t result = c.run();
        const auto log = serviceCalls();
        const auto lines = simtest::monitor();

        EXPECT_EQ(result, a.own_code ? code : a.result);

        ASSERT_EQ(lines.size(), a.line ? 1u : 0u);
        if (a.line != nullptr) {
            const auto &l = lines[0];
            EXPECT_EQ(l.text.rfind(a.line, 0), 0u) << l.text;
            EXPECT_EQ(l.args, (std::vector<uint64_t>{0x7302, 0x102, 0}));
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
            for (std::size_t i = 0; i + 1 < k; ++i)
                handed_out |= clean[i].service == S::emwOSWOrgAllocMemPart;
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

        // Work buffer released exactly once, also when the release itself fails.
        const auto mem = devsim::memStats();
        EXPECT_EQ(mem.frees, mem.allocs);
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
        EXPECT_TRUE(simtest::monitor().empty());
        const auto clean = serviceCalls();
        const devsim::State clean_after = devsim::exportState();
        for (const auto &call : clean)
            ASSERT_TRUE(c.model.count(call.service))
                << "unexpected call of " << devsim::serviceName(call.service);

        for (std::size_t k = 1; k <= clean.size(); ++k) {
            for (bool write_first : {false, true}) {
                if (write_first && !writesBeforeFailing(clean[k - 1].service)) continue;
                check(c, clean, before, clean_after, k, write_first);
                ++points;
            }
        }
        ++cases;
    }
    std::printf("fault sweep: %zu failure points over %zu cases\n", points, cases);
    RecordProperty("failure_points", static_cast<int>(points));
}

} // namespace
