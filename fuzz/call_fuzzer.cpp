// call_fuzzer: the input is a program of calls. Each step either changes the
// simulated device (stored values, jobs and links, faults armed on any
// service, scripted ID-service answers) or calls one of the 32 exported
// functions with arguments taken from the input. After every call the
// invariants that hold whatever the device answered are checked:
//   - the result is one the function may return;
//   - at most one monitor line (entMLSTInit: one per step, at most 13;
//     entMLSTGetSendJobResult: none), one exactly when an ordinary function
//     fails, and none after a refused argument but the line itself;
//   - the work buffer is released and the device saw no broken rule.
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

namespace {

using devsim::Service;

constexpr int kMaxSteps = 64;
// entMLSTSyncMe polls as long as the ID service says "not yet"; the input
// may script only a few such answers.
constexpr int kMaxPendingAnswers = 8;
constexpr std::size_t kMaxEntries = 8;
constexpr std::size_t kMaxValueWidth = 256;

[[noreturn]] void fail(const char *fn, const char *what, uint32_t rc) {
    std::fprintf(stderr, "call_fuzzer: %s: %s (result 0x%x)\n", fn, what, rc);
    for (const auto &c : devsim::calls())
        std::fprintf(stderr, "  %s -> 0x%x %s", devsim::serviceName(c.service), c.result,
                     c.text.c_str());
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
    for (const auto &c : devsim::calls()) {
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
        if (rc == ENTMLST_OK && lines != 0 && o.style != Style::Set)
            fail(o.fn, "line sent on success", rc);
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

constexpr std::initializer_list<uint32_t> kGet = {ENTMLST_OK, ENTMLST_ERR_PARAM,
                                                  ENTMLST_ERR_STATUS_GET};
constexpr std::initializer_list<uint32_t> kSet = {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_NOMEM,
                                                  ENTMLST_ERR_STATUS_GET, ENTMLST_ERR_STATUS_SET};
constexpr std::initializer_list<uint32_t> kJobGet = {ENTMLST_OK, ENTMLST_ERR_PARAM,
                                                     ENTMLST_ERR_JOB_GET};

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
                call(op % 32);
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
        case 0: return 0;
        case 1: return 0xffffffffu;
        default: return in_.u32();
        }
    }

    uint32_t jobId() {
        if (!jobs_.empty() && in_.range(0, 3) != 0)
            return jobs_[in_.u8() % (jobs_.size())];
        return in_.u32();
    }

    uint32_t valueId() {
        if (!value_ids_.empty() && in_.flag())
            return value_ids_[in_.u8() % (value_ids_.size())];
        return in_.u32();
    }

    int32_t linkKind() {
        static constexpr int32_t kKinds[] = {ENTMLST_LINK_KIND_FAX, ENTMLST_LINK_KIND_MAIL,
                                             ENTMLST_LINK_KIND_0100, ENTMLST_LINK_KIND_0200,
                                             0x1000, 0x40, 0, -1};
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
            auto s = static_cast<Service>(
                in_.u8() % (devsim::kServiceCount));
            unsigned nth = static_cast<unsigned>(in_.range(1, 6));
            uint32_t code = in_.u32();
            if (code == ENTMLST_ID_SYNC_PENDING || code == 0) {
                // "Not yet" only matters to mectIdSync; 0 would be no fault.
                if (pending_answers_ >= kMaxPendingAnswers || code == 0) code = 1;
                else ++pending_answers_;
            }
            devsim::failCall(s, nth, code, in_.flag());
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
            for (int n = in_.range(0, 5); n > 0; --n)
                devsim::addChildLink(job, linkKind(), in_.u32());
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
        for (const auto &c : devsim::calls()) {
            if ((c.service == Service::meSVCGetCurrent || c.service == Service::mectSVCGetCurrent) &&
                value_ids_.size() < 64 &&
                std::find(value_ids_.begin(), value_ids_.end(), c.args[1]) == value_ids_.end())
                value_ids_.push_back(static_cast<uint32_t>(c.args[1]));
        }
    }

    void call(unsigned fn) {
        devsim::clearCalls();
        g_mem_before = devsim::memStats();
        switch (fn) {
#define GROUP_GET(name, Rec_t)                                                   \
    {                                                                            \
        auto r = rec<Rec_t>();                                                   \
        check({#name, Style::Plain, kGet}, name(r.get()));                       \
        break;                                                                   \
    }
#define GROUP_SET(name, Rec_t)                                                   \
    {                                                                            \
        uint32_t m = mask();                                                     \
        auto r = rec<Rec_t>();                                                   \
        check({#name, Style::Set, kSet}, name(m, r.get()));                      \
        break;                                                                   \
    }
#define RECIP_GET(name, Rec_t)                                                   \
    {                                                                            \
        uint32_t n = recipient();                                                \
        auto r = rec<Rec_t>();                                                   \
        check({#name, Style::Plain, kGet}, name(n, r.get()));                    \
        break;                                                                   \
    }
#define RECIP_SET(name, Rec_t)                                                   \
    {                                                                            \
        uint32_t m = mask();                                                     \
        uint32_t n = recipient();                                                \
        auto r = rec<Rec_t>();                                                   \
        check({#name, Style::Set, kSet}, name(m, n, r.get()));                   \
        break;                                                                   \
    }
        case 0: check({"entMLSTInit", Style::Init,
                       {ENTMLST_OK, ENTMLST_ERR_INIT_DEFAULT, ENTMLST_ERR_DST_PRODUCT,
                        ENTMLST_ERR_DST_AREA, ENTMLST_ERR_NOTIFY, ENTMLST_ERR_SCHEDULE}},
                      entMLSTInit(in_.u32()));
            break;
        case 1: check({"entMLSTSyncMe", Style::Plain, {ENTMLST_OK, ENTMLST_ERR_ID_SYNC}},
                      entMLSTSyncMe());
            break;
        case 2: GROUP_GET(entMLSTGetPop3, ENTMLSTPOP3)
        case 3: GROUP_SET(entMLSTSetPop3, ENTMLSTPOP3)
        case 4: RECIP_GET(entMLSTGetPop3User, ENTMLSTPOP3USER)
        case 5: RECIP_SET(entMLSTSetPop3User, ENTMLSTPOP3USER)
        case 6: GROUP_GET(entMLSTGetSmtp, ENTMLSTSMTP)
        case 7: GROUP_SET(entMLSTSetSmtp, ENTMLSTSMTP)
        case 8: RECIP_GET(entMLSTGetSmtpEvent, ENTMLSTSMTPEVENT)
        case 9: RECIP_SET(entMLSTSetSmtpEvent, ENTMLSTSMTPEVENT)
        case 10: RECIP_GET(entMLSTGetSmtpSch, ENTMLSTSMTPSCH)
        case 11: RECIP_SET(entMLSTSetSmtpSch, ENTMLSTSMTPSCH)
        case 12: RECIP_GET(entMLSTGetEvrLastSend, ENTMLSTLASTSEND)
        case 13: RECIP_SET(entMLSTSetEvrLastSend, ENTMLSTLASTSEND)
        case 14: RECIP_GET(entMLSTGetScrLastSend, ENTMLSTLASTSEND)
        case 15: RECIP_SET(entMLSTSetScrLastSend, ENTMLSTLASTSEND)
        case 16: GROUP_GET(entMLSTGetMainteLastSend, ENTMLSTLASTSEND)
        case 17: GROUP_SET(entMLSTSetMainteLastSend, ENTMLSTLASTSEND)
        case 18: GROUP_GET(entMLSTGetMainte, ENTMLSTMAINTE)
        case 19: GROUP_SET(entMLSTSetMainte, ENTMLSTMAINTE)
        case 20: GROUP_GET(entMLSTCounter, ENTMLSTCOUNTER)
        case 21: GROUP_GET(entMLSTGetSubject, ENTMLSTSUBJECT)
        case 22: {
            auto r = rec<ENTMLSTHOSTBUFFER>();
            check({"entMLSTGetHostBuffer", Style::Plain, kGet, true}, entMLSTGetHostBuffer(r.get()));
            break;
        }
        case 23: {
            uint32_t job = jobId();
            auto r = rec<ENTMLSTIPJOB>();
            check({"entMLSTGetIpJob", Style::Plain,
                   {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_JOB_GET, ENTMLST_ERR_PARENT_LINK}},
                  entMLSTGetIpJob(job, r.get()));
            break;
        }
        case 24: {
            uint32_t job = jobId();
            uint32_t vid = valueId();
            auto d = dst(kMaxValueWidth);
            check({"entMLSTGetIpJobRst", Style::Plain, kJobGet}, entMLSTGetIpJobRst(job, vid, d.get()));
            break;
        }
        case 25: {
            uint32_t job = jobId();
            auto d = dst(ENTMLST_JOB_PATH_SIZE);
            check({"entMLSTGetIpJobBox", Style::Plain, kJobGet}, entMLSTGetIpJobBox(job, d.get()));
            break;
        }
        case 26: {
            uint32_t job = jobId();
            auto d = dst(ENTMLST_FAX_REP_ADD_IMG_SIZE);
            check({"entMLSTGetFaxRepAddImg", Style::Plain, kJobGet},
                  entMLSTGetFaxRepAddImg(job, d.get()));
            break;
        }
        case 27: {
            uint32_t job = jobId();
            auto d = dst(ENTMLST_JOB_PATH_SIZE);
            check({"entMLSTGetFaxImgDataPath", Style::Plain,
                   {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_CHILD_LINK, ENTMLST_ERR_JOB_GET}},
                  entMLSTGetFaxImgDataPath(job, d.get()));
            break;
        }
        case 28: sendJobResult(); break;
        case 29: {
            uint32_t job = jobId();
            auto r = rec<ENTMLSTPRNJOBEND>();
            check({"entMLSTGetPrnJobEnd", Style::Plain, kJobGet}, entMLSTGetPrnJobEnd(job, r.get()));
            break;
        }
        case 30: {
            uint32_t job = jobId();
            auto r = rec<ENTMLSTCURSEND>();
            check({"entMLSTGetCurSend", Style::Plain, kJobGet}, entMLSTGetCurSend(job, r.get()));
            break;
        }
        default: {
            uint32_t job = jobId();
            auto r = rec<ENTMLSTMAILATTACH>();
            check({"entMLSTSetMailAttach", Style::Plain,
                   {ENTMLST_OK, ENTMLST_ERR_PARAM, ENTMLST_ERR_JOB_SET}},
                  entMLSTSetMailAttach(job, r.get()));
            break;
        }
#undef GROUP_GET
#undef GROUP_SET
#undef RECIP_GET
#undef RECIP_SET
        }
        learnValueIds();
    }

    void sendJobResult() {
        const char *fn = "entMLSTGetSendJobResult";
        uint32_t job = jobId();
        int32_t kind = linkKind();
        std::size_t room = static_cast<std::size_t>(in_.range(0, kMaxEntries));
        // Capacity: the array's room, less, or negative; never more than the room.
        int32_t capacity = static_cast<int32_t>(room);
        switch (in_.range(0, 3)) {
        case 0: capacity = in_.range(-2, capacity); break;
        case 1: capacity = static_cast<int32_t>(in_.u32()) | INT32_MIN; break;
        default: break;
        }
        // One spare entry whose bytes must survive: nothing is written past
        // the number of children that fit.
        auto entries = bytes((room + 1) * sizeof(ENTMLSTSENDRESULT));
        std::vector<uint8_t> before(entries.get(), entries.get() + (room + 1) * sizeof(ENTMLSTSENDRESULT));
        bool null_entries = null(), null_count = null();
        devsim::clearCalls();
        g_mem_before = devsim::memStats();
        int32_t count = static_cast<int32_t>(in_.u32());
        uint32_t rc = entMLSTGetSendJobResult(
            job, kind, capacity, null_entries ? nullptr : reinterpret_cast<ENTMLSTSENDRESULT *>(entries.get()),
            null_count ? nullptr : &count);
        check({fn, Style::Silent, {}}, rc);
        if (null_entries || null_count) {
            if (rc != ENTMLST_ERR_PARAM) fail(fn, "missing pointer not refused", rc);
        }
        if (!null_count && rc != ENTMLST_OK && count != 0 && rc != ENTMLST_SENDRESULT_BAD_KIND) {
            // A failure while listing leaves the number of children.
            if (count < 0 || count > capacity) fail(fn, "count out of range after a failure", rc);
        }
        if (rc == ENTMLST_SENDRESULT_BAD_KIND && count != 0) fail(fn, "count set for an unknown kind", rc);
        if (rc == ENTMLST_OK && !null_count && count != 0 && (count < 0 || count > capacity))
            fail(fn, "count beyond the capacity", rc);
        std::size_t written = null_count || count < 0 ? 0 : static_cast<std::size_t>(count);
        if (std::memcmp(entries.get() + written * sizeof(ENTMLSTSENDRESULT),
                        before.data() + written * sizeof(ENTMLSTSENDRESULT),
                        (room + 1 - std::min(written, room + 1)) * sizeof(ENTMLSTSENDRESULT)) != 0)
            fail(fn, "entry written past the count", rc);
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
