// call_fuzzer: the input is a program of calls. Each step either changes the
// simulated device (stored values, jobs and links, faults armed on any
// service, scripted ID-service answers) or calls one of the 32 exported
// functions with arguments taken from the input. After every call the
// invariants that hold whatever the device answered are checked:
//   - the result is one the function may return;
//   - at most one monitor line (entMLSTInit: one per step, at most 13;
//     entMLSTGetSendJobResult: none), one exactly when an ordinary function
//     fails, and none after a refused argument but the line itself;
//   - the work buffer is released and the device saw no broken rule;
//   - entMLSTGetSendJobResult answers 1 for an unknown kind without calling
//     a service, and otherwise returns the answer of the last service it
//     called, every earlier one having answered 0.
// Any breach aborts, so libFuzzer keeps the input.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "corvellib.h"
#include "devsim.h"
#include "functions.h"
#include "support/calls.h"

namespace {

using devsim::Service;
namespace reg = corvel::registry;

constexpr int kMaxSteps = 64;
// entMLSTSyncMe polls as long as the ID service says "not yet"; the input
// may script only a few such answers.
constexpr int kMaxPendingAnswers = 8;
constexpr std::size_t kMaxEntries = 8;
constexpr std::size_t kMaxValueWidth = 256;

[[noreturn]] void fail(const char *fn, const char *what, uint32_t rc) {
    std::fprintf(stderr, "call_fuzzer: %s: %s (result 0x%x)\n", fn, what, rc);
    for (const auto &c : simtest::calls())
        std::fprintf(stderr, "  %s -> 0x%x %s", devsim::serviceName(c.service), c.result, c.text.c_str());
    for (const auto &v : devsim::violations()) std::fprintf(stderr, "  violation: %s\n", v.c_str());
    std::abort();
}

// How a function reports: its codes and how many lines one call may send.
enum class Style { Plain, Set, Init, Silent };

struct Outcome {
    const char *fn;
    Style style;
    std::initializer_list<uint32_t> codes; // empty: any code (service codes pass through)
    bool refused_silently = false;         // a refused argument sends no line
};

// Partition book-keeping when the current call started.
devsim::MemStats g_mem_before;

void check(const Outcome &o, uint32_t rc) {
    if (o.codes.size() != 0 && std::find(o.codes.begin(), o.codes.end(), rc) == o.codes.end())
        fail(o.fn, "result not one the function returns", rc);

    std::size_t lines = 0, others = 0, allocs = 0, frees = 0;
    for (const auto &c : simtest::calls()) {
        lines += c.service == Service::emwGENMonSendMessage;
        others += c.service != Service::emwGENMonSendMessage;
        allocs += c.service == Service::emwOSWOrgAllocMemPart;
        frees += c.service == Service::emwOSWOrgFreeMemPart;
    }
    switch (o.style) {
    case Style::Silent:
        if (lines != 0) fail(o.fn, "sent a monitor line", rc);
        break;
    case Style::Init:
        if (lines > 13) fail(o.fn, "more than one line per step", rc);
        if ((rc == ENTMLST_OK) != (lines == 0)) fail(o.fn, "lines do not match the result", rc);
        break;
    case Style::Plain:
    case Style::Set:
        if (lines > 1) fail(o.fn, "more than one monitor line", rc);
        // A Set whose notification failed succeeds after one line; any
        // other success is silent, and every failure sends one line.
        if (rc != ENTMLST_OK && lines != 1 && !(o.refused_silently && rc == ENTMLST_ERR_PARAM))
            fail(o.fn, "failure without its line", rc);
        if (rc == ENTMLST_OK && lines != 0 && o.style != Style::Set) fail(o.fn, "line sent on success", rc);
        break;
    }
    if (rc == ENTMLST_ERR_PARAM && o.style != Style::Silent && others != 0)
        fail(o.fn, "a service was called after a refused argument", rc);
    if (allocs > (o.style == Style::Set ? 1u : 0u)) fail(o.fn, "too many work buffers", rc);
    // Every block handed out is given back once, even when the partition
    // answered the allocation with a failure.
    if (frees != devsim::memStats().allocs - g_mem_before.allocs) fail(o.fn, "work buffer not released", rc);
    if (devsim::memStats().live != 0) fail(o.fn, "work buffer still live", rc);
    if (!devsim::violations().empty()) fail(o.fn, "broke a device rule", rc);
}

constexpr std::initializer_list<uint32_t> kGet = {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_STATUS_GET};
constexpr std::initializer_list<uint32_t> kSet = {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_NOMEM,
                                                  ENTMLST_ERR_STATUS_GET, ENTMLST_ERR_STATUS_SET};
constexpr std::initializer_list<uint32_t> kJobGet = {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_JOB_GET};

// How each start-up and job function reports. The functions come from the
// registry; one missing here does not compile.
template <auto F>
struct Expect;
#define EXPECT(F, how, ...)                                                                                  \
    template <>                                                                                              \
    struct Expect<F> {                                                                                       \
        static constexpr Style style = Style::how;                                                           \
        static constexpr std::initializer_list<uint32_t> codes = __VA_ARGS__;                                \
    };
EXPECT(entMLSTInit, Init,
       {ENTMLST_OK, ENTMLST_ERR_INIT_DEFAULT, ENTMLST_ERR_DST_PRODUCT, ENTMLST_ERR_DST_AREA,
        ENTMLST_ERR_NOTIFY, ENTMLST_ERR_SCHEDULE})
EXPECT(entMLSTSyncMe, Plain, {ENTMLST_OK, ENTMLST_ERR_ID_SYNC})
EXPECT(entMLSTGetIpJob, Plain, {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_JOB_GET, ENTMLST_ERR_PARENT_LINK})
EXPECT(entMLSTGetIpJobRst, Plain, kJobGet)
EXPECT(entMLSTGetIpJobBox, Plain, kJobGet)
EXPECT(entMLSTGetFaxRepAddImg, Plain, kJobGet)
EXPECT(entMLSTGetFaxImgDataPath, Plain,
       {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_CHILD_LINK, ENTMLST_ERR_JOB_GET})
EXPECT(entMLSTGetSendJobResult, Silent, {}) // service codes pass through: checked on their own
EXPECT(entMLSTGetPrnJobEnd, Plain, kJobGet)
EXPECT(entMLSTGetCurSend, Plain, kJobGet)
EXPECT(entMLSTSetMailAttach, Plain, {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_JOB_SET})
#undef EXPECT

// The one setting group that refuses a null record without a line.
template <auto Get>
constexpr bool kRefusedSilently = false;
template <>
constexpr bool kRefusedSilently<entMLSTGetHostBuffer> = true;

// The input read front to back; once it runs out every read gives zeros.
// Numbers are big-endian, so a seed can be written down by hand.
class Input {
public:
    Input(const uint8_t *data, std::size_t size) : p_(data), n_(size) {}
    std::size_t remaining() const { return n_; }
    uint8_t u8() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | u8();
        return v;
    }
    // One byte picks a number in [lo, hi] (hi - lo below 256).
    int range(int lo, int hi) { return lo + u8() % (hi - lo + 1); }
    bool flag() { return u8() & 1; }
    std::vector<uint8_t> bytes(std::size_t size) {
        std::size_t k = size < n_ ? size : n_;
        std::vector<uint8_t> out(p_, p_ + k);
        p_ += k;
        n_ -= k;
        return out;
    }

private:
    const uint8_t *p_;
    std::size_t n_;
};

class Program {
public:
    explicit Program(Input &in) : in_(in) {}

    void run() {
        for (int step = 0; step < kMaxSteps && in_.remaining() > 0; ++step) {
            uint8_t op = in_.u8();
            if (op < 160)
                call(op);
            else
                changeDevice(op - 160);
        }
    }

private:
    Input &in_;
    std::vector<uint32_t> jobs_;      // jobs created by the input
    std::vector<uint32_t> value_ids_; // value IDs the library asked for so far
    int pending_answers_ = 0;

    // ---- arguments ---------------------------------------------------------------

    uint32_t recipient() {
        static constexpr uint32_t kChoices[] = {1, 2, 3, 0, 4, 0xffffffffu};
        uint8_t k = in_.range(0, 7);
        return k < 6 ? kChoices[k] : in_.u32();
    }

    uint32_t mask() {
        switch (in_.range(0, 3)) {
        case 0:
            return 0;
        case 1:
            return 0xffffffffu;
        default:
            return in_.u32();
        }
    }

    uint32_t jobId() {
        if (!jobs_.empty() && in_.range(0, 3) != 0) return jobs_[in_.u8() % (jobs_.size())];
        return in_.u32();
    }

    uint32_t valueId() {
        if (!value_ids_.empty() && in_.flag()) return value_ids_[in_.u8() % (value_ids_.size())];
        return in_.u32();
    }

    int32_t linkKind() {
        static constexpr int32_t kKinds[] = {ENTMLST_LINK_KIND_FAX,
                                             ENTMLST_LINK_KIND_MAIL,
                                             ENTMLST_LINK_KIND_0100,
                                             ENTMLST_LINK_KIND_0200,
                                             0x1000,
                                             0x40,
                                             0,
                                             -1};
        uint8_t k = in_.range(0, 8);
        return k < 8 ? kKinds[k] : static_cast<int32_t>(in_.u32());
    }

    bool null() { return in_.range(0, 15) == 15; }

    // Up to max bytes of the input, their number given by one byte.
    std::vector<uint8_t> chunk(std::size_t max) {
        std::size_t n = in_.u8();
        return in_.bytes(n < max ? n : max);
    }

    // A heap block of exactly size bytes, the input's chunk repeated over it,
    // so that AddressSanitizer sees any access past the caller's record.
    std::unique_ptr<uint8_t[]> bytes(std::size_t size) {
        std::unique_ptr<uint8_t[]> p(new uint8_t[size]);
        std::vector<uint8_t> fill = chunk(size);
        for (std::size_t i = 0; i < size; ++i) p[i] = fill.empty() ? 0x5a : fill[i % fill.size()];
        return p;
    }

    template <typename T>
    struct Rec {
        std::unique_ptr<uint8_t[]> mem;
        bool is_null;
        T *get() const { return is_null ? nullptr : reinterpret_cast<T *>(mem.get()); }
    };
    template <typename T>
    Rec<T> rec() {
        bool n = null();
        return {bytes(sizeof(T)), n};
    }
    Rec<uint8_t> dst(std::size_t size) {
        bool n = null();
        return {bytes(size), n};
    }

    // ---- device changes ----------------------------------------------------------

    void changeDevice(uint8_t what) {
        switch (what % 8) {
        case 0: { // a fault on the nth next call of any service
            auto s = static_cast<Service>(in_.u8() % (devsim::kServiceCount));
            unsigned nth = static_cast<unsigned>(in_.range(1, 6));
            uint32_t code = in_.u32();
            if (code == ENTMLST_ID_SYNC_PENDING || code == 0) {
                // "Not yet" only matters to mectIdSync; 0 would be no fault.
                if (pending_answers_ >= kMaxPendingAnswers || code == 0)
                    code = 1;
                else
                    ++pending_answers_;
            }
            simtest::failCall(s, nth, code, in_.flag());
            break;
        }
        case 1: { // scripted ID-service answers
            std::vector<uint32_t> answers;
            for (int n = in_.range(0, 4); n > 0; --n) {
                uint8_t k = in_.range(0, 2);
                if (k == 0 && pending_answers_ < kMaxPendingAnswers) {
                    answers.push_back(ENTMLST_ID_SYNC_PENDING);
                    ++pending_answers_;
                } else {
                    answers.push_back(k == 1 ? 0 : in_.u32() | 1u);
                }
            }
            devsim::scriptIdSync(answers);
            break;
        }
        case 2: { // a job, with a parent and children of any kind
            uint32_t job = in_.u32();
            devsim::createJob(job);
            jobs_.push_back(job);
            if (in_.flag()) devsim::setParentLink(job, in_.u32());
            for (int n = in_.range(0, 5); n > 0; --n) devsim::addChildLink(job, linkKind(), in_.u32());
            break;
        }
        case 3: // a child link between known jobs
            if (!jobs_.empty()) devsim::addChildLink(jobId(), linkKind(), jobId());
            break;
        case 4: { // a job value the library has asked for; names get short, empty and full-width values
            // and reach the library at their own width
            if (value_ids_.empty()) break;
            uint32_t vid = valueId();
            auto width = devsim::valueWidth(vid);
            if (width) devsim::putJobValue(jobId(), vid, chunk(*width));
            break;
        }
        case 5: { // a stored setting
            const auto &cat = devsim::catalogue();
            const auto &info = cat[in_.u8() % (cat.size())];
            devsim::putSetting(info.id, chunk(info.size));
            break;
        }
        case 6:
            if (!jobs_.empty()) devsim::removeJob(jobId());
            break;
        default:
            devsim::clearFaults();
            break;
        }
    }

    // ---- calls -----------------------------------------------------------------------

    void learnValueIds() {
        for (const auto &c : simtest::calls()) {
            if ((c.service == Service::meSVCGetCurrent || c.service == Service::mectSVCGetCurrent) &&
                value_ids_.size() < 64 &&
                std::find(value_ids_.begin(), value_ids_.end(), c.args[1]) == value_ids_.end())
                value_ids_.push_back(static_cast<uint32_t>(c.args[1]));
        }
    }

    template <auto Get, typename Rec, reg::Instances inst>
    void groupGet(const char *name) {
        uint32_t n = inst == reg::Instances::per_recipient ? recipient() : 0;
        auto r = rec<Rec>();
        uint32_t rc;
        if constexpr (inst == reg::Instances::per_recipient)
            rc = Get(n, r.get());
        else
            rc = Get(r.get());
        check({name, Style::Plain, kGet, kRefusedSilently<Get>}, rc);
    }

    template <auto Set, typename Rec, reg::Instances inst>
    void groupSet(const char *name) {
        uint32_t m = mask();
        uint32_t n = inst == reg::Instances::per_recipient ? recipient() : 0;
        auto r = rec<Rec>();
        uint32_t rc;
        if constexpr (inst == reg::Instances::per_recipient)
            rc = Set(m, n, r.get());
        else
            rc = Set(m, r.get());
        check({name, Style::Set, kSet}, rc);
    }

    template <auto F, reg::Shape shape, reg::Access access, typename Rec>
    void other(const char *name) {
        using E = Expect<F>;
        if constexpr (shape == reg::Shape::start) {
            check({name, E::style, E::codes}, F(in_.u32()));
        } else if constexpr (shape == reg::Shape::sync) {
            check({name, E::style, E::codes}, F());
        } else if constexpr (shape == reg::Shape::record) {
            uint32_t job = jobId();
            auto r = rec<Rec>();
            check({name, E::style, E::codes}, F(job, r.get()));
        } else if constexpr (shape == reg::Shape::value) {
            uint32_t job = jobId();
            auto d = dst(sizeof(Rec));
            check({name, E::style, E::codes}, F(job, d.get()));
        } else if constexpr (shape == reg::Shape::any_value) {
            uint32_t job = jobId();
            uint32_t vid = valueId();
            auto d = dst(kMaxValueWidth);
            check({name, E::style, E::codes}, F(job, vid, d.get()));
        } else {
            static_assert(shape == reg::Shape::children);
            sendJobResult<F>(name);
        }
    }

    // One entry per exported function, expanded from the registry: its name
    // and the step that makes up its arguments, calls it and checks it.
    struct Entry {
        const char *name;
        void (Program::*run)(const char *name);
    };
#define START(F, shape, access, Rec)                                                                         \
    Entry{#F, &Program::other<F, reg::Shape::shape, reg::Access::access, Rec>},
#define JOB(F, tool, shape, access, Rec) START(F, shape, access, Rec)
#define GROUP(Name, tool, summary, Rec, rows, inst, access, Get, Set)                                        \
    Entry{#Get, &Program::groupGet<Get, Rec, reg::Instances::inst>}, GROUP_SET_##access(Set, Rec, inst)
#define GROUP_SET_read_write(Set, Rec, inst) Entry{#Set, &Program::groupSet<Set, Rec, reg::Instances::inst>},
#define GROUP_SET_read_only(Set, Rec, inst)
    static constexpr Entry kCalls[] = {ENTMLST_START_FUNCTIONS(START) ENTMLST_SETTING_GROUPS(GROUP)
                                           ENTMLST_JOB_FUNCTIONS(JOB)};
#undef START
#undef JOB
#undef GROUP
#undef GROUP_SET_read_write
#undef GROUP_SET_read_only
    static_assert(std::size(kCalls) == reg::kFunctionCount);

    void call(unsigned fn) {
        simtest::clearCalls();
        g_mem_before = devsim::memStats();
        const Entry &e = kCalls[fn % std::size(kCalls)];
        (this->*e.run)(e.name);
        learnValueIds();
    }

    template <auto F>
    void sendJobResult(const char *fn) {
        uint32_t job = jobId();
        int32_t kind = linkKind();
        std::size_t room = static_cast<std::size_t>(in_.range(0, kMaxEntries));
        // Capacity: the array's room, less, or negative; never more than the room.
        int32_t capacity = static_cast<int32_t>(room);
        switch (in_.range(0, 3)) {
        case 0:
            capacity = in_.range(-2, capacity);
            break;
        case 1:
            capacity = static_cast<int32_t>(in_.u32()) | INT32_MIN;
            break;
        default:
            break;
        }
        // One spare entry whose bytes must survive: nothing is written past
        // the number of children that fit.
        auto entries = bytes((room + 1) * sizeof(ENTMLSTSENDRESULT));
        std::vector<uint8_t> before(entries.get(), entries.get() + (room + 1) * sizeof(ENTMLSTSENDRESULT));
        bool null_entries = null(), null_count = null();
        simtest::clearCalls();
        g_mem_before = devsim::memStats();
        int32_t count = static_cast<int32_t>(in_.u32());
        uint32_t rc = F(job, kind, capacity,
                        null_entries ? nullptr : reinterpret_cast<ENTMLSTSENDRESULT *>(entries.get()),
                        null_count ? nullptr : &count);
        check({fn, Expect<F>::style, Expect<F>::codes}, rc);
        std::size_t kept =
            keptFrom(fn, job, kind, capacity, null_entries || null_count, null_count ? 0 : count, rc);
        // Entries from the first one not read in full onwards, and the spare
        // entry, keep their bytes.
        kept = std::min(kept, room + 1);
        if (std::memcmp(entries.get() + kept * sizeof(ENTMLSTSENDRESULT),
                        before.data() + kept * sizeof(ENTMLSTSENDRESULT),
                        (room + 1 - kept) * sizeof(ENTMLSTSENDRESULT)) != 0)
            fail(fn, "entry written past the children read", rc);
    }

    // Checks result and count of one entMLSTGetSendJobResult call against
    // the services it called, and returns how many entries it may have
    // written. Its answer 1 means two things: an unknown kind (no service
    // called), or a service that answered 1 (returned unchanged, with the
    // count possibly already stored); the call log tells them apart.
    static std::size_t keptFrom(const char *fn, uint32_t job, int32_t kind, int32_t capacity, bool refused,
                                int32_t count, uint32_t rc) {
        const std::vector<simtest::Call> asked = simtest::calls();
        if (refused) {
            if (rc != ENTMLST_ERR_PARAM) fail(fn, "missing pointer not refused", rc);
            if (!asked.empty()) fail(fn, "a service was called after a refused argument", rc);
            if (count != 0) fail(fn, "count set for a refused argument", rc);
            return 0;
        }
        if (!knownKind(kind)) {
            if (rc != ENTMLST_SENDRESULT_BAD_KIND) fail(fn, "unknown kind not answered with 1", rc);
            if (!asked.empty()) fail(fn, "a service was called for an unknown kind", rc);
            if (count != 0) fail(fn, "count set for an unknown kind", rc);
            return 0;
        }
        if (asked.empty() || asked.front().service != Service::mectGetChildLinkNum)
            fail(fn, "children not counted first", rc);
        // Every service answer but the last was 0; the last one is the result.
        for (std::size_t i = 0; i + 1 < asked.size(); ++i)
            if (asked[i].result != 0) fail(fn, "went on after a service failed", rc);
        if (rc != asked.back().result) fail(fn, "result is not the last service's answer", rc);

        std::size_t links = 0; // children whose link was asked for
        for (const auto &c : asked) links += c.service == Service::mectGetChildLink;
        if (asked.size() == 1) {
            // Counting failed, there are too many children, or there are none.
            if (count != 0) fail(fn, "count set without listing", rc);
            if (rc == ENTMLST_OK) {
                int32_t children = childrenOf(job, kind);
                if (children != 0 && children <= capacity) fail(fn, "children fit but were not listed", rc);
            }
            return 0;
        }
        if (count < 0 || count > capacity) fail(fn, "count beyond the capacity", rc);
        if (links > static_cast<std::size_t>(count)) fail(fn, "more children listed than counted", rc);
        if (rc == ENTMLST_OK) {
            if (links != static_cast<std::size_t>(count)) fail(fn, "not every child listed", rc);
            return links;
        }
        // The child being read when a service failed is not written.
        return links == 0 ? 0 : links - 1;
    }

    static bool knownKind(int32_t kind) {
        for (int32_t k :
             {ENTMLST_LINK_KIND_FAX, ENTMLST_LINK_KIND_MAIL, ENTMLST_LINK_KIND_0100, ENTMLST_LINK_KIND_0200})
            if (k == kind) return true;
        return false;
    }

    // Children of one kind under a job, as the device holds them now.
    static int32_t childrenOf(uint32_t job, int32_t kind) {
        int32_t n = 0;
        for (const auto &[parent, k, link] : devsim::exportState().children) n += parent == job && k == kind;
        return n;
    }
};

} // namespace

// A private device in memory, never the user's device file.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    devsim::openDevice(devsim::kMemoryDevice);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    devsim::reset();
    devsim::fakeSleep(true);
    Input in(data, size);
    Program(in).run();
    devsim::reset();
    return 0;
}
