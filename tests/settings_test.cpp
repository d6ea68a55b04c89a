// The setting groups through the exported functions: what reaches the store,
// what comes back, which change is announced, and the argument checks.
#include <algorithm>
#include <bit>
#include <random>

#include "support/device.h"
#include "support/faults.h"

namespace {

using namespace corvel::test;
using S = devsim::Service;

// One setting group as a caller sees it.
struct GroupCase {
    const char *name;
    std::size_t size;
    bool per_recipient;
    uint32_t (*get)(uint32_t n, void *rec);
    uint32_t (*set)(uint32_t mask, uint32_t n, const void *rec); // null: read only
    std::size_t rows;
    uint32_t row_mask;    // change-mask bits that select a row
    uint32_t notify_mask; // rows whose change is announced
    S notify;             // emwGENMonSendMessage: the group announces nothing
    std::vector<std::size_t> gaps; // record bytes that belong to no stored value
    const char *param_line;        // null record; null: refused silently
};

constexpr S kNone = S::emwGENMonSendMessage;
constexpr const char *kParam = "<Error>:param is Failed!\n";
constexpr const char *kParamLastSend = "<Error>:param(lastsend) is Failed!\n";
constexpr const char *kRecipNo = "<Error>:param(smtprecipino) is Failed!\n";

template <typename R> R *as(void *p) { return static_cast<R *>(p); }
template <typename R> const R *as(const void *p) { return static_cast<const R *>(p); }

const GroupCase kGroups[] = {
    {"Pop3", sizeof(ENTMLSTPOP3), false,
     [](uint32_t, void *r) { return entMLSTGetPop3(as<ENTMLSTPOP3>(r)); },
     [](uint32_t m, uint32_t, const void *r) { return entMLSTSetPop3(m, as<ENTMLSTPOP3>(r)); },
     13, 0x1fff, 0x3, S::mscMLPRNChgSchedule,
     {offsetof(ENTMLSTPOP3, reserved_001), offsetof(ENTMLSTPOP3, reserved_145)}, kParam},
    {"Pop3User", sizeof(ENTMLSTPOP3USER), true,
     [](uint32_t n, void *r) { return entMLSTGetPop3User(n, as<ENTMLSTPOP3USER>(r)); },
     [](uint32_t m, uint32_t n, const void *r) { return entMLSTSetPop3User(m, n, as<ENTMLSTPOP3USER>(r)); },
     11, 0x7ff, 0, kNone, {offsetof(ENTMLSTPOP3USER, reserved_081)},
     "<Error>:param(pop3user) is Failed!\n"},
    {"Smtp", sizeof(ENTMLSTSMTP), false,
     [](uint32_t, void *r) { return entMLSTGetSmtp(as<ENTMLSTSMTP>(r)); },
     [](uint32_t m, uint32_t, const void *r) { return entMLSTSetSmtp(m, as<ENTMLSTSMTP>(r)); },
     24, 0xffffff, 0x1, S::mscMLRPTChgSMTPProtocol,
     {offsetof(ENTMLSTSMTP, reserved_001), 0x40b, 0x40c, 0x40d}, kParam},
    {"SmtpEvent", sizeof(ENTMLSTSMTPEVENT), true,
     [](uint32_t n, void *r) { return entMLSTGetSmtpEvent(n, as<ENTMLSTSMTPEVENT>(r)); },
     [](uint32_t m, uint32_t n, const void *r) { return entMLSTSetSmtpEvent(m, n, as<ENTMLSTSMTPEVENT>(r)); },
     10, 0x3ff, 0x200, S::mscMLRPTChgEventReportTime, {offsetof(ENTMLSTSMTPEVENT, reserved_187)},
     "<Error>:param(smtpevent) is Failed!\n"},
    {"SmtpSch", sizeof(ENTMLSTSMTPSCH), true,
     [](uint32_t n, void *r) { return entMLSTGetSmtpSch(n, as<ENTMLSTSMTPSCH>(r)); },
     [](uint32_t m, uint32_t n, const void *r) { return entMLSTSetSmtpSch(m, n, as<ENTMLSTSMTPSCH>(r)); },
     9, 0x1ff, 0x1f8, S::mscMLRPTChgScheduleReportTime, {}, "<Error>:param(smtpsch) is Failed!\n"},
    {"EvrLastSend", sizeof(ENTMLSTLASTSEND), true,
     [](uint32_t n, void *r) { return entMLSTGetEvrLastSend(n, as<ENTMLSTLASTSEND>(r)); },
     [](uint32_t m, uint32_t n, const void *r) { return entMLSTSetEvrLastSend(m, n, as<ENTMLSTLASTSEND>(r)); },
     1, ENTMLST_MASK_EVR_LASTSEND, 0, kNone, {}, kParamLastSend},
    {"ScrLastSend", sizeof(ENTMLSTLASTSEND), true,
     [](uint32_t n, void *r) { return entMLSTGetScrLastSend(n, as<ENTMLSTLASTSEND>(r)); },
     [](uint32_t m, uint32_t n, const void *r) { return entMLSTSetScrLastSend(m, n, as<ENTMLSTLASTSEND>(r)); },
     1, ENTMLST_MASK_SCR_LASTSEND, 0, kNone, {}, kParamLastSend},
    {"Mainte", sizeof(ENTMLSTMAINTE), false,
     [](uint32_t, void *r) { return entMLSTGetMainte(as<ENTMLSTMAINTE>(r)); },
     [](uint32_t m, uint32_t, const void *r) { return entMLSTSetMainte(m, as<ENTMLSTMAINTE>(r)); },
     9, 0x1ff, 0x1f8, S::mscMLRPTChgMaintenanceReportTime, {offsetof(ENTMLSTMAINTE, reserved_193)}, kParam},
    {"MainteLastSend", sizeof(ENTMLSTLASTSEND), false,
     [](uint32_t, void *r) { return entMLSTGetMainteLastSend(as<ENTMLSTLASTSEND>(r)); },
     [](uint32_t m, uint32_t, const void *r) { return entMLSTSetMainteLastSend(m, as<ENTMLSTLASTSEND>(r)); },
     1, ENTMLST_MASK_MAINTE_LASTSEND, 0, kNone, {}, kParamLastSend},
    {"Counter", sizeof(ENTMLSTCOUNTER), false,
     [](uint32_t, void *r) { return entMLSTCounter(as<ENTMLSTCOUNTER>(r)); }, nullptr, 16, 0, 0, kNone, {},
     kParam},
    {"Subject", sizeof(ENTMLSTSUBJECT), false,
     [](uint32_t, void *r) { return entMLSTGetSubject(as<ENTMLSTSUBJECT>(r)); }, nullptr, 6, 0, 0, kNone, {},
     kParam},
    {"HostBuffer", sizeof(ENTMLSTHOSTBUFFER), false,
     [](uint32_t, void *r) { return entMLSTGetHostBuffer(as<ENTMLSTHOSTBUFFER>(r)); }, nullptr, 2, 0, 0, kNone,
     {}, nullptr},
};

std::vector<uint32_t> recipientsOf(const GroupCase &g) {
    return g.per_recipient ? std::vector<uint32_t>{1, 2, 3} : std::vector<uint32_t>{0};
}

class Settings : public DeviceTest {
protected:
    alignas(8) uint8_t rec_[2048];
    void fill(const GroupCase &g, uint8_t v) { std::memset(rec_, v, g.size); }
    devsim::Bytes record(const GroupCase &g) const { return devsim::Bytes(rec_, rec_ + g.size); }
    // The stored group, every byte changed.
    void flippedStored(const GroupCase &g, uint32_t n) {
        ASSERT_EQ(g.get(n, rec_), ENTMLST_OK);
        for (std::size_t i = 0; i < g.size; ++i) rec_[i] ^= 0xff;
        devsim::clearCalls();
    }
};

TEST_F(Settings, GetFillsEveryFieldFromTheStoreAndNoOtherByte) {
    for (const GroupCase &g : kGroups) {
        std::vector<std::vector<uint64_t>> ids_by_recipient;
        for (uint32_t n : recipientsOf(g)) {
            SCOPED_TRACE(::testing::Message() << g.name << " recipient " << n);
            devsim::reset();
            fill(g, 0xee);
            ASSERT_EQ(g.get(n, rec_), ENTMLST_OK);
            auto reads = devsim::calls(S::meSTCGetStatus);
            ASSERT_EQ(reads.size(), g.rows);
            EXPECT_EQ(serviceCalls().size(), g.rows);
            std::vector<bool> covered(g.size);
            std::vector<uint64_t> ids;
            for (const auto &c : reads) {
                const auto value = stored(uint32_t(c.args[1]));
                const std::size_t off = c.args[2] - reinterpret_cast<uintptr_t>(rec_);
                ASSERT_LE(off + value.size(), g.size) << "read outside the record";
                EXPECT_EQ(devsim::Bytes(rec_ + off, rec_ + off + value.size()), value);
                for (std::size_t i = off; i < off + value.size(); ++i) covered[i] = true;
                ids.push_back(c.args[1]);
            }
            std::vector<std::size_t> gaps;
            for (std::size_t i = 0; i < g.size; ++i)
                if (!covered[i]) gaps.push_back(i);
            EXPECT_EQ(gaps, g.gaps);
            for (std::size_t i : gaps) EXPECT_EQ(rec_[i], 0xee) << "byte " << i;
            ids_by_recipient.push_back(ids);
        }
        // Recipient n reads the n-th ID of each row, 0x28 apart.
        for (std::size_t n = 1; n < ids_by_recipient.size(); ++n)
            for (std::size_t i = 0; i < g.rows; ++i)
                EXPECT_EQ(ids_by_recipient[n][i], ids_by_recipient[0][i] + 0x28 * n) << g.name;
    }
}

TEST_F(Settings, WhatASetStoresTheGetReturns) {
    std::mt19937 rng(11);
    for (const GroupCase &g : kGroups) {
        if (g.set == nullptr) continue;
        for (uint32_t n : recipientsOf(g)) {
            SCOPED_TRACE(::testing::Message() << g.name << " recipient " << n);
            devsim::reset();
            for (std::size_t i = 0; i < g.size; ++i) rec_[i] = static_cast<uint8_t>(rng());
            const devsim::Bytes sent = record(g);
            ASSERT_EQ(g.set(0xffffffff, n, rec_), ENTMLST_OK);
            EXPECT_EQ(record(g), sent) << "a Set changed the caller's record";
            fill(g, 0xee);
            ASSERT_EQ(g.get(n, rec_), ENTMLST_OK);
            devsim::Bytes want = sent;
            for (std::size_t i : g.gaps) want[i] = 0xee;
            EXPECT_EQ(record(g), want);
        }
    }
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
            EXPECT_EQ(devsim::callCount(S::meSTCSetStatus), (g.row_mask & mask) ? 1u : 0u);
            const bool announced = (g.notify_mask & mask) != 0;
            if (g.notify != kNone) {
                EXPECT_EQ(devsim::callCount(g.notify), announced ? 1u : 0u);
            }
            if (announced) {
                std::vector<uint64_t> want; // the announcement's arguments
                if (g.notify == S::mscMLRPTChgSMTPProtocol) want = {rec_[0]};
                if (g.notify == S::mscMLPRNChgSchedule) want = {0, 0};
                if (g.per_recipient) want = {n};
                EXPECT_EQ(devsim::calls(g.notify).at(0).args, want);
            }
            devsim::clearCalls();
            ASSERT_EQ(g.set(mask, n, rec_), ENTMLST_OK);
            EXPECT_EQ(devsim::callCount(S::meSTCSetStatus), 0u) << "unchanged value written again";
            EXPECT_EQ(devsim::callCount(g.notify), 0u);
            EXPECT_TRUE(lines().empty());
        }
    }
}

TEST_F(Settings, ManyChangedNotifyRowsAreAnnouncedOnceAfterTheLastWrite) {
    for (const GroupCase &g : kGroups) {
        if (g.notify == kNone) continue;
        SCOPED_TRACE(g.name);
        devsim::reset();
        flippedStored(g, 1);
        ASSERT_EQ(g.set(0xffffffff, 1, rec_), ENTMLST_OK);
        auto log = servicesOf(serviceCalls());
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(std::count(log.begin(), log.end(), g.notify), 1);
        EXPECT_EQ(log[log.size() - 3], S::meSTCSetStatus);
        EXPECT_EQ(log[log.size() - 2], g.notify);
    }
}

TEST_F(Settings, AFailedAnnouncementIsReportedButTheSetSucceeds) {
    struct Case { const char *group; const char *line; };
    const Case cases[] = {
        {"Pop3", "entMLSTSetPop3():[Error] mscMLPRNChgSchedule(0) code=0x99\n"},
        {"Smtp", "entMLSTSetSmtp():[Error] mscMLRPTChgSMTPProtocol() code=0x99\n"},
        {"SmtpEvent", "entMLSTSetSmtpEvent():[Error] mscMLRPTChgEventReportTime() code=0x99\n"},
        {"SmtpSch", "entMLSTSetSmtpSch():[Error] mscMLRPTChgScheduleReportTime() code=0x99\n"},
        {"Mainte", "entMLSTSetMainte():[Error] mscMLRPTChgMaintenanceReportTime() code=0x99\n"},
    };
    for (const Case &c : cases) {
        const GroupCase &g = *std::find_if(std::begin(kGroups), std::end(kGroups),
                                           [&](const GroupCase &x) { return std::string(x.name) == c.group; });
        SCOPED_TRACE(c.group);
        devsim::reset();
        flippedStored(g, 3);
        devsim::failCall(g.notify, 1, 0x99);
        EXPECT_EQ(g.set(0xffffffff, 3, rec_), ENTMLST_OK);
        EXPECT_EQ(lines(), std::vector<std::string>{c.line});

        // A write failing after a notify row was written: no announcement.
        devsim::reset();
        flippedStored(g, 3);
        devsim::failCall(S::meSTCSetStatus, std::popcount(g.row_mask), 0x98);
        EXPECT_EQ(g.set(0xffffffff, 3, rec_), ENTMLST_ERR_STATUS_SET);
        EXPECT_EQ(devsim::callCount(g.notify), 0u);
    }
}

TEST_F(Settings, TheProtocolSelectorIsAnnouncedWithoutSign) {
    ENTMLSTSMTP smtp;
    ASSERT_EQ(entMLSTGetSmtp(&smtp), ENTMLST_OK);
    smtp.protocol = 0xff;
    ASSERT_EQ(entMLSTSetSmtp(0x1, &smtp), ENTMLST_OK);
    ASSERT_EQ(devsim::callCount(S::mscMLRPTChgSMTPProtocol), 1u);
    EXPECT_EQ(devsim::calls(S::mscMLRPTChgSMTPProtocol)[0].args, std::vector<uint64_t>{255});
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
    auto reads = devsim::calls(S::meSTCGetStatus);
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
        struct Try { uint32_t n; void *rec; const char *line; };
        std::vector<Try> tries{{g.per_recipient ? 1u : 0u, nullptr, g.param_line}};
        if (g.per_recipient) {
            const char *bad = std::string(g.name) == "Pop3User" ? "<Error>:param(pop3userno) is Failed!\n" : kRecipNo;
            for (uint32_t n : {0u, 4u, 0xffffffffu}) {
                tries.push_back({n, nullptr, bad});
                tries.push_back({n, rec_, bad});
            }
        }
        for (const Try &t : tries) {
            for (bool set : {false, true}) {
                if (set && g.set == nullptr) continue;
                SCOPED_TRACE(::testing::Message() << g.name << (set ? " Set" : " Get") << " recipient " << t.n);
                devsim::reset();
                EXPECT_EQ(set ? g.set(0xffffffff, t.n, t.rec) : g.get(t.n, t.rec), ENTMLST_ERR_PARAM);
                EXPECT_EQ(lines(), t.line ? std::vector<std::string>{t.line} : std::vector<std::string>{});
                EXPECT_TRUE(serviceCalls().empty());
            }
        }
    }
}

} // namespace
