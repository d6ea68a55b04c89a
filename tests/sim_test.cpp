// sim_test.cpp - behaviour of the device-services simulator (libdevsim.so).
#include "device_services.h"
#include "devsim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unistd.h>

using namespace devsim;

namespace {

constexpr uint32_t kArea = kStatusArea;

class Sim : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
};

TEST_F(Sim, StoreRoundTripWritesExactlyTheValueSize) {
    const uint32_t ids[] = {0x85005fec, 0x85006334, 0x8500513c, 0x85004a90, 0x85002330};
    for (uint32_t id : ids) {
        SCOPED_TRACE(::testing::Message() << std::hex << id);
        const uint32_t size = *settingSize(id);
        std::vector<uint8_t> src(size);
        for (uint32_t i = 0; i < size; ++i)
            src[i] = static_cast<uint8_t>(0x40 + i);
        std::vector<uint8_t> guard(size + 8, 0xee);
        src.resize(size + 8, 0x77); // bytes past the value must not be taken
        ASSERT_EQ(meSTCSetStatus(kWriter, kArea, id, src.data()), 0u);
        ASSERT_EQ(meSTCGetStatus(kArea, id, guard.data()), 0u);
        EXPECT_TRUE(std::equal(guard.begin(), guard.begin() + size, src.begin()));
        EXPECT_TRUE(std::all_of(guard.begin() + size, guard.end(), [](uint8_t b) { return b == 0xee; }));
        EXPECT_EQ(*setting(id), Bytes(src.begin(), src.begin() + size));
    }
    EXPECT_TRUE(violations().empty());
}

TEST_F(Sim, NumbersAreStoredBigEndian) {
    uint8_t port[2] = {};
    ASSERT_EQ(meSTCGetStatus(kArea, 0x85006334, port), 0u);
    EXPECT_EQ(port[0], 0x00);
    EXPECT_EQ(port[1], 0x19);
}

TEST_F(Sim, BrokenStoreRulesAreViolations) {
    uint8_t buf[4] = {1, 2, 3, 4};
    struct Case { uint32_t writer, area, id, code; bool set; };
    const Case cases[] = {
        {0, kArea, 0x12345678, kUnknownSetting, false},
        {kWriter, kArea, 0x12345678, kUnknownSetting, true},
        {0, 0x04050301, 0x85005fec, kBadArgument, false},
        {0x7303, kArea, 0x85005fec, kBadArgument, true},
    };
    for (const Case &c : cases) {
        uint32_t r = c.set ? meSTCSetStatus(c.writer, c.area, c.id, buf) : meSTCGetStatus(c.area, c.id, buf);
        EXPECT_EQ(r, c.code);
    }
    EXPECT_EQ(violations().size(), std::size(cases));
    EXPECT_EQ(buf[0], 1); // nothing written on failure
    EXPECT_EQ(*setting(0x85005fec), Bytes{0});
}

TEST_F(Sim, MonitorFormatsItself) {
    struct Case { const char *format; uint32_t a, b, c; const char *text; };
    const Case cases[] = {
        {"<Error>:id=0x%x,ret=0x%lx\n", 0x85005fec, 0xffffffff, 0, "<Error>:id=0x85005fec,ret=0xffffffff\n"},
        {"ipjobid=0x%x,id=%x,ret=0x%lx", 0x12, 0xab, 0xe002, "ipjobid=0x12,id=ab,ret=0xe002"},
        {"%X|%u|%d|%%", 0xabc, 0xffffffff, 0xffffffff, "ABC|4294967295|-1|%"},
        {"%lu %ld %x", 7, 0x80000000, 0, "7 -2147483648 0"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(emwGENMonSendMessage(0x7302, 0x102, 0, c.format, c.a, c.b, c.c), 0u);
    emwGENMonSendMessage(0x7302, 0x102, 0, "%s():[Error] code=0x%lx\n", "entMLSTInit", 0x70020007u);

    auto lines = monitor();
    ASSERT_EQ(lines.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(lines[i].text, cases[i].text);
    EXPECT_EQ(lines.back().text, "entMLSTInit():[Error] code=0x70020007\n");
    EXPECT_EQ(lines.back().module, 0x7302u);
    EXPECT_EQ(lines.back().msg_class, 0x102u);

    auto logged = calls(Service::emwGENMonSendMessage).back();
    EXPECT_EQ(logged.args, (std::vector<uint64_t>{0x7302, 0x102, 0}));
    EXPECT_EQ(logged.text, lines.back().text);
    EXPECT_EQ(exportState().events.back(), "monitor(0x7302,0x102,0x0) entMLSTInit():[Error] code=0x70020007");
    EXPECT_TRUE(violations().empty());

    EXPECT_EQ(emwGENMonSendMessage(1, 2, 0, "width %08x", 5u), kBadArgument);
    EXPECT_EQ(monitor().back().text, "width %08x");
    EXPECT_EQ(violations().size(), 1u);
}

TEST_F(Sim, FaultHitsTheNthCallCountedFromArming) {
    struct Case { unsigned nth; bool write_first; };
    for (const Case c : {Case{1, false}, Case{2, false}, Case{2, true}}) {
        reset();
        uint8_t b = 0xee;
        meSTCGetStatus(kArea, 0x85002308, &b); // before arming: not counted
        failCall(Service::meSTCGetStatus, c.nth, 0x1234, c.write_first);
        for (unsigned call = 1; call <= 3; ++call) {
            b = 0xee;
            uint32_t r = meSTCGetStatus(kArea, 0x85002308, &b);
            bool hit = call == c.nth;
            EXPECT_EQ(r, hit ? 0x1234u : 0u) << "call " << call;
            EXPECT_EQ(b, hit && !c.write_first ? 0xee : 1) << "call " << call;
        }
    }
}

TEST_F(Sim, WriteFirstFaultsStillDoTheWork) {
    uint8_t v = 9;
    failCall(Service::meSTCSetStatus, 1, 0x55, true);
    EXPECT_EQ(meSTCSetStatus(kWriter, kArea, 0x85005fec, &v), 0x55u);
    EXPECT_EQ(*setting(0x85005fec), Bytes{9});

    void *block = nullptr;
    failCall(Service::emwOSWOrgAllocMemPart, 1, 0x66, true);
    EXPECT_EQ(emwOSWOrgAllocMemPart(0, &block, 16), 0x66u);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(memStats().live, 1u);
    emwOSWOrgFreeMemPart(0, block);

    block = nullptr;
    failCall(Service::emwOSWOrgAllocMemPart, 1, 0x66, false);
    EXPECT_EQ(emwOSWOrgAllocMemPart(0, &block, 16), 0x66u);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(memStats().live, 0u);
}

TEST_F(Sim, MemoryPartitionBookKeeping) {
    void *a = nullptr, *b = nullptr;
    ASSERT_EQ(emwOSWOrgAllocMemPart(0, &a, 326), 0u);
    ASSERT_EQ(emwOSWOrgAllocMemPart(0, &b, 1038), 0u);
    auto *bytes = static_cast<uint8_t *>(b);
    EXPECT_TRUE(std::all_of(bytes, bytes + 1038, [](uint8_t x) { return x == kGarbage; }));
    EXPECT_EQ(emwOSWOrgFreeMemPart(0, a), 0u);
    EXPECT_EQ(emwOSWOrgFreeMemPart(0, b), 0u);
    MemStats m = memStats();
    EXPECT_EQ(m.allocs, 2u);
    EXPECT_EQ(m.frees, 2u);
    EXPECT_EQ(m.live, 0u);
    EXPECT_EQ(m.peak_bytes, 326u + 1038u);
    EXPECT_TRUE(violations().empty());

    EXPECT_NE(emwOSWOrgFreeMemPart(0, a), 0u); // double free
    void *c = nullptr;
    EXPECT_EQ(emwOSWOrgAllocMemPart(1, &c, 4), kNoMemory);
    EXPECT_EQ(violations().size(), 2u);
    EXPECT_EQ(memStats().frees, 2u);
}

TEST_F(Sim, JobValuesAndLinks) {
    addChildLink(7, 0xc0, 101);
    addChildLink(7, 0x20, 201);
    addChildLink(7, 0xc0, 102);
    setParentLink(7, 3);
    ASSERT_TRUE(putJobValue(102, 0x00716800, {'a', 'b'}));

    int32_t n = -1;
    EXPECT_EQ(mectGetChildLinkNum(12, 7, 0xc0, &n), 0u);
    EXPECT_EQ(n, 2);
    struct Case { int32_t kind, index; uint32_t code, link; };
    for (const Case &c : {Case{0xc0, 0, 0, 101}, Case{0xc0, 1, 0, 102}, Case{0x20, 0, 0, 201},
                          Case{0xc0, 2, kUnknownLink, 0}, Case{0x100, 0, kUnknownLink, 0}}) {
        uint32_t link = 0;
        EXPECT_EQ(mectGetChildLink(12, 7, c.kind, c.index, &link), c.code);
        EXPECT_EQ(link, c.link);
    }
    uint32_t parent = 0;
    EXPECT_EQ(mectSVCGetParentLink(12, 7, &parent), 0u);
    EXPECT_EQ(parent, 3u);
    EXPECT_EQ(mectSVCGetParentLink(12, 3, &parent), kUnknownLink);
    EXPECT_EQ(mectGetChildLinkNum(12, 3, 0xc0, &n), 0u);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(mectGetChildLinkNum(12, 99, 0xc0, &n), kUnknownJob);

    uint8_t name[130];
    std::memset(name, 0xee, sizeof name);
    EXPECT_EQ(mectSVCGetCurrent(102, 0x00716800, name), 0u);
    EXPECT_EQ(name[0], 'a');
    EXPECT_EQ(name[2], 0);     // zero-padded to the width...
    EXPECT_EQ(name[128], 0xee); // ...and not beyond it
    uint8_t status = 0xee;
    EXPECT_EQ(meSVCGetCurrent(101, 0x00860004, &status), 0u);
    EXPECT_EQ(status, 0); // never set: zeros
    EXPECT_EQ(meSVCGetCurrent(99, 0x00860004, &status), kUnknownJob);
    EXPECT_EQ(meSVCGetCurrent(101, 0x12345678, &status), kUnknownValue);
    EXPECT_EQ(mectGetChildLink(11, 7, 0xc0, 0, &parent), kBadArgument);
    EXPECT_EQ(violations().size(), 1u);
}

TEST_F(Sim, IdSyncAnswersItsScriptThenZero) {
    scriptIdSync({0x5241, 0x5241, 7});
    std::vector<uint32_t> answers;
    for (int i = 0; i < 5; ++i)
        answers.push_back(mectIdSync(2));
    EXPECT_EQ(answers, (std::vector<uint32_t>{0x5241, 0x5241, 7, 0, 0}));
    EXPECT_EQ(mectSetDstArea(8, 0x77), 0u);
    EXPECT_EQ(idSetup().dst_area, 0x77u);
    EXPECT_EQ(mectInitDefault(8, 1), kBadArgument);
    EXPECT_FALSE(idSetup().init_default);
}

TEST_F(Sim, NotificationsAreRecorded) {
    EXPECT_EQ(mscMLRPTChgEventReportTime(2), 0u);
    EXPECT_EQ(mscMLRPTChgSMTPProtocol(0xffffffff), kBadArgument); // sign-extended byte
    EXPECT_EQ(mscMLRPTChgScheduleReportTime(4), kBadArgument);
    EXPECT_EQ(exportState().events, std::vector<std::string>{"notify mscMLRPTChgEventReportTime(2)"});
    EXPECT_EQ(violations().size(), 2u);
    EXPECT_EQ(callCount(Service::mscMLRPTChgScheduleReportTime), 1u);
    EXPECT_EQ(calls().size(), 3u);
}

TEST_F(Sim, StateSurvivesExportAndImport) {
    ASSERT_TRUE(putSetting(0x8500513c, {'N', 'e', 'w'}));
    ASSERT_TRUE(putJobValue(5, 0x00182000, {1, 2, 3, 4}));
    setParentLink(5, 4);
    addChildLink(4, 0x20, 6);
    mscMLRPTChgMaintenanceReportTime();
    State before = exportState();

    reset();
    importState(before);
    State after = exportState();
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_EQ(after.job_values, before.job_values);
    EXPECT_EQ(after.jobs, before.jobs);
    EXPECT_EQ(after.parents, before.parents);
    EXPECT_EQ(after.children, before.children);
    EXPECT_EQ(after.events, before.events);
    uint8_t subject[16];
    ASSERT_EQ(meSTCGetStatus(kArea, 0x8500513c, subject), 0u);
    EXPECT_EQ(std::memcmp(subject, "New\0\0", 5), 0);
}

TEST_F(Sim, UsleepIsInterposed) {
    fakeSleep(true);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(usleep(500000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(sleeps(), std::vector<uint32_t>{500000});
}

} // namespace
