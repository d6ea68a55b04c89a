// Several threads on one device: Get and Set on overlapping groups (the
// address and name shared by the event and schedule reports of recipient 1,
// the first maintenance value that the subject group reads too), the job
// functions and start-up, all at once. Run under ThreadSanitizer by the tsan
// stage; here it proves that every stored value is one some caller wrote.
#include "support/device.h"

#include <atomic>
#include <random>
#include <thread>

namespace corvel::test {
namespace {

constexpr int kThreads = 4;
constexpr int kIterations = 150;
constexpr uint32_t kRecipient = 1;
constexpr uint32_t kJob = 0x1001;
constexpr uint32_t kParentJob = 0x2001;
constexpr uint32_t kAllRows = 0xffffffffu;

// Every record a thread writes is filled with one byte from its own set:
// thread t writes 0x10 * (t + 1) + k for k in 0..3.
uint8_t pattern(int thread, unsigned k) { return static_cast<uint8_t>(0x10 * (thread + 1) + (k & 3)); }

// A value is one some caller wrote when all its bytes are one thread's pattern.
template <typename T>
::testing::AssertionResult written(const T &value, const char *what) {
    const auto *b = reinterpret_cast<const uint8_t *>(&value);
    const bool known = b[0] >= pattern(0, 0) && b[0] <= pattern(kThreads - 1, 3) && (b[0] & 0xf) <= 3;
    for (std::size_t i = 0; i < sizeof value; ++i) {
        if (b[i] != b[0] || !known)
            return ::testing::AssertionFailure() << what << " byte " << i << " is 0x" << std::hex
                                                 << unsigned(b[i]) << ", first byte 0x" << unsigned(b[0]);
    }
    return ::testing::AssertionSuccess();
}

// The groups the threads write, read back whole.
struct Groups {
    ENTMLSTSMTPEVENT ev;
    ENTMLSTSMTPSCH sch;
    ENTMLSTMAINTE mainte;
    ENTMLSTSUBJECT subject;
    ENTMLSTIPJOB job;
    int read() { // how many reads failed
        return (entMLSTGetSmtpEvent(kRecipient, &ev) != ENTMLST_OK) +
               (entMLSTGetSmtpSch(kRecipient, &sch) != ENTMLST_OK) +
               (entMLSTGetMainte(&mainte) != ENTMLST_OK) + (entMLSTGetSubject(&subject) != ENTMLST_OK) +
               (entMLSTGetIpJob(kJob, &job) != ENTMLST_OK);
    }
};

class ThreadStressTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        devsim::createJob(kJob);
        devsim::setParentLink(kJob, kParentJob);
        for (uint32_t i = 0; i < 3; ++i) devsim::addChildLink(kJob, ENTMLST_LINK_KIND_MAIL, 0x3001 + i);
    }

    // One thread's run. Counts every result that is not ENTMLST_OK.
    static void run(int t, std::atomic<int> &ready, std::atomic<int> &failures) {
        // Start together, so that the runs overlap from the first call.
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        // The run is the same every time, the interleaving is not.
        std::minstd_rand rng(static_cast<uint32_t>(t + 1));
        auto check = [&](uint32_t rc) {
            if (rc != ENTMLST_OK) failures.fetch_add(1);
        };
        // Every row of the written groups once, so that each field below
        // holds a value some thread wrote.
        check(entMLSTSetSmtpEvent(kAllRows, kRecipient, ptr(filled<ENTMLSTSMTPEVENT>(pattern(t, 0)))));
        check(entMLSTSetSmtpSch(kAllRows, kRecipient, ptr(filled<ENTMLSTSMTPSCH>(pattern(t, 0)))));
        check(entMLSTSetMainte(kAllRows, ptr(filled<ENTMLSTMAINTE>(pattern(t, 0)))));
        check(entMLSTSetMailAttach(kJob, ptr(filled<ENTMLSTMAILATTACH>(pattern(t, 0)))));
        for (int i = 0; i < kIterations; ++i) {
            const uint8_t p = pattern(t, uint32_t(rng()));
            // Mostly every row, sometimes only the shared ones or a random subset.
            const uint32_t pick = uint32_t(rng());
            const uint32_t mask = pick % 3 == 0 ? kAllRows : pick % 3 == 1 ? 0x3u : uint32_t(rng());
            switch (uint32_t(rng()) % 8) {
            case 0:
                check(entMLSTSetSmtpEvent(mask, kRecipient, ptr(filled<ENTMLSTSMTPEVENT>(p))));
                break;
            case 1:
                check(entMLSTSetSmtpSch(mask, kRecipient, ptr(filled<ENTMLSTSMTPSCH>(p))));
                break;
            case 2:
                check(entMLSTSetMainte(mask, ptr(filled<ENTMLSTMAINTE>(p))));
                break;
            case 3:
                check(entMLSTSetMailAttach(kJob, ptr(filled<ENTMLSTMAILATTACH>(p))));
                break;
            case 4: {
                Groups g;
                ENTMLSTCURSEND cur;
                ENTMLSTPRNJOBEND end;
                failures.fetch_add(g.read());
                check(entMLSTGetCurSend(kJob, &cur));
                check(entMLSTGetPrnJobEnd(kJob, &end));
                break;
            }
            case 5: {
                ENTMLSTSENDRESULT entries[3];
                int32_t count = -1;
                check(entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_MAIL, 3, entries, &count));
                if (count != 3) failures.fetch_add(1);
                break;
            }
            case 6:
                check(entMLSTInit(0x40 + static_cast<uint32_t>(t)));
                break;
            default:
                check(entMLSTSyncMe());
                break;
            }
        }
    }

    // A temporary's address for the duration of one call.
    template <typename T>
    static const T *ptr(const T &rec) {
        return &rec;
    }
};

TEST_F(ThreadStressTest, EveryStoredValueIsOneACallerWrote) {
    std::atomic<int> ready{0}, failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t, std::ref(ready), std::ref(failures));
    for (auto &th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(devsim::monitor().empty()) << devsim::monitor().front().text;

    Groups g;
    ASSERT_EQ(g.read(), 0);
    const auto &[ev, sch, mainte, subject, job] = g;

    // The shared values read the same through both groups.
    EXPECT_EQ(std::memcmp(ev.address, sch.address, sizeof ev.address), 0);
    EXPECT_EQ(std::memcmp(ev.name, sch.name, sizeof ev.name), 0);
    EXPECT_EQ(std::memcmp(mainte.subject, subject.subject, sizeof mainte.subject), 0);

    EXPECT_TRUE(written(ev.address, "address"));
    EXPECT_TRUE(written(ev.name, "name"));
    for (uint8_t e : ev.event) EXPECT_TRUE(written(e, "event"));
    EXPECT_TRUE(written(ev.interval, "interval"));
    EXPECT_TRUE(written(sch.enable, "enable"));
    EXPECT_TRUE(written(sch.week, "week"));
    EXPECT_TRUE(written(sch.period, "period"));
    EXPECT_TRUE(written(sch.report, "report"));
    EXPECT_TRUE(written(mainte.subject, "subject"));
    EXPECT_TRUE(written(mainte.address, "mainte address"));
    EXPECT_TRUE(written(mainte.period, "mainte period"));
    EXPECT_TRUE(written(mainte.enable, "mainte enable"));
    EXPECT_TRUE(written(job.attach_mode, "attach mode"));
    EXPECT_TRUE(written(job.attach_format, "attach format"));
}

} // namespace
} // namespace corvel::test
