// byte_order_test.cpp - multi-byte values go between the device's services
// and the caller's record as raw bytes, never swapped, so on the device (big
// endian) the record's numbers read as the numbers the device stored. That
// the bytes move unchanged is shown by the settings and job suites; here the
// record's own members are read as numbers.
#include <cstring>

#include "support/cases.h"
#include "support/device.h"

namespace {

using namespace corvel::test;
using devsim::Bytes;

constexpr bool kBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
constexpr uint16_t k16 = kBigEndian ? 0x1234 : 0x3412;
constexpr uint32_t k32 = kBigEndian ? 0x12345678u : 0x78563412u;

// The bytes 12 34 56 78 ..., as many as the value is wide.
Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x12 + 0x22 * i);
    return b;
}

class NativeNumbers : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        devsim::setParentLink(kJob, kParent);
    }

    // Gives every value the Get reads the pattern, then runs it into rec.
    template <typename Rec, typename Get>
    static void load(Rec &rec, Get get) {
        devsim::clearCalls();
        ASSERT_EQ(get(&rec), ENTMLST_OK);
        for (const auto &c : devsim::calls()) {
            const auto id = static_cast<uint32_t>(c.args[1]);
            if (c.service == S::meSTCGetStatus) {
                ASSERT_TRUE(devsim::putSetting(id, pattern(*devsim::settingSize(id))));
            } else if (c.service == S::meSVCGetCurrent) {
                ASSERT_TRUE(devsim::putJobValue(uint32_t(c.args[0]), id, pattern(*devsim::valueWidth(id))));
            }
        }
        std::memset(&rec, 0, sizeof rec);
        ASSERT_EQ(get(&rec), ENTMLST_OK);
    }
};

TEST_F(NativeNumbers, TwoByteFields) {
    ENTMLSTPOP3USER user;
    load(user, [](ENTMLSTPOP3USER *r) { return entMLSTGetPop3User(2, r); });
    EXPECT_EQ(user.port, k16);
    EXPECT_EQ(user.timeout, k16);
    ENTMLSTSMTP smtp;
    load(smtp, entMLSTGetSmtp);
    EXPECT_EQ(smtp.port, k16);
    EXPECT_EQ(smtp.size_limit, k16);
    ENTMLSTMAINTE mainte;
    load(mainte, entMLSTGetMainte);
    EXPECT_EQ(mainte.period, k16);
}

TEST_F(NativeNumbers, LastSendValuesAndCounters) {
    ENTMLSTLASTSEND last;
    load(last, entMLSTGetMainteLastSend);
    EXPECT_EQ(last.time, k32);
    ENTMLSTCOUNTER counter;
    load(counter, entMLSTCounter);
    for (uint32_t c : counter.count) EXPECT_EQ(c, k32);
}

// The parent job ID is a number the job-link service writes itself: it reads
// back as that number everywhere, and on the device its bytes are big-endian.
TEST_F(NativeNumbers, ParentJobId) {
    ENTMLSTIPJOB job;
    load(job, [](ENTMLSTIPJOB *r) { return entMLSTGetIpJob(kJob, r); });
    EXPECT_EQ(job.parent_job_id, kParent);
    const auto *at = reinterpret_cast<const uint8_t *>(&job) + offsetof(ENTMLSTIPJOB, parent_job_id);
    const Bytes big{0xab, 0xcd, 0x12, 0x34};
    EXPECT_EQ(Bytes(at, at + 4), kBigEndian ? big : Bytes(big.rbegin(), big.rend()));
    // The parent's own values come as the bytes the service holds.
    EXPECT_EQ(Bytes(job.user_info1, job.user_info1 + 4), pattern(4));
}

} // namespace
