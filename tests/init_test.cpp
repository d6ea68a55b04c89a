// Start-up: the 13 set-up and notification calls, which failure's code is
// returned, and waiting for ID synchronisation.
#include "support/cases.h"

namespace {

using namespace corvel::test;

using Init = DeviceTest;

TEST_F(Init, MakesAllThirteenCallsInOrderAndSendsNothing) {
    for (int round = 0; round < 2; ++round) { // a second start-up does it all again
        simtest::clearCalls();
        EXPECT_EQ(entMLSTInit(0x77), ENTMLST_OK);
        const auto log = serviceCalls();
        ASSERT_EQ(log.size(), std::size(kInitSteps));
        for (std::size_t i = 0; i < log.size(); ++i) {
            auto args = log[i].args;
            if (args.size() > 2) args.resize(2);
            EXPECT_EQ(std::pair(log[i].service, args), std::pair(kInitSteps[i].service, kInitSteps[i].args))
                << "step " << i + 1;
        }
    }
    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(devsim::idSetup().init_default);
    EXPECT_EQ(devsim::idSetup().dst_area, 0x77u);
}

// Every failing step is reported in order; the last one's code is returned
// (a single failing step is in the fault sweep).
TEST_F(Init, GoesOnAfterEachFailureAndReturnsTheLastFailuresCode) {
    struct Fault {
        S service;
        unsigned nth;
    };
    struct Case {
        std::vector<Fault> faults;
        uint32_t result;
        std::vector<std::string> lines;
    };
    const std::string init = "entMLSTInit():[Error] ";
    const Case cases[] = {
        {{{S::mectSetDstArea, 1}, {S::mscMLRPTChgScheduleReportTime, 2}},
         ENTMLST_ERR_NOTIFY,
         {init + "mectSetDstArea() code=0x51\n", init + "mscMLRPTChgScheduleReportTime() code=0x52\n"}},
        {{{S::meSTCGetStatus, 1}, {S::mectSetDstArea, 1}},
         ENTMLST_ERR_NOTIFY,
         {init + "mectSetDstArea() code=0x52\n", init + "meSTCGetStatus() code=0x51\n"}},
        {{{S::mscMLPRNChgSchedule, 1}, {S::mectInitDefault, 1}, {S::mscMLRPTChgMaintenanceReportTime, 1}},
         ENTMLST_ERR_SCHEDULE,
         {init + "mectINITDefault() code=0x52\n", init + "mscMLRPTChgMaintenanceReportTime() code=0x53\n",
          init + "mscMLPRNChgSchedule(0,0) code=0x51\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines.back());
        devsim::reset();
        uint32_t code = 0x51;
        for (const Fault &f : c.faults) simtest::failCall(f.service, f.nth, code++);
        EXPECT_EQ(entMLSTInit(0x77), c.result);
        EXPECT_EQ(lines(), c.lines);
        EXPECT_EQ(serviceCalls().size(), std::size(kInitSteps));
    }
}

// The protocol byte goes out as the store left it: 0 when the read failed
// without writing, the stored value when the store wrote it first.
TEST_F(Init, TheProtocolIsAnnouncedEvenAfterItsReadFailed) {
    struct Case {
        uint8_t stored;
        bool fail, write_first;
        uint64_t announced;
    };
    for (const Case c : {Case{7, true, false, 0}, Case{7, true, true, 7}, Case{0xff, false, false, 255},
                         Case{0xff, true, true, 255}}) {
        SCOPED_TRACE(::testing::Message() << int(c.stored) << c.fail << c.write_first);
        devsim::reset();
        ASSERT_TRUE(devsim::putSetting(kProtocolId, {c.stored}));
        if (c.fail) simtest::failCall(S::meSTCGetStatus, 1, 0x61, c.write_first);
        EXPECT_EQ(entMLSTInit(0), c.fail ? ENTMLST_ERR_NOTIFY : ENTMLST_OK);
        EXPECT_EQ(simtest::calls(S::mscMLRPTChgSMTPProtocol).at(0).args, std::vector<uint64_t>{c.announced});
    }
}

TEST_F(Init, SyncMePollsEveryHalfSecondWhileTheIdServiceIsNotReady) {
    struct Case {
        std::vector<uint32_t> answers;
        uint32_t result;
        std::size_t sleeps;
        std::vector<std::string> lines;
    };
    std::vector<uint32_t> long_then_fail(50, ENTMLST_ID_SYNC_PENDING);
    long_then_fail.push_back(0xffffffff);
    const Case cases[] = {
        {{}, ENTMLST_OK, 0, {}},
        {{0x5241, 0x5241, 0}, ENTMLST_OK, 2, {}},
        {{7}, ENTMLST_ERR_ID_SYNC, 0, {"entMLSTSyncMe():[Error] mectIdSync code=0x7\n"}},
        {long_then_fail, ENTMLST_ERR_ID_SYNC, 50, {"entMLSTSyncMe():[Error] mectIdSync code=0xffffffff\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answers.size());
        devsim::reset();
        devsim::fakeSleep(true);
        devsim::scriptIdSync(c.answers);
        EXPECT_EQ(entMLSTSyncMe(), c.result);
        EXPECT_EQ(devsim::sleeps(), std::vector<uint32_t>(c.sleeps, 500000));
        EXPECT_EQ(simtest::callCount(S::mectIdSync), c.sleeps + 1);
        EXPECT_EQ(simtest::calls(S::mectIdSync).back().args, std::vector<uint64_t>{2});
        EXPECT_EQ(lines(), c.lines);
    }
    // Clearing the faults ends a script too.
    devsim::scriptIdSync({7});
    devsim::clearFaults();
    EXPECT_EQ(entMLSTSyncMe(), ENTMLST_OK);
}

} // namespace
