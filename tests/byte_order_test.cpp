// byte_order_test.cpp - multi-byte values go between the device's services
// and the caller's record as raw bytes, never swapped, so on the device (big
// endian) the record's numbers read as the numbers the device stored.
#include "support/cases.h"

namespace {

using namespace corvel::test;
using devsim::Bytes;

constexpr bool kBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

using NativeNumbers = DeviceTest;

// One two-byte and one four-byte setting stand for all: every field's bytes
// reaching the record unchanged is the settings suite's. The parent job ID is
// a number the job-link service writes itself: it reads back as that number
// everywhere, and on the device its bytes are big-endian.
TEST_F(NativeNumbers, SettingsAndTheParentJobIdReadAsTheDevicesNumbers) {
    ASSERT_TRUE(devsim::putSetting(0x85006334, {0x12, 0x34}));             // smtp.port
    ASSERT_TRUE(devsim::putSetting(0x94009470, {0x12, 0x34, 0x56, 0x78})); // counters.count1
    ENTMLSTSMTP smtp;
    ASSERT_EQ(entMLSTGetSmtp(&smtp), ENTMLST_OK);
    EXPECT_EQ(smtp.port, kBigEndian ? 0x1234 : 0x3412);
    ENTMLSTCOUNTER counter;
    ASSERT_EQ(entMLSTCounter(&counter), ENTMLST_OK);
    EXPECT_EQ(counter.count[0], kBigEndian ? 0x12345678u : 0x78563412u);

    devsim::setParentLink(kJob, kParent);
    ENTMLSTIPJOB job;
    ASSERT_EQ(entMLSTGetIpJob(kJob, &job), ENTMLST_OK);
    EXPECT_EQ(job.parent_job_id, kParent);
    const auto *at = reinterpret_cast<const uint8_t *>(&job) + offsetof(ENTMLSTIPJOB, parent_job_id);
    const Bytes big{0xab, 0xcd, 0x12, 0x34};
    EXPECT_EQ(Bytes(at, at + 4), kBigEndian ? big : Bytes(big.rbegin(), big.rend()));
}

} // namespace
