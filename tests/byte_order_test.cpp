// byte_order_test.cpp - multi-byte values go between the device's services
// and the caller's record as raw bytes, never swapped. On the device (big
// endian) the record's numbers then read as the numbers the device stored.
//
// Which stored value lands where is learnt from the service calls of a first
// Get, so the test restates none of the library's tables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/device.h"

namespace {

using corvel::test::DeviceTest;
using devsim::Bytes;
using devsim::Service;

constexpr bool kBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
constexpr uint32_t kJob = 0x00a10001;
constexpr uint32_t kParent = 0x12345678;

// Every stored value is given these bytes (as many as it is wide), so each
// 2-byte field holds {0x12, 0x34} and each 4-byte field {0x12, 0x34, 0x56, 0x78}.
Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(0x12 + 0x22 * i);
    return b;
}

// One stored value and the record bytes it fills.
struct Field {
    Service service; // meSTCGetStatus or meSVCGetCurrent
    uint32_t job;    // meSVCGetCurrent only
    uint32_t id;     // settings ID or value ID
    std::size_t offset, size;
};

struct Group {
    const char *name;
    std::size_t size;
    std::function<uint32_t(void *)> get;
    std::function<uint32_t(const void *)> set; // empty for read-only groups
};

void PrintTo(const Group &g, std::ostream *os) { *os << g.name; }

const std::vector<Group> &groups() {
    static const std::vector<Group> g = {
        {"Pop3", sizeof(ENTMLSTPOP3),
         [](void *r) { return entMLSTGetPop3(static_cast<ENTMLSTPOP3 *>(r)); },
         [](const void *r) { return entMLSTSetPop3(~0u, static_cast<const ENTMLSTPOP3 *>(r)); }},
        {"Pop3User", sizeof(ENTMLSTPOP3USER),
         [](void *r) { return entMLSTGetPop3User(2, static_cast<ENTMLSTPOP3USER *>(r)); },
         [](const void *r) { return entMLSTSetPop3User(~0u, 2, static_cast<const ENTMLSTPOP3USER *>(r)); }},
        {"Smtp", sizeof(ENTMLSTSMTP),
         [](void *r) { return entMLSTGetSmtp(static_cast<ENTMLSTSMTP *>(r)); },
         [](const void *r) { return entMLSTSetSmtp(~0u, static_cast<const ENTMLSTSMTP *>(r)); }},
        {"SmtpEvent", sizeof(ENTMLSTSMTPEVENT),
         [](void *r) { return entMLSTGetSmtpEvent(3, static_cast<ENTMLSTSMTPEVENT *>(r)); },
         [](const void *r) { return entMLSTSetSmtpEvent(~0u, 3, static_cast<const ENTMLSTSMTPEVENT *>(r)); }},
        {"SmtpSch", sizeof(ENTMLSTSMTPSCH),
         [](void *r) { return entMLSTGetSmtpSch(1, static_cast<ENTMLSTSMTPSCH *>(r)); },
         [](const void *r) { return entMLSTSetSmtpSch(~0u, 1, static_cast<const ENTMLSTSMTPSCH *>(r)); }},
        {"EvrLastSend", sizeof(ENTMLSTLASTSEND),
         [](void *r) { return entMLSTGetEvrLastSend(2, static_cast<ENTMLSTLASTSEND *>(r)); },
         [](const void *r) { return entMLSTSetEvrLastSend(~0u, 2, static_cast<const ENTMLSTLASTSEND *>(r)); }},
        {"ScrLastSend", sizeof(ENTMLSTLASTSEND),
         [](void *r) { return entMLSTGetScrLastSend(3, static_cast<ENTMLSTLASTSEND *>(r)); },
         [](const void *r) { return entMLSTSetScrLastSend(~0u, 3, static_cast<const ENTMLSTLASTSEND *>(r)); }},
        {"MainteLastSend", sizeof(ENTMLSTLASTSEND),
         [](void *r) { return entMLSTGetMainteLastSend(static_cast<ENTMLSTLASTSEND *>(r)); },
         [](const void *r) { return entMLSTSetMainteLastSend(~0u, static_cast<const ENTMLSTLASTSEND *>(r)); }},
        {"Mainte", sizeof(ENTMLSTMAINTE),
         [](void *r) { return entMLSTGetMainte(static_cast<ENTMLSTMAINTE *>(r)); },
         [](const void *r) { return entMLSTSetMainte(~0u, static_cast<const ENTMLSTMAINTE *>(r)); }},
        {"Counter", sizeof(ENTMLSTCOUNTER),
         [](void *r) { return entMLSTCounter(static_cast<ENTMLSTCOUNTER *>(r)); }, {}},
        {"HostBuffer", sizeof(ENTMLSTHOSTBUFFER),
         [](void *r) { return entMLSTGetHostBuffer(static_cast<ENTMLSTHOSTBUFFER *>(r)); }, {}},
        {"IpJob", sizeof(ENTMLSTIPJOB),
         [](void *r) { return entMLSTGetIpJob(kJob, static_cast<ENTMLSTIPJOB *>(r)); }, {}},
        {"PrnJobEnd", sizeof(ENTMLSTPRNJOBEND),
         [](void *r) { return entMLSTGetPrnJobEnd(kJob, static_cast<ENTMLSTPRNJOBEND *>(r)); }, {}},
        {"CurSend", sizeof(ENTMLSTCURSEND),
         [](void *r) { return entMLSTGetCurSend(kJob, static_cast<ENTMLSTCURSEND *>(r)); }, {}},
    };
    return g;
}

class ByteOrder : public DeviceTest, public ::testing::WithParamInterface<Group> {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        devsim::createJob(kJob);
        devsim::setParentLink(kJob, kParent);
    }

    // Runs the Get once and maps each value it read to its record bytes.
    static std::vector<Field> fieldsOf(const Group &g) {
        std::vector<uint8_t> rec(g.size);
        devsim::clearCalls();
        EXPECT_EQ(g.get(rec.data()), ENTMLST_OK) << g.name;
        const auto base = reinterpret_cast<uintptr_t>(rec.data());
        std::vector<Field> out;
        for (const auto &c : devsim::calls()) {
            Field f{c.service, 0, 0, 0, 0};
            uintptr_t dst = 0;
            if (c.service == Service::meSTCGetStatus) {
                f.id = static_cast<uint32_t>(c.args[1]);
                f.size = devsim::settingSize(f.id).value_or(0);
                dst = static_cast<uintptr_t>(c.args[2]);
            } else if (c.service == Service::meSVCGetCurrent) {
                f.job = static_cast<uint32_t>(c.args[0]);
                f.id = static_cast<uint32_t>(c.args[1]);
                f.size = devsim::valueWidth(f.id).value_or(0);
                dst = static_cast<uintptr_t>(c.args[2]);
            } else {
                continue;
            }
            if (dst < base || dst - base + f.size > g.size)
                continue;
            f.offset = dst - base;
            out.push_back(f);
        }
        return out;
    }

    static void store(const Field &f, const Bytes &value) {
        if (f.service == Service::meSTCGetStatus)
            ASSERT_TRUE(devsim::putSetting(f.id, value));
        else
            ASSERT_TRUE(devsim::putJobValue(f.job, f.id, value));
    }
};

TEST_P(ByteOrder, GetCopiesStoredBytesUnchanged) {
    const Group &g = GetParam();
    const auto fields = fieldsOf(g);
    ASSERT_FALSE(fields.empty());
    bool multi_byte = false;
    for (const auto &f : fields) {
        store(f, pattern(f.size));
        multi_byte |= f.size > 1;
    }
    EXPECT_TRUE(multi_byte || g.size <= 3) << g.name << " has no multi-byte value";

    std::vector<uint8_t> rec(g.size, 0xee);
    ASSERT_EQ(g.get(rec.data()), ENTMLST_OK);
    for (const auto &f : fields)
        EXPECT_EQ(Bytes(rec.begin() + f.offset, rec.begin() + f.offset + f.size), pattern(f.size))
            << g.name << " bytes at 0x" << std::hex << f.offset;
}

class SetByteOrder : public ByteOrder {};

TEST_P(SetByteOrder, SetStoresRecordBytesUnchanged) {
    const Group &g = GetParam();
    const auto fields = fieldsOf(g);
    ASSERT_FALSE(fields.empty());
    std::vector<uint8_t> rec(g.size, 0);
    for (const auto &f : fields) {
        const Bytes p = pattern(f.size);
        std::memcpy(rec.data() + f.offset, p.data(), p.size());
    }
    ASSERT_EQ(g.set(rec.data()), ENTMLST_OK);
    for (const auto &f : fields)
        EXPECT_EQ(stored(f.id), pattern(f.size)) << g.name << " settings ID 0x" << std::hex << f.id;
}

std::vector<Group> writableGroups() {
    std::vector<Group> out;
    for (const auto &g : groups())
        if (g.set)
            out.push_back(g);
    return out;
}

std::string groupName(const ::testing::TestParamInfo<Group> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Groups, ByteOrder, ::testing::ValuesIn(groups()), groupName);
INSTANTIATE_TEST_SUITE_P(Groups, SetByteOrder, ::testing::ValuesIn(writableGroups()), groupName);

// The same bytes read as numbers through the record's own members: on the
// device they are the stored big-endian numbers.
class NativeNumbers : public ByteOrder {
protected:
    // Gives every value the Get reads the pattern, then runs it into rec.
    template <typename Rec>
    void load(const char *name, Rec &rec) {
        for (const auto &g : groups()) {
            if (std::strcmp(g.name, name) != 0)
                continue;
            for (const auto &f : fieldsOf(g))
                store(f, pattern(f.size));
            std::memset(&rec, 0, sizeof rec);
            ASSERT_EQ(g.get(&rec), ENTMLST_OK);
            return;
        }
        FAIL() << "no group " << name;
    }

    static constexpr uint16_t k16 = kBigEndian ? 0x1234 : 0x3412;
    static constexpr uint32_t k32 = kBigEndian ? 0x12345678u : 0x78563412u;
};

TEST_F(NativeNumbers, TwoByteFields) {
    ENTMLSTPOP3USER user;
    load("Pop3User", user);
    EXPECT_EQ(user.port, k16);
    EXPECT_EQ(user.timeout, k16);
    ENTMLSTSMTP smtp;
    load("Smtp", smtp);
    EXPECT_EQ(smtp.port, k16);
    EXPECT_EQ(smtp.size_limit, k16);
    ENTMLSTMAINTE mainte;
    load("Mainte", mainte);
    EXPECT_EQ(mainte.period, k16);
}

TEST_F(NativeNumbers, LastSendValuesAndCounters) {
    ENTMLSTLASTSEND last;
    load("MainteLastSend", last);
    EXPECT_EQ(last.time, k32);
    ENTMLSTCOUNTER counter;
    load("Counter", counter);
    for (uint32_t c : counter.count)
        EXPECT_EQ(c, k32);
}

// The parent job ID is a number the job-link service writes itself: it reads
// back as that number everywhere, and on the device its bytes are big-endian.
TEST_F(NativeNumbers, ParentJobId) {
    ENTMLSTIPJOB job;
    load("IpJob", job);
    EXPECT_EQ(job.parent_job_id, kParent);
    const auto *at = reinterpret_cast<const uint8_t *>(&job) + offsetof(ENTMLSTIPJOB, parent_job_id);
    if (kBigEndian)
        EXPECT_EQ(Bytes(at, at + 4), (Bytes{0x12, 0x34, 0x56, 0x78}));
    else
        EXPECT_EQ(Bytes(at, at + 4), (Bytes{0x78, 0x56, 0x34, 0x12}));
    // The parent's own values come as the bytes the service holds.
    EXPECT_EQ(Bytes(job.user_info1, job.user_info1 + 4), pattern(4));
}

} // namespace
