// The get-all and set-changed procedures over small tables of this suite's
// own, whose settings IDs exist in the simulated store with the same sizes.
#include <random>

#include "settings/group.h"
#include "support/device.h"
#include "support/faults.h"

namespace {

using namespace corvel;
using namespace corvel::test;
using S = devsim::Service;

// A record with a gap byte after the first field and two trailing ones.
struct TestRec {
    uint8_t flag;
    uint8_t gap;
    uint8_t port[2];
    uint8_t name[32];
    uint8_t last;
    uint8_t tail[2];
};

constexpr ENTMLSTDESC kRows[] = {
    {0x85005fec, offsetof(TestRec, flag), 1, 0x1, 0},
    {0x85006334, offsetof(TestRec, port), 2, 0x2, 1},
    {0x85005164, offsetof(TestRec, name), 32, 0x4, 0},
    {0x85005b3c, offsetof(TestRec, last), 1, 0x8, 1},
};
static_assert(check::rows(kRows, sizeof(TestRec)));
const Group kSingle{kRows, sizeof(TestRec), Msg::Param, Msg::StatusSetShort, Msg::NomemPop3,
                    Notify::MainteTime, Msg::NotifyMainteTime, Msg::FnSetMainte};

constexpr ENTMLSTRECIPDESC kRecipRows[] = {
    {{0x85005b64, 0x85005b8c, 0x85005bb4}, offsetof(TestRec, flag), 1, 0x1, 0},
    {{0x850063fc, 0x85006424, 0x8500644c}, offsetof(TestRec, port), 2, 0x2, 1},
    {{0x85005164, 0x8500518c, 0x850051b4}, offsetof(TestRec, name), 32, 0x4, 0},
};
const Group kRecip{kRecipRows, sizeof(TestRec), Msg::ParamRecipNo, Msg::ParamSmtpEvent,
                   Msg::StatusSetLong, Msg::NomemSmtpEvent, Notify::EventTime, Msg::NotifyEventTime,
                   Msg::FnSetSmtpEvent};

constexpr ENTMLSTREADDESC kReadRows[] = {{0x85002308, 0}, {0x85002330, 1}};
const Group kRead{kReadRows, 5, Msg::None};

class GroupAccess : public DeviceTest {
protected:
    static devsim::Bytes field(const TestRec &r, uint32_t off, uint32_t size) {
        const auto *p = reinterpret_cast<const uint8_t *>(&r) + off;
        return devsim::Bytes(p, p + size);
    }
};

TEST_F(GroupAccess, GetAllReadsEveryRowInOrderAndNoOtherByte) {
    TestRec rec = filled<TestRec>(0xee);
    ASSERT_EQ(getAll(kSingle, 0, &rec), ENTMLST_OK);
    auto reads = devsim::calls(S::meSTCGetStatus);
    ASSERT_EQ(reads.size(), std::size(kRows));
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        EXPECT_EQ(reads[i].args[1], kRows[i].id);
        EXPECT_EQ(field(rec, kRows[i].field.offset, kRows[i].field.size), stored(kRows[i].id));
    }
    EXPECT_EQ(rec.gap, 0xee);
    EXPECT_EQ(rec.tail[0], 0xee);
    EXPECT_EQ(rec.tail[1], 0xee);
    EXPECT_TRUE(lines().empty());
}

TEST_F(GroupAccess, GetAllStopsAtTheFailingRowLeavingLaterFieldsAlone) {
    for (unsigned k = 0; k < std::size(kRows); ++k) {
        SCOPED_TRACE(k);
        devsim::reset();
        devsim::failCall(S::meSTCGetStatus, k + 1, 0xe7);
        TestRec rec = filled<TestRec>(0xee);
        EXPECT_EQ(getAll(kSingle, 0, &rec), ENTMLST_ERR_STATUS_GET);
        for (unsigned i = 0; i < std::size(kRows); ++i) {
            auto want = i < k ? stored(kRows[i].id) : devsim::Bytes(kRows[i].field.size, 0xee);
            EXPECT_EQ(field(rec, kRows[i].field.offset, kRows[i].field.size), want) << "row " << i;
        }
        EXPECT_EQ(lines(), std::vector<std::string>{"<Error>:meSTCGetStatus() is Failed!!!. id=0x" +
                                                    hex(kRows[k].id) + ",ret=0xe7\n"});
        EXPECT_EQ(devsim::callCount(S::meSTCGetStatus), k + 1);
    }
}

TEST_F(GroupAccess, RecipientIsCheckedBeforeTheRecordAndNothingIsTouched) {
    TestRec rec{};
    struct Case { const Group *g; uint32_t recipient; void *record; Msg msg; };
    const Case cases[] = {
        {&kRecip, 0, &rec, Msg::ParamRecipNo},     {&kRecip, 4, nullptr, Msg::ParamRecipNo},
        {&kRecip, 0xffffffff, &rec, Msg::ParamRecipNo}, {&kRecip, 3, nullptr, Msg::ParamSmtpEvent},
        {&kSingle, 0, nullptr, Msg::Param},        {&kRead, 0, nullptr, Msg::None},
    };
    for (const Case &c : cases) {
        for (bool set : {false, true}) {
            if (set && c.g->kind == RowKind::ReadOnly) continue;
            SCOPED_TRACE(::testing::Message() << "recipient " << c.recipient << (set ? " set" : " get"));
            devsim::reset();
            Result r = set ? setChanged(*c.g, 0xffffffff, c.recipient, c.record)
                           : getAll(*c.g, c.recipient, c.record);
            EXPECT_EQ(r, ENTMLST_ERR_PARAM);
            auto want = c.msg == Msg::None ? std::vector<std::string>{}
                                           : std::vector<std::string>{text(c.msg)};
            EXPECT_EQ(lines(), want);
            EXPECT_EQ(serviceCalls().size(), 0u);
        }
    }
}

// Random stored values, random caller values (each row equal to the stored
// one or not) and random masks: the store ends up with exactly the selected
// rows that differed, written in table order, one notification at most.
TEST_F(GroupAccess, SetChangedWritesExactlyTheSelectedRowsThatDiffer) {
    std::mt19937 rng(7);
    auto randomBytes = [&](std::size_t n) {
        devsim::Bytes b(n);
        for (auto &x : b) x = static_cast<uint8_t>(rng() % 4); // small alphabet: many equal rows
        return b;
    };
    for (int iter = 0; iter < 300; ++iter) {
        SCOPED_TRACE(iter);
        devsim::reset();
        TestRec rec = filled<TestRec>(0xee);
        auto *bytes = reinterpret_cast<uint8_t *>(&rec);
        for (const auto &row : kRows) {
            ASSERT_TRUE(devsim::putSetting(row.id, randomBytes(row.field.size)));
            auto v = rng() % 2 ? stored(row.id) : randomBytes(row.field.size);
            std::copy(v.begin(), v.end(), bytes + row.field.offset);
        }
        const uint32_t mask = rng() & (rng() % 2 ? 0xfu : 0xffffffffu);
        devsim::State before = devsim::exportState();

        ASSERT_EQ(setChanged(kSingle, mask, 0, &rec), ENTMLST_OK);

        std::vector<uint64_t> want_writes;
        bool notify = false;
        for (const auto &row : kRows) {
            const auto old = before.settings.at(row.id);
            const bool write = (mask & row.field.mask) && field(rec, row.field.offset, row.field.size) != old;
            EXPECT_EQ(stored(row.id), write ? field(rec, row.field.offset, row.field.size) : old);
            if (write) want_writes.push_back(row.id);
            notify |= write && row.field.notify;
        }
        std::vector<uint64_t> writes;
        for (const auto &c : devsim::calls(S::meSTCSetStatus)) writes.push_back(c.args[2]);
        EXPECT_EQ(writes, want_writes);

        auto log = servicesOf(serviceCalls());
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log.front(), S::emwOSWOrgAllocMemPart);
        EXPECT_EQ(devsim::calls(S::emwOSWOrgAllocMemPart)[0].args[2], sizeof(TestRec));
        EXPECT_EQ(log.back(), S::emwOSWOrgFreeMemPart);
        EXPECT_EQ(devsim::callCount(S::mscMLRPTChgMaintenanceReportTime), notify ? 1u : 0u);
        if (notify) {
            EXPECT_EQ(log[log.size() - 2], S::mscMLRPTChgMaintenanceReportTime);
        }
        EXPECT_TRUE(lines().empty());
    }
}

TEST_F(GroupAccess, PerRecipientRowsUseTheirColumnAndNotifyWithTheRecipient) {
    for (uint32_t n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        devsim::reset();
        TestRec rec = filled<TestRec>(0x07);
        ASSERT_EQ(setChanged(kRecip, 0xffffffff, n, &rec), ENTMLST_OK);
        for (const auto &row : kRecipRows) {
            EXPECT_EQ(stored(row.id[n - 1]), field(rec, row.field.offset, row.field.size));
            for (uint32_t other = n % 3 + 1; other != n; other = other % 3 + 1) {
                EXPECT_NE(stored(row.id[other - 1]), field(rec, row.field.offset, row.field.size));
            }
        }
        auto notes = devsim::calls(S::mscMLRPTChgEventReportTime);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].args, std::vector<uint64_t>{n});

        TestRec back = filled<TestRec>(0xee);
        ASSERT_EQ(getAll(kRecip, n, &back), ENTMLST_OK);
        for (const auto &row : kRecipRows)
            EXPECT_EQ(field(back, row.field.offset, row.field.size), field(rec, row.field.offset, row.field.size));
    }
}

} // namespace
