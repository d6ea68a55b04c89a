// The setting groups through the exported functions: what reaches the store,
// what comes back, which change is announced, and the argument checks.
#include <algorithm>
#include <random>
#include <set>

#include "support/cases.h"

namespace {

using namespace corvel::test;

constexpr const char *kRecipNo = "<Error>:param(smtprecipino) is Failed!\n";

class Settings : public DeviceTest {
protected:
    alignas(8) uint8_t rec_[2048];
    void fill(const GroupCase &g, uint8_t v) { std::memset(rec_, v, g.size); }
    devsim::Bytes record(const GroupCase &g) const { return devsim::Bytes(rec_, rec_ + g.size); }
    // The stored group, every byte changed.
    void flippedStored(const GroupCase &g, uint32_t n) {
        ASSERT_EQ(g.get(n, rec_), ENTMLST_OK);
        for (std::size_t i = 0; i < g.size; ++i) rec_[i] ^= 0xff;
        simtest::clearCalls();
    }
};

// Properties that hold for every group, written without the library's
// tables: random stored bytes land at their fields and nowhere else; each row
// reads its own settings ID, so the reads of one call never repeat an ID and
// the groups together read every ID the store holds; any record Set with every
// mask bit reads back byte for byte, gaps aside.
TEST_F(Settings, EachRowReadsAndWritesItsOwnSettingsId) {
    std::mt19937 rng(5);
    std::set<uint64_t> read_ids;
    for (const GroupCase &g : kGroups) {
        std::vector<std::vector<uint64_t>> ids_by_recipient;
        for (uint32_t n : recipientsOf(g)) {
            SCOPED_TRACE(::testing::Message() << g.name << " recipient " << n);
            devsim::reset();
            randomStore(rng);
            fill(g, 0xee);
            ASSERT_EQ(g.get(n, rec_), ENTMLST_OK);
            auto reads = simtest::calls(S::meSTCGetStatus);
            ASSERT_EQ(reads.size(), g.rows);
            EXPECT_EQ(serviceCalls().size(), g.rows);
            std::vector<bool> covered(g.size);
            ids_by_recipient.emplace_back();
            for (const auto &c : reads) {
                const auto value = stored(uint32_t(c.args[1]));
                const std::size_t off = c.args[2] - reinterpret_cast<uintptr_t>(rec_);
                ASSERT_LE(off + value.size(), g.size) << "read outside the record";
                EXPECT_EQ(devsim::Bytes(rec_ + off, rec_ + off + value.size()), value);
                for (std::size_t i = off; i < off + value.size(); ++i) covered[i] = true;
                auto &ids = ids_by_recipient.back();
                EXPECT_EQ(std::count(ids.begin(), ids.end(), c.args[1]), 0)
                    << "two rows read " << hex(c.args[1]);
                ids.push_back(c.args[1]);
                read_ids.insert(c.args[1]);
            }
            std::vector<std::size_t> gaps;
            for (std::size_t i = 0; i < g.size; ++i)
                if (!covered[i]) gaps.push_back(i);
            EXPECT_EQ(gaps, g.gaps);
            for (std::size_t i : gaps) EXPECT_EQ(rec_[i], 0xee) << "byte " << i;
            if (g.set == nullptr) continue;

            for (std::size_t i = 0; i < g.size; ++i) rec_[i] = static_cast<uint8_t>(rng());
            const devsim::Bytes sent = record(g);
            ASSERT_EQ(g.set(0xffffffff, n, rec_), ENTMLST_OK);
            EXPECT_EQ(record(g), sent) << "a Set changed the caller's record";
            fill(g, 0);
            ASSERT_EQ(g.get(n, rec_), ENTMLST_OK);
            for (std::size_t i : gaps) rec_[i] = sent[i];
            EXPECT_EQ(record(g), sent) << "a field read back other bytes than were set";
        }
        // Recipient n reads the n-th ID of each row, 0x28 apart.
        for (std::size_t n = 1; n < ids_by_recipient.size(); ++n)
            for (std::size_t i = 0; i < g.rows; ++i)
                EXPECT_EQ(ids_by_recipient[n][i], ids_by_recipient[0][i] + 0x28 * n) << g.name;
    }
    std::set<uint64_t> all_ids;
    for (const auto &entry : devsim::exportState().settings) all_ids.insert(entry.first);
    EXPECT_EQ(read_ids, all_ids) << "a settings ID no group reads, or one the store lacks";
}

// Each mask bit selects at most one row; only a written notify row makes
// the group's one announcement; an unchanged value is neither written nor
// announced.
TEST_F(Settings, EachMaskBitWritesItsRowAndOnlyNotifyRowsAreAnnounced) {
    for (const GroupCase &g : kGroups) {
        if (g.set == nullptr) continue;
        const uint32_t n = g.per_recipient ? 2 : 0;
        for (unsigned bit = 0; bit < 32; ++bit) {
            SCOPED_TRACE(::testing::Message() << g.name << " bit " << bit);
            devsim::reset();
            flippedStored(g, n);
            const uint32_t mask = 1u << bit;
            ASSERT_EQ(g.set(mask, n, rec_), ENTMLST_OK);
            EXPECT_EQ(simtest::callCount(S::meSTCSetStatus), (g.row_mask & mask) ? 1u : 0u);
            const bool announced = (g.notify_mask & mask) != 0;
            if (g.notify != kNone) {
                EXPECT_EQ(simtest::callCount(g.notify), announced ? 1u : 0u);
            }
            if (announced) {
                std::vector<uint64_t> want; // the announcement's arguments
                if (g.notify == S::mscMLRPTChgSMTPProtocol) want = {rec_[0]};
                if (g.notify == S::mscMLPRNChgSchedule) want = {0, 0};
                if (g.per_recipient) want = {n};
                EXPECT_EQ(simtest::calls(g.notify).at(0).args, want);
            }
            simtest::clearCalls();
            ASSERT_EQ(g.set(mask, n, rec_), ENTMLST_OK);
            EXPECT_EQ(simtest::callCount(S::meSTCSetStatus), 0u) << "unchanged value written again";
            EXPECT_EQ(simtest::callCount(g.notify), 0u);
            EXPECT_TRUE(lines().empty());
        }
    }
}

TEST_F(Settings, RecipientAddressAndNameAreSharedByBothReportGroups) {
    for (uint32_t n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        devsim::reset();
        ENTMLSTSMTPSCH sch;
        ASSERT_EQ(entMLSTGetSmtpSch(n, &sch), ENTMLST_OK);
        std::memset(sch.address, 'a' + n, sizeof sch.address);
        std::memset(sch.name, 'n' + n, sizeof sch.name);
        ASSERT_EQ(entMLSTSetSmtpSch(0x3, n, &sch), ENTMLST_OK);
        for (uint32_t m = 1; m <= 3; ++m) {
            ENTMLSTSMTPEVENT event;
            ASSERT_EQ(entMLSTGetSmtpEvent(m, &event), ENTMLST_OK);
            EXPECT_EQ(std::memcmp(event.address, sch.address, sizeof sch.address) == 0, m == n);
            EXPECT_EQ(std::memcmp(event.name, sch.name, sizeof sch.name) == 0, m == n);
        }
        ENTMLSTSMTPEVENT event;
        ASSERT_EQ(entMLSTGetSmtpEvent(n, &event), ENTMLST_OK);
        event.address[0] = 'E';
        ASSERT_EQ(entMLSTSetSmtpEvent(0x1, n, &event), ENTMLST_OK);
        ASSERT_EQ(entMLSTGetSmtpSch(n, &sch), ENTMLST_OK);
        EXPECT_EQ(sch.address[0], 'E');
    }
}

TEST_F(Settings, TheMaintenanceSubjectIsTheFirstSubjectValue) {
    ENTMLSTMAINTE mainte;
    ASSERT_EQ(entMLSTGetMainte(&mainte), ENTMLST_OK);
    std::memcpy(mainte.subject, "Weekly status!!", 16);
    ASSERT_EQ(entMLSTSetMainte(0x1, &mainte), ENTMLST_OK);
    ENTMLSTSUBJECT subject = filled<ENTMLSTSUBJECT>(0);
    ASSERT_EQ(entMLSTGetSubject(&subject), ENTMLST_OK);
    EXPECT_EQ(std::memcmp(subject.subject, "Weekly status!!", 16), 0);
}

TEST_F(Settings, CountersAreReadInRecordOrder) {
    ENTMLSTCOUNTER counter;
    ASSERT_EQ(entMLSTCounter(&counter), ENTMLST_OK);
    auto reads = simtest::calls(S::meSTCGetStatus);
    ASSERT_EQ(reads.size(), 16u);
    const auto base = reinterpret_cast<uintptr_t>(&counter);
    EXPECT_EQ(std::make_pair(reads.front().args[1], reads.front().args[2] - base),
              std::make_pair(uint64_t{0x94009470}, uint64_t{0x00}));
    EXPECT_EQ(std::make_pair(reads.back().args[1], reads.back().args[2] - base),
              std::make_pair(uint64_t{0x94009420}, uint64_t{0x3c}));
}

// Recipient first, then record; a refused call touches no service.
TEST_F(Settings, ArgumentsAreCheckedBeforeAnyServiceCall) {
    for (const GroupCase &g : kGroups) {
        struct Try {
            uint32_t n;
            void *rec;
            const char *line;
        };
        std::vector<Try> tries{{g.per_recipient ? 1u : 0u, nullptr, g.param_line}};
        if (g.per_recipient) {
            const char *bad =
                std::string(g.name) == "Pop3User" ? "<Error>:param(pop3userno) is Failed!\n" : kRecipNo;
            for (uint32_t n : {0u, 4u, 0xffffffffu}) {
                tries.push_back({n, nullptr, bad});
                tries.push_back({n, rec_, bad});
            }
        }
        for (const Try &t : tries) {
            for (bool set : {false, true}) {
                if (set && g.set == nullptr) continue;
                SCOPED_TRACE(::testing::Message()
                             << g.name << (set ? " Set" : " Get") << " recipient " << t.n);
                devsim::reset();
                EXPECT_EQ(set ? g.set(0xffffffff, t.n, t.rec) : g.get(t.n, t.rec), ENTMLST_ERR_PARAM);
                EXPECT_EQ(lines(), t.line ? std::vector<std::string>{t.line} : std::vector<std::string>{});
                EXPECT_TRUE(serviceCalls().empty());
            }
        }
    }
}

} // namespace
