// sim_test.cpp - behaviour of the device-services simulator (libdevsim.so)
// that the library suites rely on without exercising it themselves.
#include "device_services.h"
#include "devsim.h"
#include "support/calls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iterator>
#include <sstream>

#include <unistd.h>

using namespace devsim;
using namespace simtest;

namespace {

constexpr uint32_t kArea = kStatusArea;

// The name the system shows for this process ("memcheck-amd64-" under valgrind).
std::string shownName() {
    std::ifstream comm("/proc/self/comm");
    std::string shown;
    std::getline(comm, shown);
    return shown;
}

class Sim : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
};

// The fixture's check that no call broke a rule of the device rests on
// these: each refused call answers its code, writes nothing and is one
// violation more. The partition counts its blocks and their peak.
TEST_F(Sim, BrokenRulesAreViolations) {
    uint8_t buf[4] = {1, 2, 3, 4};
    void *other = nullptr, *block = nullptr; // a block is handed out filled with garbage
    ASSERT_EQ(emwOSWOrgAllocMemPart(0, &other, 326), 0u);
    ASSERT_EQ(emwOSWOrgAllocMemPart(0, &block, 1038), 0u);
    auto *bytes = static_cast<uint8_t *>(block);
    EXPECT_TRUE(std::all_of(bytes, bytes + 1038, [](uint8_t x) { return x == kGarbage; }));
    ASSERT_EQ(emwOSWOrgFreeMemPart(0, block), 0u);
    ASSERT_EQ(emwOSWOrgFreeMemPart(0, other), 0u);
    EXPECT_EQ(mscMLRPTChgEventReportTime(2), 0u);
    const std::pair<std::function<uint32_t()>, uint32_t> refused[] = {
        {[&] { return meSTCGetStatus(kArea, 0x12345678, buf); }, kUnknownSetting},
        {[&] { return meSTCSetStatus(kWriter, kArea, 0x12345678, buf); }, kUnknownSetting},
        {[&] { return meSTCGetStatus(0x04050301, 0x85005fec, buf); }, kBadArgument},
        {[&] { return meSTCSetStatus(0x7303, kArea, 0x85005fec, buf); }, kBadArgument},
        {[] { return mscMLRPTChgSMTPProtocol(0xffffffff); }, kBadArgument}, // sign-extended byte
        {[] { return mscMLRPTChgScheduleReportTime(4); }, kBadArgument},
        {[&] { return emwOSWOrgFreeMemPart(0, block); }, kBadArgument}, // freed twice
        {[&] { return emwOSWOrgAllocMemPart(1, &block, 4); }, kNoMemory},
        {[] { return emwGENMonSendMessage(1, 2, 0, "width %08x", 5u); }, kBadArgument},
    };
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_EQ(refused[i].first(), refused[i].second) << "call " << i;
        EXPECT_EQ(violations().size(), i + 1) << "call " << i;
    }
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(*setting(0x85005fec), Bytes{0});
    EXPECT_EQ(exportState().events, (std::vector<std::string>{"notify mscMLRPTChgEventReportTime(2)",
                                                              "monitor(0x1,0x2,0x0) width %08x"}));
    const MemStats m = memStats();
    EXPECT_EQ(std::tie(m.allocs, m.frees, m.live, m.peak_bytes), std::make_tuple(2u, 2u, 0u, 326u + 1038u));
}

TEST_F(Sim, MonitorFormatsItself) {
    struct Case {
        const char *format;
        uint32_t a, b, c;
        const char *text;
    };
    const Case cases[] = {
        {"<Error>:id=0x%x,ret=0x%lx\n", 0x85005fec, 0xffffffff, 0, "<Error>:id=0x85005fec,ret=0xffffffff\n"},
        {"ipjobid=0x%x,id=%x,ret=0x%lx", 0x12, 0xab, 0xe002, "ipjobid=0x12,id=ab,ret=0xe002"},
        {"%d %u|%X", 0xfffffff9, 42, 0xab, "-7 42|AB"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(emwGENMonSendMessage(0x7302, 0x102, 0, c.format, c.a, c.b, c.c), 0u);

    auto lines = monitor();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(lines[i].text, cases[i].text);
        EXPECT_EQ(lines[i].args, (std::vector<uint64_t>{0x7302, 0x102, 0}));
    }
    EXPECT_EQ(exportState().events.back(),
              std::string("monitor(0x7302,0x102,0x0) ") + std::end(cases)[-1].text);
    EXPECT_TRUE(violations().empty());
}

// Which of one fixed run of calls a fault fails: '.' answered 0, 'x' failed
// without doing its work, 'w' failed after it, '?' either way. Each fault is
// armed both with the device and as this process's own; PID and PROGRAM
// stand for this process's. The run's calls, by settings, job or value ID:
//   smtp.port, pop3.interval, smtp.port, smtp-event.2.name, smtp.port,
//   job 7's value 0x00460000, pop3.interval, smtp.port
TEST_F(Sim, AFaultFailsTheCallsItIsAimedAt) {
    struct Row {
        std::string spec;
        const char *fails;
    };
    const Row rows[] = {
        {"meSTCGetStatus=0x99", "x......."},
        {"meSTCGetStatus#3=0x99", "..x....."},
        {"meSTCGetStatus#2=0x99,times=3", ".xxx...."},
        {"meSTCGetStatus=0x99,times=99", "xxxxx.xx"},
        {"meSTCGetStatus#2=0x99,write-first", ".w......"},
        {"meSTCGetStatus=0x99,match=0x85006334", "x......."},
        {"meSTCGetStatus#2=0x99,match=smtp.port,times=2", "..x.x..."},
        {"meSTCGetStatus=0x99,match=smtp-event.2.name", "...x...."},
        {"meSTCGetStatus=0x99,match=smtp-event.3.name", "........"},
        {"meSVCGetCurrent=0x99,match=7", ".....x.."},
        {"meSVCGetCurrent=0x99,match=0x460000", ".....x.."},
        {"meSTCGetStatus#2=0x99,pid=PID", ".x......"},
        {"meSTCGetStatus=0x99,pid=1", "........"},
        {"meSTCGetStatus=0x99,program=PROGRAM,match=pop3.interval,times=2", ".x....x."},
        {"meSTCGetStatus=0x99,program=no-such-program", "........"},
        {"meSTCGetStatus=0x99,probability=100", "xxxxx.xx"},
        {"meSTCGetStatus=0x99,match=smtp.port,probability=50,seed=7", "?.?.?..?"},
    };
    const std::string me = std::to_string(getpid()), comm = shownName();
    auto run = [] {
        std::string seen;
        uint8_t b[256];
        for (uint32_t id : {0x85006334u, 0x850063d4u, 0x85006334u, 0x85005844u, 0x85006334u, 0u, 0x850063d4u,
                            0x85006334u}) {
            std::memset(b, 0xee, sizeof b);
            uint32_t r = id != 0 ? meSTCGetStatus(kArea, id, b) : meSVCGetCurrent(7, 0x00460000, b);
            seen += r == 0 ? '.' : r != 0x99 ? '!' : b[1] == 0xee ? 'x' : 'w';
        }
        return seen;
    };
    for (const Row &row : rows) {
        std::string text = row.spec;
        if (auto at = text.find("PID"); at != std::string::npos) text.replace(at, 3, me);
        if (auto at = text.find("PROGRAM"); at != std::string::npos) text.replace(at, 7, comm);
        const FaultSpec spec = parseFaultSpec(text);
        std::string first;
        for (bool own : {false, true}) {
            SCOPED_TRACE(text + (own ? " (own)" : ""));
            reset();
            createJob(7);
            if (own)
                addFaultHere(spec);
            else
                addFault(spec);
            const std::string seen = run();
            for (std::size_t i = 0; i < seen.size(); ++i)
                EXPECT_TRUE(row.fails[i] == '?' ? seen[i] == '.' || seen[i] == 'x' : seen[i] == row.fails[i])
                    << seen;
            if (!first.empty()) {
                EXPECT_EQ(seen, first); // the same seed, the same firings
            }
            first = seen;
            if (own) { // never the device's
                EXPECT_TRUE(faults().empty());
                continue;
            }
            // The fault stays listed with its hits; a counted one spent when all its calls failed.
            ASSERT_EQ(faults().size(), 1u);
            const FaultInfo f = faults()[0];
            EXPECT_EQ(f.fired,
                      static_cast<uint64_t>(seen.size() - std::count(seen.begin(), seen.end(), '.')));
            if (spec.percent == 0) {
                EXPECT_EQ(f.calls_left == 0, f.fired == spec.times);
            }
            EXPECT_EQ(faultSpecText(f.spec), faultSpecText(spec));
        }
    }
}

// A fault's text reads back to itself in its shortest form; a bad one is
// refused naming its bad part.
TEST(FaultSpecText, ReadsBackAndNamesWhatIsWrong) {
    struct Row {
        const char *text;
        const char *shortest_or_error;
    };
    const Row good[] = {
        {"meSTCGetStatus#1=153", "meSTCGetStatus=0x99"},
        {"meSTCSetStatus#2=0x70020005,times=3,write-first",
         "meSTCSetStatus#2=0x70020005,times=3,write-first"},
        {"meSTCGetStatus=1,match=smtp.port,pid=42,program=app",
         "meSTCGetStatus=0x1,match=0x85006334,pid=42,program=app"},
        {"meSTCGetStatus=1,seed=5,probability=12.5%", "meSTCGetStatus=0x1,probability=12.5,seed=5"},
    };
    for (const Row &r : good) {
        EXPECT_EQ(faultSpecText(parseFaultSpec(r.text)), r.shortest_or_error);
        EXPECT_EQ(faultSpecText(parseFaultSpec(r.shortest_or_error)), r.shortest_or_error);
    }
    const Row bad[] = {
        {"meSTCGetStats=1",
         "\"meSTCGetStats\": unknown service (did you mean meSTCGetStatus, meSTCSetStatus?)"},
        {"meSTCGetStatus", "meSTCGetStatus: give SERVICE[#N]=CODE"},
        {"meSTCGetStatus=0x100000000", "code 0x100000000: give a 32-bit number"},
        {"meSTCGetStatus=-1", "code -1: give a 32-bit number"},
        {"meSTCGetStatus#0=1", "#0: calls are counted from 1"},
        {"meSTCGetStatus=1,times=0", "times=0: give how many calls"},
        {"meSTCGetStatus=1,probability=0", "probability=0: give a percentage above 0 and at most 100"},
        {"meSTCGetStatus=1,probability=100.5", "probability=100.5: give a percentage"},
        {"meSTCGetStatus=1,seed=3", "seed: goes with probability"},
        {"meSTCGetStatus#2=1,probability=5", "#2: a fault fires on the Nth call or with a probability"},
        {"meSTCGetStatus=1,tims=2", "\"tims=2\": unknown key (keys: times, match, pid"},
        {"meSTCGetStatus=1,times=2,times=3", "times: given twice"},
        {"meSTCGetStatus=1,match=smtp.prot", "match=smtp.prot: give a settings, job or value ID, or a field"},
        {"mectIdSync=1,match=5", "match=5: mectIdSync takes no ID to match"},
        {"meSVCGetCurrent=1,match=smtp.port", "match=smtp.port: meSVCGetCurrent takes no settings ID"},
        {"meSTCGetStatus=1,write-first=1", "write-first=1: write-first takes no value"},
        {"meSTCGetStatus=1,pid=", "pid=: give pid=VALUE"},
    };
    for (const Row &r : bad) {
        try {
            parseFaultSpec(r.text);
            ADD_FAILURE() << r.text << " was taken";
        } catch (const std::invalid_argument &e) {
            EXPECT_EQ(std::string(e.what()).rfind(r.shortest_or_error, 0), 0u) << r.text << ": " << e.what();
        }
    }
}

// Arming, firing, clearing one or all and a factory reset are in the log;
// a fault's ID is never reused. A reset keeping jobs puts back the factory
// settings and keeps the jobs and their links; a full one drops them.
TEST_F(Sim, FaultsAreLoggedFromArmingToClearingAndResets) {
    ASSERT_TRUE(putSetting(0x85006334, {0x01, 0xbb}));
    addChildLink(0x10, 0xc0, 0x11);
    const uint64_t id = addFault(parseFaultSpec("meSTCGetStatus=0x99,match=smtp.port"));
    const uint64_t other = addFault(parseFaultSpec("meSVCGetCurrent#2=0x98,write-first"));
    uint8_t b[4];
    EXPECT_EQ(meSTCGetStatus(kArea, 0x85006334, b), 0x99u);
    EXPECT_TRUE(clearFault(other));
    EXPECT_FALSE(clearFault(other));
    clearFaults();
    auto texts = [] {
        std::vector<std::string> out;
        for (const LogEntry &e : log())
            if (e.kind != LogKind::call) out.push_back(logKindName(e.kind) + (" " + e.text));
        return out;
    };
    const std::string n = std::to_string(id), m = std::to_string(other);
    EXPECT_EQ(texts(), (std::vector<std::string>{"armed " + n + " meSTCGetStatus=0x99,match=0x85006334",
                                                 "armed " + m + " meSVCGetCurrent#2=0x98,write-first",
                                                 "fault meSTCGetStatus answers 0x99 (fault " + n + ")",
                                                 "cleared " + m, "cleared all"}));
    failCall(Service::meSTCSetStatus, 3, 1);
    factoryReset(true);
    EXPECT_EQ(texts(), (std::vector<std::string>{"device reset, keeping jobs"}));
    EXPECT_EQ(log().size(), 1u); // the reset itself
    EXPECT_TRUE(faults().empty());
    EXPECT_EQ(*setting(0x85006334), (Bytes{0x00, 0x19}));
    EXPECT_TRUE(jobExists(0x11));
    EXPECT_EQ(exportState().children.size(), 1u);
    factoryReset(false);
    EXPECT_FALSE(jobExists(0x10));
    reset();
    EXPECT_TRUE(log().empty());
    EXPECT_GT(addFault(parseFaultSpec("meSTCGetStatus=1")), other);
}

// One row per service of the list, called as the library calls it: the
// entry it logs has the row's kind and argument count, and a fault aimed
// at it (through an ID among its arguments, where it has one) fires on it
// and on no other service's call. A fault answers its code even where the
// device would refuse the call itself (an unknown job), writing nothing,
// and is used up either way.
TEST_F(Sim, EveryServiceLogsAsItsRowSaysAndAnAimedFaultFiresOnItAlone) {
    const uint32_t setting = catalogue().front().id, value = valueIds().front();
    const std::size_t size = catalogue().front().size, width = *valueWidth(value);
    uint32_t job = 0x10, child = 0x11;
    uint8_t dst[4096] = {};
    uint32_t link = 0;
    int32_t count = 0;
    void *block = nullptr;
    // In the list's order, each service once.
    struct Row {
        uint32_t id; // the ID a fault is aimed at (0: none)
        std::function<uint32_t()> call;
        std::size_t data; // bytes the call moved, as the log keeps them
        uint32_t own = 0; // the device's answer for an unknown job (0: not tried)
    };
    const Row rows[] = {
        {setting, [&] { return meSTCGetStatus(kArea, setting, dst); }, size},
        {setting, [&] { return meSTCSetStatus(kWriter, kArea, setting, dst); }, size},
        {value, [&] { return meSVCGetCurrent(job, value, dst); }, width, kUnknownJob},
        {job, [&] { return meSVCSetCurrent(kWriter, job, value, dst); }, width},
        {0, [&] { return mectInitDefault(kIdKind, 0); }, 0},
        {0, [&] { return mectSetDstProduct(kIdKind, 0); }, 0},
        {0, [&] { return mectSetDstArea(kIdKind, 1); }, 0},
        {0, [&] { return mectIdSync(kIdSyncKind); }, 0},
        {job, [&] { return mectSVCGetParentLink(kLinkSelector, job, &link); }, 4, kUnknownLink},
        {job, [&] { return mectSVCGetChildLink(kLinkSelector, job, 0xc0, 0, &link); }, 4},
        {job, [&] { return mectGetChildLinkNum(kLinkSelector, job, 0xc0, &count); }, 4},
        {job, [&] { return mectGetChildLink(kLinkSelector, job, 0xc0, 0, &link); }, 4, kUnknownJob},
        {child, [&] { return mectSVCGetCurrent(child, value, dst); }, width, kUnknownJob},
        {0, [&] { return mscMLPRNChgSchedule(0, 0); }, 0},
        {0, [&] { return mscMLRPTChgSMTPProtocol(1); }, 0},
        {0, [&] { return mscMLRPTChgEventReportTime(1); }, 0},
        {0, [&] { return mscMLRPTChgScheduleReportTime(2); }, 0},
        {0, [&] { return mscMLRPTChgMaintenanceReportTime(); }, 0},
        {0, [&] { return emwOSWOrgAllocMemPart(0, &block, 16); }, 0},
        {0, [&] { return emwOSWOrgFreeMemPart(0, block); }, 0},
        {0, [&] { return emwGENMonSendMessage(0x7302, 0x102, 0, "line %u\n", 7u); }, 0},
    };
    ASSERT_EQ(std::size(rows), kServiceCount);
    setParentLink(job, 0x20);
    addChildLink(job, 0xc0, child);
    for (std::size_t i = 0; i < kServiceCount; ++i) {
        const Row &r = rows[i];
        const Service s = static_cast<Service>(i);
        SCOPED_TRACE(serviceName(s));
        ASSERT_EQ(r.call(), 0u);
        const LogEntry e = log().back();
        EXPECT_EQ(std::make_tuple(e.service, e.kind, e.args.size(), e.data.size()),
                  std::make_tuple(s, serviceKind(s), serviceArgCount(s), r.data));
        EXPECT_EQ(r.id != 0, idArguments(s) != 0);
        // Aimed at the ID, or at the service alone: another service's call
        // naming the same ID leaves it armed.
        FaultSpec spec = parseFaultSpec(std::string(serviceName(s)) + "=0x4321");
        if (r.id != 0) spec.match = r.id;
        const uint64_t id = addFault(spec);
        const std::size_t other = (i + 1) % kServiceCount;
        if (Service(other) != Service::emwOSWOrgFreeMemPart) {
            EXPECT_EQ(rows[other].call(), 0u) << serviceName(Service(other));
        }
        if (s == Service::emwOSWOrgFreeMemPart) {
            ASSERT_EQ(rows[i - 1].call(), 0u); // a block to free
        }
        EXPECT_EQ(r.call(), 0x4321u);
        EXPECT_EQ(faults().at(0).fired, 1u);
        clearFault(id);
        for (bool write_first : {false, true}) {
            if (r.own == 0) break;
            job = child = 0x999;
            std::memset(dst, 0xee, 8);
            spec.match.reset();
            spec.write_first = write_first;
            const uint64_t beats = addFault(spec);
            EXPECT_EQ(r.call(), 0x4321u);
            EXPECT_FALSE(log().back().done);
            EXPECT_EQ(r.call(), r.own); // used up
            EXPECT_EQ(dst[0], 0xee);
            clearFault(beats);
            job = 0x10, child = 0x11;
        }
    }
    EXPECT_TRUE(violations().empty()) << violations().front();
}

// A random fault fires on about its share of the matching calls, and
// another seed on other calls.
TEST_F(Sim, RandomFaultsFireOnTheirShare) {
    auto run = [](uint64_t seed) {
        reset();
        addFault(parseFaultSpec("meSTCGetStatus=0x99,probability=25,seed=" + std::to_string(seed)));
        std::string fired;
        uint8_t b = 0;
        for (int i = 0; i < 400; ++i) fired += meSTCGetStatus(kArea, 0x85002308, &b) == 0x99 ? '1' : '0';
        return fired;
    };
    const std::string first = run(42);
    const auto n = std::count(first.begin(), first.end(), '1');
    EXPECT_GT(n, 60);
    EXPECT_LT(n, 140);
    EXPECT_EQ(faults()[0].seed, 42u);
    EXPECT_NE(run(43), first);
}

// Each linked job's name is delivered at its own width: short, empty and
// full-width names write exactly their bytes; fixed-width values fill their width.
TEST_F(Sim, NamesAreWrittenAtTheirOwnWidth) {
    struct Case {
        uint32_t value_id;
        Bytes value;
        std::size_t written;
    };
    const Case cases[] = {
        {0x00716800, {'a', 'b', 0}, 3}, {0x00716800, {}, 0},           {0x00716800, Bytes(128, 'n'), 128},
        {0x00617800, {'m'}, 1},         {0x00916000, {'p'}, 1},        {0x00a16000, {'q'}, 1},
        {0x00817001, {'x'}, 1},         {0x00317800, {'a', 'b'}, 128}, // fixed width: zero-padded
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(putJobValue(0x44, c.value_id, c.value));
        uint8_t dst[300];
        std::memset(dst, 0xee, sizeof dst);
        ASSERT_EQ(mectSVCGetCurrent(0x44, c.value_id, dst), 0u);
        EXPECT_EQ(std::count(dst, dst + sizeof dst, 0xee), static_cast<long>(sizeof dst - c.written))
            << std::hex << c.value_id;
        EXPECT_TRUE(std::equal(c.value.begin(), c.value.end(), dst));
        EXPECT_EQ(jobValue(0x44, c.value_id)->size(), c.written);
    }
    EXPECT_FALSE(putJobValue(0x44, 0x00716800, Bytes(129, 'n')));
}

TEST_F(Sim, TheLogKeepsTheNewestEntries) {
    uint8_t b = 0;
    for (std::size_t i = 0; i < kLogCapacity + 10; ++i) meSTCGetStatus(kArea, 0x85002308, &b);
    auto entries = log();
    ASSERT_EQ(entries.size(), kLogCapacity);
    EXPECT_EQ(entries.back().seq - entries.front().seq + 1, kLogCapacity);
    EXPECT_EQ(entries.back().pid, getpid());
    EXPECT_EQ(entries.back().program, shownName());
    EXPECT_FALSE(shownName().empty());
}

// A log line names the program beside the pid, as one word, and each
// settings ID a call names with its names.
TEST_F(Sim, ALogLineNamesTheProgramAndTheSettings) {
    auto shown = [](const std::string &program, LogKind kind, Service s, std::vector<uint64_t> args) {
        return formatLogEntry({0, 0, 7, program, kind, s, std::move(args), 0, false, "what happened", {}});
    };
    const LogKind call = LogKind::call;
    const Service get = Service::meSTCGetStatus;
    EXPECT_EQ(shown("myprog", call, get, {kArea, 0x85006334, 0}),
              "- pid 7 myprog call meSTCGetStatus(0x4050300,0x85006334 smtp.port,0x0) = 0x0");
    EXPECT_EQ(shown("my prog\x1b\xff", call, Service::meSTCSetStatus, {kWriter, kArea, 0x85005844, 0}),
              "- pid 7 my\\x20prog\\x1b\\xff call meSTCSetStatus(0x7302,0x4050300,0x85005844 "
              "smtp-event.2.name|smtp-schedule.2.name,0x0) = 0x0");
    EXPECT_EQ(shown("", call, get, {kArea, 0x12345678, 0}),
              "- pid 7 - call meSTCGetStatus(0x4050300,0x12345678,0x0) = 0x0");
    EXPECT_EQ(shown("-", call, Service::meSVCGetCurrent, {0x85006334, 0x85006334, 0}),
              "- pid 7 \\x2d call meSVCGetCurrent(0x85006334,0x85006334,0x0) = 0x0");
    EXPECT_EQ(shown("x", LogKind::fault, get, {kArea, 0x85006334}), "- pid 7 x fault what happened");
    // The bytes of a password, stored or read, are kept in the log only masked.
    char password[64] = "MySecret";
    ASSERT_EQ(meSTCSetStatus(kWriter, kArea, 0x850056b4, password) |
                  meSTCGetStatus(kArea, 0x850056b4, password),
              0u);
    for (const LogEntry &e : log()) EXPECT_EQ(std::string(e.data.begin(), e.data.end()), kMaskedBytes);
}

} // namespace

// Settings IDs by the names the tool gives their fields; an ID two groups
// share has both names.
TEST(SettingNames, NameTheCataloguesIds) {
    struct Row {
        uint32_t id;
        std::vector<std::string> names;
    };
    const Row rows[] = {
        {0x85005164, {"pop3.domain1"}},
        {0x94009470, {"counters.count1"}},
        {0x8560577c, {"smtp-event.3.address", "smtp-schedule.3.address"}},
        {0x8500513c, {"maintenance.subject", "subject.subject"}},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(settingNames(r.id), r.names) << std::hex << r.id;
        for (const std::string &name : r.names) EXPECT_EQ(settingByName(name), r.id) << name;
    }
    for (const char *no :
         {"smtp.nope", "smtp.1.port", "smtp-event.name", "smtp-event.4.name", "smtp.port.", ""})
        EXPECT_EQ(settingByName(no), std::nullopt) << no;
}

// The factory device, every settings ID with its size and default bytes and
// every value ID with its width, against the values the device documents.
TEST(Catalogue, HoldsTheFactoryValuesAndWidths) {
    std::ostringstream got;
    got << std::hex << std::setfill('0');
    for (const SettingInfo &s : catalogue()) {
        // A text, and only zeros after it, reads as the text.
        const auto &v = s.default_value;
        auto end = std::find(v.begin(), v.end(), 0);
        bool text = s.size > 4 &&
                    std::all_of(v.begin(), end, [](uint8_t c) { return c >= 0x20 && c < 0x7f; }) &&
                    std::all_of(end, v.end(), [](uint8_t c) { return c == 0; });
        got << std::setw(8) << s.id << ' ' << std::dec << s.size << ' ' << std::hex;
        if (text) got << '"' << std::string(v.begin(), end) << '"';
        for (uint8_t b : text ? Bytes{} : v) got << std::setw(2) << int{b};
        got << '\n';
    }
    std::vector<uint32_t> values = valueIds();
    std::sort(values.begin(), values.end());
    for (uint32_t id : values)
        got << "value " << std::setw(8) << id << ' ' << std::dec << *valueWidth(id) << std::hex
            << (widthPerValue(id) ? " per-value\n" : "\n");
    std::ifstream file(CORVEL_TEST_DATA "/factory_catalogue.txt");
    EXPECT_EQ(got.str(), std::string(std::istreambuf_iterator<char>(file), {}));
}
