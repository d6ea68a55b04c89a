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

// {settings ID, offset, size, mask bit index, notify, per recipient}
constexpr ENTMLSTDESC kRows[] = {
    {0x85005fec, offsetof(TestRec, flag), 1, 0, 0, 0},
    {0x85006334, offsetof(TestRec, port), 2, 1, 1, 0},
    {0x85005164, offsetof(TestRec, name), 32, 2, 0, 0},
    {0x85005b3c, offsetof(TestRec, last), 1, 3, 1, 0},
};
static_assert(check::rows(kRows, sizeof(TestRec)) && check::changeBits(kRows));
const Group kSingle{kRows,
                    sizeof(TestRec),
                    {.param = Msg::Param,
                     .store_set = Msg::StatusSetShort,
                     .nomem = Msg::NomemPop3,
                     .notify_fail = Msg::NotifyMainteTime,
                     .set_name = Msg::FnSetMainte},
                    Notify::MainteTime};

class GroupAccess : public DeviceTest {
protected:
    static devsim::Bytes field(const TestRec &r, uint32_t off, uint32_t size) {
        const auto *p = reinterpret_cast<const uint8_t *>(&r) + off;
        return devsim::Bytes(p, p + size);
    }
};

TEST_F(GroupAccess, GetAllStopsAtTheFailingRowLeavingLaterFieldsAlone) {
    for (unsigned k = 0; k < std::size(kRows); ++k) {
        SCOPED_TRACE(k);
        devsim::reset();
        simtest::failCall(S::meSTCGetStatus, k + 1, 0xe7);
        TestRec rec = filled<TestRec>(0xee);
        EXPECT_EQ(getAll(kSingle, 0, &rec), ENTMLST_ERR_STATUS_GET);
        for (unsigned i = 0; i < std::size(kRows); ++i) {
            auto want = i < k ? stored(kRows[i].id) : devsim::Bytes(kRows[i].size, 0xee);
            EXPECT_EQ(field(rec, kRows[i].offset, kRows[i].size), want) << "row " << i;
        }
        EXPECT_EQ(field(rec, offsetof(TestRec, gap), 1), devsim::Bytes{0xee});
        EXPECT_EQ(field(rec, offsetof(TestRec, tail), 2), devsim::Bytes(2, 0xee));
        EXPECT_EQ(lines(), std::vector<std::string>{"<Error>:meSTCGetStatus() is Failed!!!. id=0x" +
                                                    hex(kRows[k].id) + ",ret=0xe7\n"});
        EXPECT_EQ(simtest::callCount(S::meSTCGetStatus), k + 1);
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
            ASSERT_TRUE(devsim::putSetting(row.id, randomBytes(row.size)));
            auto v = rng() % 2 ? stored(row.id) : randomBytes(row.size);
            std::copy(v.begin(), v.end(), bytes + row.offset);
        }
        const uint32_t mask = rng() & (rng() % 2 ? 0xfu : 0xffffffffu);
        devsim::State before = devsim::exportState();

        ASSERT_EQ(setChanged(kSingle, mask, 0, &rec), ENTMLST_OK);

        std::vector<uint64_t> want_writes;
        bool notify = false;
        for (const auto &row : kRows) {
            const auto old = before.settings.at(row.id);
            const bool write = (mask >> row.bit & 1) && field(rec, row.offset, row.size) != old;
            EXPECT_EQ(stored(row.id), write ? field(rec, row.offset, row.size) : old);
            if (write) want_writes.push_back(row.id);
            notify |= write && row.notify;
        }
        std::vector<uint64_t> writes;
        for (const auto &c : simtest::calls(S::meSTCSetStatus)) writes.push_back(c.args[2]);
        EXPECT_EQ(writes, want_writes);

        auto log = servicesOf(serviceCalls());
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log.front(), S::emwOSWOrgAllocMemPart);
        EXPECT_EQ(simtest::calls(S::emwOSWOrgAllocMemPart)[0].args[2], sizeof(TestRec));
        EXPECT_EQ(log.back(), S::emwOSWOrgFreeMemPart);
        EXPECT_EQ(simtest::callCount(S::mscMLRPTChgMaintenanceReportTime), notify ? 1u : 0u);
        if (notify) {
            EXPECT_EQ(log[log.size() - 2], S::mscMLRPTChgMaintenanceReportTime);
        }
        EXPECT_TRUE(lines().empty());
    }
}

} // namespace
