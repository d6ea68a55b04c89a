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

// Each of the values, named by its place in the list.
#define EXPECT_WRITTEN(...) expectWritten(#__VA_ARGS__, __VA_ARGS__)
template <typename... T>
void expectWritten(const char *names, const T &...values) {
    int i = 0;
    ([&] { EXPECT_TRUE(written(values, names)) << "value " << i++; }(), ...);
}

int failed(uint32_t result) { return result != ENTMLST_OK; }

// The groups the threads write, read back whole.
struct Groups {
    ENTMLSTSMTPEVENT ev;
    ENTMLSTSMTPSCH sch;
    ENTMLSTMAINTE mainte;
    ENTMLSTSUBJECT subject;
    ENTMLSTIPJOB job;
    int read() { // how many reads failed
        return failed(entMLSTGetSmtpEvent(kRecipient, &ev)) + failed(entMLSTGetSmtpSch(kRecipient, &sch)) +
               failed(entMLSTGetMainte(&mainte)) + failed(entMLSTGetSubject(&subject)) +
               failed(entMLSTGetIpJob(kJob, &job));
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
        // Every row of the written groups once, so that each field checked
        // afterwards holds a value some thread wrote.
        for (unsigned which = 0; which < 4; ++which) failures += call(which, t, pattern(t, 0), kAllRows);
        // The run is the same every time, the interleaving is not.
        std::minstd_rand rng(static_cast<uint32_t>(t + 1));
        for (int i = 0; i < kIterations; ++i) {
            const uint8_t p = pattern(t, uint32_t(rng()));
            // Mostly every row, sometimes only the shared ones or a random subset.
            const uint32_t pick = uint32_t(rng());
            const uint32_t mask = pick % 3 == 0 ? kAllRows : pick % 3 == 1 ? 0x3u : uint32_t(rng());
            failures += call(uint32_t(rng()) % 8, t, p, mask);
        }
    }

    // One call of thread t, the first four writing a group's rows in mask
    // with pattern p; answers how many of its results were not ENTMLST_OK.
    static int call(unsigned which, int t, uint8_t p, uint32_t mask) {
        Groups g;
        ENTMLSTCURSEND cur;
        ENTMLSTPRNJOBEND end;
        ENTMLSTSENDRESULT entries[3];
        int32_t count = -1;
        switch (which) {
        case 0:
            return failed(entMLSTSetSmtpEvent(mask, kRecipient, ptr(filled<ENTMLSTSMTPEVENT>(p))));
        case 1:
            return failed(entMLSTSetSmtpSch(mask, kRecipient, ptr(filled<ENTMLSTSMTPSCH>(p))));
        case 2:
            return failed(entMLSTSetMainte(mask, ptr(filled<ENTMLSTMAINTE>(p))));
        case 3:
            return failed(entMLSTSetMailAttach(kJob, ptr(filled<ENTMLSTMAILATTACH>(p))));
        case 4:
            return g.read() + failed(entMLSTGetCurSend(kJob, &cur)) + failed(entMLSTGetPrnJobEnd(kJob, &end));
        case 5:
            return failed(entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_MAIL, 3, entries, &count)) +
                   (count != 3);
        case 6:
            return failed(entMLSTInit(0x40 + static_cast<uint32_t>(t)));
        default:
            return failed(entMLSTSyncMe());
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
    EXPECT_TRUE(simtest::monitor().empty()) << simtest::monitor().front().text;

    Groups g;
    ASSERT_EQ(g.read(), 0);
    const auto &[ev, sch, mainte, subject, job] = g;

    // The shared values read the same through both groups.
    EXPECT_EQ(std::memcmp(ev.address, sch.address, sizeof ev.address), 0);
    EXPECT_EQ(std::memcmp(ev.name, sch.name, sizeof ev.name), 0);
    EXPECT_EQ(std::memcmp(mainte.subject, subject.subject, sizeof mainte.subject), 0);

    for (uint8_t e : ev.event) EXPECT_TRUE(written(e, "event"));
    EXPECT_WRITTEN(ev.address, ev.name, ev.interval, sch.enable, sch.week, sch.period, sch.report,
                   mainte.subject, mainte.address, mainte.period, mainte.enable, job.attach_mode,
                   job.attach_format);
}

} // namespace
} // namespace corvel::test
