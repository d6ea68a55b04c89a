// sim_test.cpp - behaviour of the device-services simulator (libdevsim.so)
// that the library suites rely on without exercising it themselves.
#include "device_services.h"
#include "devsim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace devsim;

namespace {

constexpr uint32_t kArea = kStatusArea;

class Sim : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
};

// The fixture's check that no call broke a rule of the device rests on these.
TEST_F(Sim, BrokenRulesAreViolations) {
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
    EXPECT_EQ(buf[0], 1); // nothing written on failure
    EXPECT_EQ(*setting(0x85005fec), Bytes{0});
    EXPECT_EQ(mscMLRPTChgEventReportTime(2), 0u);
    EXPECT_EQ(mscMLRPTChgSMTPProtocol(0xffffffff), kBadArgument); // sign-extended byte
    EXPECT_EQ(mscMLRPTChgScheduleReportTime(4), kBadArgument);
    EXPECT_EQ(exportState().events, std::vector<std::string>{"notify mscMLRPTChgEventReportTime(2)"});
    EXPECT_EQ(violations().size(), std::size(cases) + 2);
}

TEST_F(Sim, MonitorFormatsItself) {
    struct Case { const char *format; uint32_t a, b, c; const char *text; };
    const Case cases[] = {
        {"<Error>:id=0x%x,ret=0x%lx\n", 0x85005fec, 0xffffffff, 0, "<Error>:id=0x85005fec,ret=0xffffffff\n"},
        {"ipjobid=0x%x,id=%x,ret=0x%lx", 0x12, 0xab, 0xe002, "ipjobid=0x12,id=ab,ret=0xe002"},
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
    // A block handed out by a failing allocation is the caller's to release.
    reset();
    void *block = nullptr;
    failCall(Service::emwOSWOrgAllocMemPart, 1, 0x66, true);
    EXPECT_EQ(emwOSWOrgAllocMemPart(0, &block, 16), 0x66u);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(memStats().live, 1u);
    emwOSWOrgFreeMemPart(0, block);
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

} // namespace
