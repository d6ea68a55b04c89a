// A fixed run over every exported function, for counting the instructions
// the library executes (bench/instr-compare.sh runs it under callgrind).
//
// Each function gets a section of its own: callgrind's counters are zeroed
// before it and dumped after it under the function's name, so the script
// can sum the library's own instructions per function. Everything a section
// prepares (faults, job links) goes through the simulator, whose
// instructions the script leaves out. The run is the same every time: no
// clock, no random numbers, a private device in memory.
#include <valgrind/callgrind.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "corvellib.h"
#include "devsim.h"
#include "fields.h"
#include "functions.h"

namespace {

// The Nth matching call of service s answers code.
void failCall(devsim::Service s, unsigned nth, uint32_t code) {
    devsim::FaultSpec spec;
    spec.service = s;
    spec.nth = nth;
    spec.code = code;
    devsim::addFault(spec);
}

using namespace corvel::registry;
using S = devsim::Service;

constexpr uint32_t kCode = 0xe7; // what an armed fault answers

template <typename Body>
void section(const char *function, Body body) {
    CALLGRIND_ZERO_STATS;
    body();
    CALLGRIND_DUMP_STATS_AT(function);
}

// ---- setting groups --------------------------------------------------------------

// A field's place in its record, from the group's field list.
struct Place {
    std::size_t offset;
    std::size_t size;
    uint32_t bit;
    bool text;
};

struct GroupRun {
    const char *get_name;
    const char *set_name;
    GetFn get;
    SetFn set; // nullptr: read-only
    std::size_t size;
    bool per_recipient;
    std::vector<Place> places;
};

#define DRIVER_PLACE(Rec, member, place, bit, ids, notify, kind, secret)                                     \
    {ENTMLST_PLACE_OFFSET(Rec, member, place), ENTMLST_PLACE_SIZE(Rec, member, place), (bit),                \
     #kind[0] == 't'},
#define DRIVER_GROUP(Name, tool, summary, Rec, rows, inst, access, Get, Set)                                 \
    {#Get,                                                                                                   \
     #Set,                                                                                                   \
     uniformGet<Get, Rec, Instances::inst>,                                                                  \
     uniformSet<Set, Rec, Instances::inst>(),                                                                \
     sizeof(Rec),                                                                                            \
     Instances::inst == Instances::per_recipient,                                                            \
     {ENTMLST_FIELDS_##Name(DRIVER_PLACE, Rec)}},
const GroupRun kGroups[] = {ENTMLST_SETTING_GROUPS(DRIVER_GROUP)};
#undef DRIVER_GROUP
#undef DRIVER_PLACE

std::vector<uint32_t> recipients(const GroupRun &g) {
    return g.per_recipient ? std::vector<uint32_t>{1, 2, 3} : std::vector<uint32_t>{0};
}

// Every field changed: a text's first character, a number's lowest bit.
std::vector<uint8_t> changed(const GroupRun &g, std::vector<uint8_t> rec) {
    for (const Place &p : g.places) {
        uint8_t &b = p.text ? rec[p.offset] : rec[p.offset + p.size - 1];
        b = p.text && b == 0 ? 'x' : b ^ 1;
    }
    return rec;
}

// One bit, every other field's bit, and every bit.
std::vector<uint32_t> masks(const GroupRun &g) {
    uint32_t several = 0;
    for (std::size_t i = 0; i < g.places.size(); i += 2) several |= g.places[i].bit;
    return {g.places.back().bit, several, 0xffffffffu};
}

const S kNotifications[] = {S::mscMLPRNChgSchedule, S::mscMLRPTChgSMTPProtocol, S::mscMLRPTChgEventReportTime,
                            S::mscMLRPTChgScheduleReportTime, S::mscMLRPTChgMaintenanceReportTime};

void runGet(const GroupRun &g) {
    std::vector<uint8_t> rec(g.size);
    section(g.get_name, [&] {
        for (uint32_t r : recipients(g)) (void)g.get(r, rec.data());
        if (g.per_recipient) {
            (void)g.get(0, rec.data());
            (void)g.get(4, rec.data());
        }
        (void)g.get(1, nullptr);
        for (unsigned nth : {1u, unsigned(g.places.size())}) {
            failCall(S::meSTCGetStatus, nth, kCode);
            (void)g.get(1, rec.data());
        }
    });
}

void runSet(const GroupRun &g) {
    std::vector<uint8_t> rec(g.size);
    section(g.set_name, [&] {
        for (uint32_t r : recipients(g)) {
            (void)g.get(r, rec.data());
            const std::vector<uint8_t> other = changed(g, rec);
            for (uint32_t mask : masks(g)) {
                (void)g.set(mask, r, rec.data());   // equal
                (void)g.set(mask, r, other.data()); // changed
                (void)g.set(mask, r, rec.data());   // changed back
            }
        }
        const uint32_t r = g.per_recipient ? 2 : 0;
        if (g.per_recipient) {
            (void)g.set(1, 0, rec.data());
            (void)g.set(1, 4, rec.data());
        }
        (void)g.set(1, r, nullptr);
        const std::vector<uint8_t> other = changed(g, rec);
        failCall(S::emwOSWOrgAllocMemPart, 1, kCode);
        (void)g.set(0xffffffffu, r, other.data());
        failCall(S::meSTCGetStatus, unsigned(g.places.size()), kCode);
        (void)g.set(0xffffffffu, r, other.data());
        failCall(S::meSTCSetStatus, 1, kCode);
        (void)g.set(0xffffffffu, r, other.data());
        devsim::clearFaults();
        for (S n : kNotifications) failCall(n, 1, kCode);
        (void)g.set(0xffffffffu, r, other.data());
        devsim::clearFaults();
        (void)g.set(0xffffffffu, r, rec.data());
    });
}

// ---- job functions -----------------------------------------------------------------

constexpr uint32_t kJob = 0x1a, kParent = 0xabcd1234, kImageLink = 0x4001;

void jobWorld() {
    devsim::createJob(kJob);
    devsim::setParentLink(kJob, kParent);
    devsim::addChildLink(kJob, 0x1000, kImageLink);
    (void)devsim::putJobValue(kImageLink, 0x00d17000, {'/', 'i', 'm', 'g', 0});
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x501); // empty name: the fallback is read
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_FAX, 0x502);
    (void)devsim::putJobValue(0x502, 0x00716800, {'f', 'a', 'x', 0});
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_MAIL, 0x601);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0100, 0x701);
    devsim::addChildLink(kJob, ENTMLST_LINK_KIND_0200, 0x801);
}

// A function over (job, destination): its common path, a null destination,
// and a fault on each listed call.
template <typename Call>
void runJob(const char *name, Call call, std::initializer_list<std::pair<S, unsigned>> faults) {
    alignas(8) static uint8_t buf[4096];
    section(name, [&] {
        for (int i = 0; i < 3; ++i) (void)call(kJob, buf);
        (void)call(kJob, nullptr);
        for (auto [service, nth] : faults) {
            failCall(service, nth, kCode);
            (void)call(kJob, buf);
            devsim::clearFaults();
        }
    });
}

void runJobs() {
    runJob("entMLSTGetIpJob",
           [](uint32_t j, void *r) { return entMLSTGetIpJob(j, static_cast<ENTMLSTIPJOB *>(r)); },
           {{S::meSVCGetCurrent, 1},
            {S::meSVCGetCurrent, 8},
            {S::mectSVCGetParentLink, 1},
            {S::meSVCGetCurrent, 10}});
    runJob("entMLSTGetIpJobRst", [](uint32_t j, void *r) { return entMLSTGetIpJobRst(j, 0x00318003, r); },
           {{S::meSVCGetCurrent, 1}});
    runJob("entMLSTGetIpJobBox", entMLSTGetIpJobBox, {{S::meSVCGetCurrent, 1}});
    runJob("entMLSTGetFaxRepAddImg", entMLSTGetFaxRepAddImg, {{S::meSVCGetCurrent, 1}});
    runJob("entMLSTGetFaxImgDataPath", entMLSTGetFaxImgDataPath,
           {{S::mectSVCGetChildLink, 1}, {S::meSVCGetCurrent, 1}});

    section("entMLSTGetSendJobResult", [] {
        ENTMLSTSENDRESULT entries[8];
        int32_t count = 0;
        for (int32_t kind :
             {ENTMLST_LINK_KIND_FAX, ENTMLST_LINK_KIND_MAIL, ENTMLST_LINK_KIND_0100, ENTMLST_LINK_KIND_0200})
            (void)entMLSTGetSendJobResult(kJob, kind, 8, entries, &count);
        (void)entMLSTGetSendJobResult(kJob, 0x7, 8, entries, &count);
        (void)entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_FAX, 8, entries, nullptr);
        (void)entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_FAX, 8, nullptr, &count);
        (void)entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_FAX, 1, entries, &count);
        for (auto [service, nth] : {std::pair{S::mectGetChildLinkNum, 1u},
                                    {S::mectGetChildLink, 2u},
                                    {S::mectSVCGetCurrent, 1u},
                                    {S::mectSVCGetCurrent, 3u}}) {
            failCall(service, nth, kCode);
            (void)entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_FAX, 8, entries, &count);
            devsim::clearFaults();
        }
    });

    runJob("entMLSTGetPrnJobEnd",
           [](uint32_t j, void *r) { return entMLSTGetPrnJobEnd(j, static_cast<ENTMLSTPRNJOBEND *>(r)); },
           {{S::meSVCGetCurrent, 1}, {S::meSVCGetCurrent, 3}});
    runJob("entMLSTGetCurSend",
           [](uint32_t j, void *r) { return entMLSTGetCurSend(j, static_cast<ENTMLSTCURSEND *>(r)); },
           {{S::meSVCGetCurrent, 1}, {S::meSVCGetCurrent, 4}});
    runJob("entMLSTSetMailAttach",
           [](uint32_t j, void *r) {
               return entMLSTSetMailAttach(j, static_cast<const ENTMLSTMAILATTACH *>(r));
           },
           {{S::meSVCSetCurrent, 1}, {S::meSVCSetCurrent, 3}});
}

// ---- start-up --------------------------------------------------------------------

void runStart() {
    section("entMLSTInit", [] {
        for (uint32_t area : {0u, 1u}) (void)entMLSTInit(area);
        for (S s :
             {S::mectInitDefault, S::meSTCGetStatus, S::mscMLRPTChgEventReportTime, S::mscMLPRNChgSchedule}) {
            failCall(s, 1, kCode);
            (void)entMLSTInit(0);
            devsim::clearFaults();
        }
    });
    section("entMLSTSyncMe", [] {
        (void)entMLSTSyncMe();
        devsim::scriptIdSync({ENTMLST_ID_SYNC_PENDING, 0});
        (void)entMLSTSyncMe();
        devsim::scriptIdSync({0x55});
        (void)entMLSTSyncMe();
    });
}

} // namespace

int main() {
    devsim::openDevice(":memory:");
    devsim::reset();
    devsim::fakeSleep(true); // SyncMe's wait for a pending answer
    jobWorld();
    runStart();
    for (const GroupRun &g : kGroups) {
        runGet(g);
        if (g.set != nullptr) runSet(g);
    }
    runJobs();
    const auto broken = devsim::violations();
    for (const auto &v : broken) std::fprintf(stderr, "instr_driver: %s\n", v.c_str());
    return broken.empty() ? 0 : 1;
}
