// stub_services.cpp - the device services at their cheapest: no lock, no log,
// no checks beyond finding a value's size. Sizes and stored values come from
// the simulator's catalogue (compiled in, not the simulator itself), so the
// library's reads get exactly the bytes the device would write.
#include "stub_services.h"

#include <cstring>

#include "device_services.h"
#include "devsim_device.h"

stub::Stats stub_stats;

namespace {

using stub::Svc;

constexpr uint32_t kUnknown = 1;

// Open-addressing map from a 32-bit ID to a small payload.
template <std::size_t N>
struct Map {
    struct Slot {
        uint32_t id;
        uint32_t size; // 0: free slot
        uint32_t off;
    } slots[N] = {};

    static std::size_t hash(uint32_t id) { return (id * 0x9e3779b1u) >> 7; }
    const Slot *find(uint32_t id) const {
        for (std::size_t i = hash(id);; ++i) {
            const Slot &s = slots[i % N];
            if (s.size == 0 || s.id == id) return s.size == 0 ? nullptr : &s;
        }
    }
    void put(uint32_t id, uint32_t size, uint32_t off) {
        std::size_t i = hash(id);
        while (slots[i % N].size != 0 && slots[i % N].id != id) ++i;
        slots[i % N] = {id, size, off};
    }
};

Map<1024> settings;
uint8_t store[16384];
Map<256> values;                    // job value ID -> width (value IDs learnt on first use)
alignas(16) uint8_t job_value[256]; // every job value reads as these bytes
alignas(16) uint8_t work_block[2048];
int32_t children = 3;

__attribute__((constructor)) void load() {
    uint32_t off = 0;
    for (const auto &info : devsim::catalogue()) {
        std::memcpy(store + off, info.default_value.data(), info.size);
        settings.put(info.id, info.size, off);
        off += info.size;
    }
    // A non-empty name, so that no fallback read is made.
    std::memset(job_value, 'v', sizeof job_value);
}

uint32_t width(uint32_t value_id) {
    if (const auto *s = values.find(value_id)) return s->size;
    auto w = devsim::valueWidth(value_id);
    if (!w) return 0;
    values.put(value_id, *w, 0);
    return *w;
}

__attribute__((noinline)) void note(uintptr_t sp, Svc svc, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                                    const void *p) {
    if (stub_stats.track_sp && sp < stub_stats.min_sp) stub_stats.min_sp = sp;
    if (stub_stats.log != nullptr && stub_stats.log_n < stub_stats.log_cap)
        stub_stats.log[stub_stats.log_n++] = {svc, {a, b, c, d}, p};
}

} // namespace

// Every service starts here: one test of a flag when nobody watches.
#define NOTE(svc, a, b, c, d, p)                                                                             \
    do {                                                                                                     \
        if (__builtin_expect(stub_stats.track_sp || stub_stats.log != nullptr, 0))                           \
            note(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), Svc::svc, (a), (b), (c), (d),      \
                 (p));                                                                                       \
    } while (0)

extern "C" {

uint32_t stub_setting_size(uint32_t id) {
    const auto *s = settings.find(id);
    return s ? s->size : 0;
}

void stub_set_children(int32_t n) { children = n; }

uint32_t meSTCGetStatus(uint32_t area, uint32_t id, void *dst) {
    NOTE(meSTCGetStatus, area, id, 0, 0, dst);
    const auto *s = settings.find(id);
    if (s == nullptr) return kUnknown;
    std::memcpy(dst, store + s->off, s->size);
    return 0;
}

uint32_t meSTCSetStatus(uint32_t writer, uint32_t area, uint32_t id, const void *src) {
    NOTE(meSTCSetStatus, writer, area, id, 0, src);
    return settings.find(id) ? 0 : kUnknown;
}

uint32_t meSVCGetCurrent(uint32_t job, uint32_t value_id, void *dst) {
    NOTE(meSVCGetCurrent, job, value_id, 0, 0, dst);
    uint32_t w = width(value_id);
    if (w == 0) return kUnknown;
    std::memcpy(dst, job_value, w);
    return 0;
}

uint32_t meSVCSetCurrent(uint32_t writer, uint32_t job, uint32_t value_id, const void *src) {
    NOTE(meSVCSetCurrent, writer, job, value_id, 0, src);
    return width(value_id) ? 0 : kUnknown;
}

uint32_t mectInitDefault(uint32_t kind, uint32_t arg) {
    NOTE(mectInitDefault, kind, arg, 0, 0, nullptr);
    return 0;
}
uint32_t mectSetDstProduct(uint32_t kind, uint32_t product) {
    NOTE(mectSetDstProduct, kind, product, 0, 0, nullptr);
    return 0;
}
uint32_t mectSetDstArea(uint32_t kind, uint32_t area) {
    NOTE(mectSetDstArea, kind, area, 0, 0, nullptr);
    return 0;
}
uint32_t mectIdSync(uint32_t kind) {
    NOTE(mectIdSync, kind, 0, 0, 0, nullptr);
    return 0;
}

uint32_t mectSVCGetParentLink(uint32_t selector, uint32_t job, uint32_t *parent) {
    NOTE(mectSVCGetParentLink, selector, job, 0, 0, parent);
    *parent = job + 1;
    return 0;
}
uint32_t mectSVCGetChildLink(uint32_t selector, uint32_t job, uint32_t kind, uint32_t index, uint32_t *link) {
    NOTE(mectSVCGetChildLink, selector, job, kind, index, link);
    *link = job + 0x100 + index;
    return 0;
}
uint32_t mectGetChildLinkNum(uint32_t selector, uint32_t job, int32_t kind, int32_t *number) {
    NOTE(mectGetChildLinkNum, selector, job, static_cast<uint32_t>(kind), 0, number);
    *number = children;
    return 0;
}
uint32_t mectGetChildLink(uint32_t selector, uint32_t job, int32_t kind, int32_t index, uint32_t *link) {
    NOTE(mectGetChildLink, selector, job, static_cast<uint32_t>(kind), static_cast<uint32_t>(index), link);
    *link = job + 0x100 + static_cast<uint32_t>(index);
    return 0;
}
uint32_t mectSVCGetCurrent(uint32_t link, uint32_t value_id, void *dst) {
    NOTE(mectSVCGetCurrent, link, value_id, 0, 0, dst);
    uint32_t w = width(value_id);
    if (w == 0) return kUnknown;
    std::memcpy(dst, job_value, w);
    return 0;
}

uint32_t mscMLPRNChgSchedule(uint32_t a, uint32_t b) {
    NOTE(mscMLPRNChgSchedule, a, b, 0, 0, nullptr);
    return 0;
}
uint32_t mscMLRPTChgSMTPProtocol(uint32_t protocol) {
    NOTE(mscMLRPTChgSMTPProtocol, protocol, 0, 0, 0, nullptr);
    return 0;
}
uint32_t mscMLRPTChgEventReportTime(uint32_t recipient) {
    NOTE(mscMLRPTChgEventReportTime, recipient, 0, 0, 0, nullptr);
    return 0;
}
uint32_t mscMLRPTChgScheduleReportTime(uint32_t recipient) {
    NOTE(mscMLRPTChgScheduleReportTime, recipient, 0, 0, 0, nullptr);
    return 0;
}
uint32_t mscMLRPTChgMaintenanceReportTime(void) {
    NOTE(mscMLRPTChgMaintenanceReportTime, 0, 0, 0, 0, nullptr);
    return 0;
}

// One static block: a Set call takes one at a time.
uint32_t emwOSWOrgAllocMemPart(uint32_t partition, void **block, uint32_t size) {
    NOTE(emwOSWOrgAllocMemPart, partition, 0, size, 0, block);
    if (size > sizeof work_block) return kUnknown;
    ++stub_stats.allocs;
    *block = work_block;
    return 0;
}
uint32_t emwOSWOrgFreeMemPart(uint32_t partition, void *block) {
    NOTE(emwOSWOrgFreeMemPart, partition, 0, 0, 0, block);
    ++stub_stats.frees;
    return 0;
}

uint32_t emwGENMonSendMessage(uint32_t module, uint32_t msg_class, uint32_t zero, const char *format, ...) {
    NOTE(emwGENMonSendMessage, module, msg_class, zero, 0, format);
    return 0;
}

} // extern "C"
