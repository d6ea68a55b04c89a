// Cost of every exported function against services that answer at once (the
// stub services), next to a floor: the same service calls written out
// straight, with no library in between. Prints the ratio library/floor per
// function, then heap and stack use per call.
//
// The floors take settings IDs, value IDs and record offsets from a trace of
// the library's own calls (recorded once through the stub), so this file
// repeats none of the library's tables; what it writes by hand is the shape
// of each function: which services, in which order, with which checks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "corvellib.h"
#include "device_services.h"
#include "floors.h"
#include "functions.h"
#include "stub_services.h"

// ---- heap: every malloc of the process is counted while counting is on -------

extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void *__libc_memalign(std::size_t, std::size_t);
extern "C" void __libc_free(void *);

namespace {
bool g_count_heap = false;
std::size_t g_heap_calls = 0;
void countHeap() {
    if (g_count_heap) ++g_heap_calls;
}
} // namespace

extern "C" {
void *malloc(std::size_t n) {
    countHeap();
    return __libc_malloc(n);
}
void *calloc(std::size_t k, std::size_t n) {
    countHeap();
    return __libc_calloc(k, n);
}
void *realloc(void *p, std::size_t n) {
    countHeap();
    return __libc_realloc(p, n);
}
void *memalign(std::size_t a, std::size_t n) {
    countHeap();
    return __libc_memalign(a, n);
}
void *aligned_alloc(std::size_t a, std::size_t n) { return memalign(a, n); }
int posix_memalign(void **out, std::size_t a, std::size_t n) {
    *out = memalign(a, n);
    return *out ? 0 : 12;
}
void free(void *p) { __libc_free(p); }
}

namespace {

using stub::Svc;
using namespace floors;

// ---- traces --------------------------------------------------------------------------

std::vector<stub::Call> trace(const std::function<void()> &f) {
    static stub::Call buf[256];
    stub_stats.log = buf;
    stub_stats.log_cap = std::size(buf);
    stub_stats.log_n = 0;
    f();
    stub_stats.log = nullptr;
    return {buf, buf + stub_stats.log_n};
}

uint32_t offsetIn(const void *p, const void *base) {
    return static_cast<uint32_t>(static_cast<const uint8_t *>(p) - static_cast<const uint8_t *>(base));
}

// Store reads of a Get, as rows of its record.
Steps storeRows(const std::vector<stub::Call> &calls, const void *rec) {
    Steps out;
    for (const auto &c : calls)
        if (c.svc == Svc::meSTCGetStatus) out.add({c.a[1], offsetIn(c.p, rec), stub_setting_size(c.a[1])});
    return out;
}

// Job value reads (or writes) of one job, as rows of the record.
Steps jobRowsOf(const std::vector<stub::Call> &calls, Svc svc, uint32_t job, const void *rec) {
    Steps out;
    for (const auto &c : calls) {
        if (c.svc == Svc::meSVCGetCurrent && svc == Svc::meSVCGetCurrent && c.a[0] == job)
            out.add({c.a[1], offsetIn(c.p, rec), 0});
        if (c.svc == Svc::meSVCSetCurrent && svc == Svc::meSVCSetCurrent && c.a[1] == job)
            out.add({c.a[2], offsetIn(c.p, rec), 0});
    }
    return out;
}

const stub::Call &first(const std::vector<stub::Call> &calls, Svc svc, int nth = 0) {
    for (const auto &c : calls)
        if (c.svc == svc && nth-- == 0) return c;
    std::fprintf(stderr, "bench: the trace has no such call\n");
    std::abort();
}

// ---- records and arguments --------------------------------------------------------------

constexpr uint32_t kRecipient = 2;
constexpr uint32_t kAllRows = 0xffffffffu;
constexpr uint32_t kJob = 0x1000;
constexpr uint32_t kArea = 0x40;
constexpr int32_t kChildren = 3;

struct Records {
#define CORVEL_GROUP_RECORD(Name, tool, summary, Rec, ...) Rec Name;
    ENTMLST_SETTING_GROUPS(CORVEL_GROUP_RECORD)
#undef CORVEL_GROUP_RECORD
    ENTMLSTIPJOB ip;
    uint8_t path[ENTMLST_JOB_PATH_SIZE];
    uint8_t rep[ENTMLST_FAX_REP_ADD_IMG_SIZE];
    uint8_t rst[256];
    ENTMLSTSENDRESULT entries[kChildren];
    int32_t count;
    ENTMLSTPRNJOBEND prn_end;
    ENTMLSTCURSEND cur_send;
    ENTMLSTMAILATTACH attach;
};
Records R;       // what Gets fill
Records same;    // Set input equal to the stored values: rows read and compared only
Records changed; // Set input unlike the stored values: every row written, one notification

void invert(void *p, std::size_t n) {
    auto *b = static_cast<uint8_t *>(p);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(~b[i]);
}

namespace reg = corvel::registry;

// A group's Get and Set as the pairs call them: recipient kRecipient, every
// row selected.
template <auto Get, reg::Instances inst, typename Rec>
__attribute__((always_inline)) inline uint32_t getOf(Rec *rec) {
    if constexpr (inst == reg::Instances::per_recipient)
        return Get(kRecipient, rec);
    else
        return Get(rec);
}
template <auto Set, reg::Instances inst, typename Rec>
__attribute__((always_inline)) inline uint32_t setOf(const Rec *rec) {
    if constexpr (inst == reg::Instances::per_recipient)
        return Set(kAllRows, kRecipient, rec);
    else
        return Set(kAllRows, rec);
}

void record() {
#define CORVEL_TRACE_GROUP(Name, tool, summary, Rec, rows, inst, access, Get, Set)                           \
    T.Name = storeRows(trace([] { getOf<Get, reg::Instances::inst>(&R.Name); }), &R.Name);
    ENTMLST_SETTING_GROUPS(CORVEL_TRACE_GROUP)
#undef CORVEL_TRACE_GROUP

    auto ip = trace([] { entMLSTGetIpJob(kJob, &R.ip); });
    T.ip = jobRowsOf(ip, Svc::meSVCGetCurrent, kJob, &R.ip);
    T.parent = jobRowsOf(ip, Svc::meSVCGetCurrent, R.ip.parent_job_id, &R.ip);
    T.box = jobRowsOf(trace([] { entMLSTGetIpJobBox(kJob, R.path); }), Svc::meSVCGetCurrent, kJob, R.path);
    T.fax_rep =
        jobRowsOf(trace([] { entMLSTGetFaxRepAddImg(kJob, R.rep); }), Svc::meSVCGetCurrent, kJob, R.rep);
    T.prn_end = jobRowsOf(trace([] { entMLSTGetPrnJobEnd(kJob, &R.prn_end); }), Svc::meSVCGetCurrent, kJob,
                          &R.prn_end);
    T.cur_send = jobRowsOf(trace([] { entMLSTGetCurSend(kJob, &R.cur_send); }), Svc::meSVCGetCurrent, kJob,
                           &R.cur_send);
    T.attach = jobRowsOf(trace([] { entMLSTSetMailAttach(kJob, &R.attach); }), Svc::meSVCSetCurrent, kJob,
                         &R.attach);
    T.rst_value = T.box.s[0].id;

    auto init = trace([] { entMLSTInit(kArea); });
    T.id_kind = first(init, Svc::mectInitDefault).a[0];
    T.protocol_id = first(init, Svc::meSTCGetStatus).a[1];
    T.id_sync_kind = first(trace([] { entMLSTSyncMe(); }), Svc::mectIdSync).a[0];

    auto path = trace([] { entMLSTGetFaxImgDataPath(kJob, R.path); });
    T.fax_link_kind = first(path, Svc::mectSVCGetChildLink).a[2];
    T.fax_link_index = first(path, Svc::mectSVCGetChildLink).a[3];
    T.fax_path_value = first(path, Svc::meSVCGetCurrent).a[1];

    auto sent =
        trace([] { entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_MAIL, kChildren, R.entries, &R.count); });
    T.status_value = first(sent, Svc::mectSVCGetCurrent, 0).a[1];
    T.name_value = first(sent, Svc::mectSVCGetCurrent, 1).a[1];

    T.recipient = kRecipient;
    same = R;
    changed = R;
    invert(&changed, sizeof changed);
}

// ---- the pairs -----------------------------------------------------------------------------

// Library and floor timed in alternation: one batch of calls each, many
// rounds, the fastest batch of each side kept. Both sides see the same
// machine at nearly the same moment, so the ratio holds up on a busy host.
using Clock = std::chrono::steady_clock;
struct Batch {
    Clock::duration lib, floor;
};
using PairedRun = Batch (*)(int calls, bool lib_first);

struct Pair {
    std::string name;
    uint32_t (*lib)(); // one call each, for the heap and stack pass
    uint32_t (*floor)();
    PairedRun paired;
    uint32_t stack_goal;
};
std::vector<Pair> pairs;

// Registers the timed loops (the call inlined into each loop) and keeps one
// call of each for the measurements that follow.
#define PAIR(name, goal, lib_call, floor_call)                                                               \
    do {                                                                                                     \
        benchmark::RegisterBenchmark(("lib/" + std::string(name)).c_str(), [](benchmark::State &st) {        \
            for (auto _ : st) benchmark::DoNotOptimize(lib_call);                                            \
        });                                                                                                  \
        benchmark::RegisterBenchmark(("floor/" + std::string(name)).c_str(), [](benchmark::State &st) {      \
            for (auto _ : st) benchmark::DoNotOptimize(floor_call);                                          \
        });                                                                                                  \
        PairedRun run = [](int calls, bool lib_first) {                                                      \
            Batch b{};                                                                                       \
            for (int side = 0; side < 2; ++side) {                                                           \
                bool lib = (side == 0) == lib_first;                                                         \
                auto t0 = Clock::now();                                                                      \
                if (lib)                                                                                     \
                    for (int i = 0; i < calls; ++i) benchmark::DoNotOptimize(lib_call);                      \
                else                                                                                         \
                    for (int i = 0; i < calls; ++i) benchmark::DoNotOptimize(floor_call);                    \
                (lib ? b.lib : b.floor) = Clock::now() - t0;                                                 \
            }                                                                                                \
            return b;                                                                                        \
        };                                                                                                   \
        pairs.push_back(                                                                                     \
            {name, [] { return uint32_t(lib_call); }, [] { return uint32_t(floor_call); }, run, goal});      \
    } while (0)

// Nanoseconds per call of library and floor, fastest of many alternating
// rounds; a batch lasts about 10 us.
std::pair<double, double> pairedTimes(const Pair &p) {
    constexpr int kRounds = 1500;
    Batch probe = p.paired(64, true);
    double per_call = std::chrono::duration<double, std::nano>(probe.floor).count() / 64;
    int calls = std::clamp(static_cast<int>(10000 / std::max(per_call, 1.0)), 16, 8192);
    Clock::duration lib = Clock::duration::max(), floor = Clock::duration::max();
    for (int r = 0; r < kRounds; ++r) {
        Batch b = p.paired(calls, r % 2 == 0);
        lib = std::min(lib, b.lib);
        floor = std::min(floor, b.floor);
    }
    auto ns = [calls](Clock::duration d) {
        return std::chrono::duration<double, std::nano>(d).count() / calls;
    };
    return {ns(lib), ns(floor)};
}

// The start-up and job functions: their goal, and the library's and the
// floor's call. Every one the registry lists needs its entry here.
constexpr uint32_t kGoal = 256, kGoalSendResult = 512;
template <auto F>
struct Calls;
#define CALLS(F, goal, lib_call, floor_call)                                                                 \
    template <>                                                                                              \
    struct Calls<F> {                                                                                        \
        static constexpr uint32_t stack_goal = goal;                                                         \
        __attribute__((always_inline)) static uint32_t lib() { return lib_call; }                            \
        __attribute__((always_inline)) static uint32_t floor() { return floor_call; }                        \
    };
CALLS(entMLSTInit, kGoal, entMLSTInit(kArea), floorInit(kArea))
CALLS(entMLSTSyncMe, kGoal, entMLSTSyncMe(), floorSyncMe())
CALLS(entMLSTGetIpJob, kGoal, entMLSTGetIpJob(kJob, &R.ip), floorGetIpJob(kJob, &R.ip))
CALLS(entMLSTGetIpJobRst, kGoal, entMLSTGetIpJobRst(kJob, T.rst_value, R.rst),
      floorGetJobValue(kJob, T.rst_value, R.rst))
CALLS(entMLSTGetIpJobBox, kGoal, entMLSTGetIpJobBox(kJob, R.path), floorGetJobRows(kJob, T.box, R.path))
CALLS(entMLSTGetFaxRepAddImg, kGoal, entMLSTGetFaxRepAddImg(kJob, R.rep),
      floorGetJobRows(kJob, T.fax_rep, R.rep))
CALLS(entMLSTGetFaxImgDataPath, kGoal, entMLSTGetFaxImgDataPath(kJob, R.path),
      floorGetFaxImgDataPath(kJob, R.path))
CALLS(entMLSTGetSendJobResult, kGoalSendResult,
      entMLSTGetSendJobResult(kJob, ENTMLST_LINK_KIND_MAIL, kChildren, R.entries, &R.count),
      floorGetSendJobResult(kJob, ENTMLST_LINK_KIND_MAIL, kChildren, R.entries, &R.count))
CALLS(entMLSTGetPrnJobEnd, kGoal, entMLSTGetPrnJobEnd(kJob, &R.prn_end),
      floorGetJobRows(kJob, T.prn_end, &R.prn_end))
CALLS(entMLSTGetCurSend, kGoal, entMLSTGetCurSend(kJob, &R.cur_send),
      floorGetJobRows(kJob, T.cur_send, &R.cur_send))
CALLS(entMLSTSetMailAttach, kGoal, entMLSTSetMailAttach(kJob, &R.attach), floorSetMailAttach(kJob, &R.attach))
#undef CALLS

// A function's name as the report shows it: without the entMLST prefix.
std::string shown(const char *function) { return function + std::strlen("entMLST"); }

// One pair per exported function (a Set twice: input equal to the store,
// and changed in every byte), in the registry's order. A group's Set floor
// is floorSet<Name>.
void registerAll() {
#define CORVEL_OTHER_PAIR(F, ...) PAIR(shown(#F), Calls<F>::stack_goal, Calls<F>::lib(), Calls<F>::floor());
#define CORVEL_GROUP_PAIRS(Name, tool, summary, Rec, rows, inst, access, Get, Set)                           \
    PAIR(shown(#Get), kGoal, (getOf<Get, reg::Instances::inst>(&R.Name)), floorGet(T.Name, &R.Name));        \
    CORVEL_SET_PAIRS_##access(Name, Set, inst)
#define CORVEL_SET_PAIRS_read_write(Name, Set, inst)                                                         \
    PAIR(shown(#Set) + "/same", kGoal, (setOf<Set, reg::Instances::inst>(&same.Name)),                       \
         floorSet##Name(&same.Name));                                                                        \
    PAIR(shown(#Set) + "/changed", kGoal, (setOf<Set, reg::Instances::inst>(&changed.Name)),                 \
         floorSet##Name(&changed.Name));
#define CORVEL_SET_PAIRS_read_only(Name, Set, inst)
    ENTMLST_START_FUNCTIONS(CORVEL_OTHER_PAIR)
    ENTMLST_SETTING_GROUPS(CORVEL_GROUP_PAIRS)
    ENTMLST_JOB_FUNCTIONS(CORVEL_OTHER_PAIR)
#undef CORVEL_OTHER_PAIR
#undef CORVEL_GROUP_PAIRS
#undef CORVEL_SET_PAIRS_read_write
#undef CORVEL_SET_PAIRS_read_only
}

// ---- heap and stack of one call ---------------------------------------------------------------

struct Use {
    uint32_t result;
    std::size_t heap_calls, work_allocs, work_frees;
    uintptr_t depth; // bytes between the caller's frame and the deepest service frame
};

__attribute__((noinline)) Use measure(uint32_t (*call)()) {
    const auto top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    stub::Stats before = stub_stats;
    stub_stats.min_sp = UINTPTR_MAX;
    stub_stats.track_sp = true;
    g_heap_calls = 0;
    g_count_heap = true;
    uint32_t result = call();
    g_count_heap = false;
    stub_stats.track_sp = false;
    return {result, g_heap_calls, stub_stats.allocs - before.allocs, stub_stats.frees - before.frees,
            stub_stats.min_sp == UINTPTR_MAX ? 0 : top - stub_stats.min_sp};
}

// Collects each benchmark's CPU time per call, the fastest repetition: on a
// shared machine other processes only ever add time (wall time even more).
class Collect : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const auto &r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            std::string name = r.run_name.str();
            double t = r.GetAdjustedCPUTime();
            if (!ns.count(name) || t < ns[name]) ns[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv) {
    stub_set_children(kChildren);
    record();
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Collect collect;
    benchmark::RunSpecifiedBenchmarks(&collect);

    // The depth of a service called straight from the caller: what every
    // call costs on the stack before any library frame.
    const uintptr_t base = measure([] { return mectIdSync(T.id_sync_kind); }).depth;

    std::printf("\n%-26s %9s %9s %7s | %9s %9s %7s | %6s %5s %5s | %7s %6s\n", "function", "gb lib",
                "gb floor", "ratio", "alt lib", "alt floor", "ratio", "malloc", "alloc", "free", "stack B",
                "goal");
    int over_time = 0, over_stack = 0, heap_bad = 0;
    for (const auto &p : pairs) {
        Use lib = measure(p.lib);
        bool is_set = p.name.rfind("Set", 0) == 0 && p.name != "SetMailAttach";
        auto gb = [&](const std::string &side) {
            auto it = collect.ns.find(side + "/" + p.name);
            return it == collect.ns.end() ? 0.0 : it->second;
        };
        double gl = gb("lib"), gf = gb("floor");
        auto [al, af] = pairedTimes(p);
        double ratio = al / af;
        uintptr_t stack = lib.depth > base ? lib.depth - base : 0;
        bool heap_ok = lib.result == ENTMLST_OK && lib.heap_calls == 0 &&
                       lib.work_allocs == (is_set ? 1u : 0u) && lib.work_frees == lib.work_allocs;
        std::printf("%-26s %9.1f %9.1f %7.3f | %9.1f %9.1f %7.3f | %6zu %5zu %5zu | %7zu %6u%s%s%s\n",
                    p.name.c_str(), gl, gf, gf > 0 ? gl / gf : 0.0, al, af, ratio, lib.heap_calls,
                    lib.work_allocs, lib.work_frees, static_cast<std::size_t>(stack), p.stack_goal,
                    ratio > 1.15 ? "  time>1.15" : "", stack > p.stack_goal ? "  stack>goal" : "",
                    heap_ok ? "" : "  HEAP/RESULT!");
        over_time += ratio > 1.15;
        over_stack += stack > p.stack_goal;
        heap_bad += !heap_ok;
    }
    std::printf("\ngb: Google Benchmark, CPU ns per call, fastest repetition (0: filtered out)\n");
    std::printf("alt: library and floor in alternating batches, fastest batch, ns per call\n");
    std::printf("ratio = library / floor (goal <= 1.15, judged on alt): %d over\n", over_time);
    std::printf("stack = deepest service frame below the caller's, less a direct service call's (%zu B): "
                "%d over goal\n",
                static_cast<std::size_t>(base), over_stack);
    std::printf(
        "heap: malloc calls and work-buffer allocs/frees in one call (goal 0 malloc; 1 alloc per Set, "
        "0 otherwise): %d off\n",
        heap_bad);
    return 0;
}
