// stub_services.cpp - the device services at their cheapest: no lock, no log,
// no checks beyond finding a value's size. Sizes and stored values come from
// the simulator's catalogue (compiled in, not the simulator itself), so the
// library's reads get exactly the bytes the device would write.
#include "stub_services.h"

#include <cstring>
#include <type_traits>

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

// Records one call: argument i goes to a[i] when it is a number, the (last)
// pointer argument to p.
template <typename... A>
__attribute__((noinline)) void note(uintptr_t sp, Svc svc, A... args) {
    if (stub_stats.track_sp && sp < stub_stats.min_sp) stub_stats.min_sp = sp;
    if (stub_stats.log == nullptr || stub_stats.log_n >= stub_stats.log_cap) return;
    stub::Call &c = stub_stats.log[stub_stats.log_n++];
    c = {svc, {}, nullptr};
    std::size_t i = 0;
    [[maybe_unused]] auto put = [&](auto a) {
        if constexpr (std::is_pointer_v<decltype(a)>)
            c.p = a;
        else
            c.a[i] = static_cast<uint32_t>(a);
        ++i;
    };
    (put(args), ...);
}

// What a service does beyond noting the call: by default, nothing but
// answer success.
template <Svc>
struct Body {
    template <typename... A>
    static uint32_t run(A...) {
        return 0;
    }
};

template <>
struct Body<Svc::meSTCGetStatus> {
    static uint32_t run(uint32_t, uint32_t id, void *dst) {
        const auto *s = settings.find(id);
        if (s == nullptr) return kUnknown;
        std::memcpy(dst, store + s->off, s->size);
        return 0;
    }
};

template <>
struct Body<Svc::meSTCSetStatus> {
    static uint32_t run(uint32_t, uint32_t, uint32_t id, const void *) {
        return settings.find(id) ? 0 : kUnknown;
    }
};

uint32_t readJobValue(uint32_t value_id, void *dst) {
    uint32_t w = width(value_id);
    if (w == 0) return kUnknown;
    std::memcpy(dst, job_value, w);
    return 0;
}

template <>
struct Body<Svc::meSVCGetCurrent> {
    static uint32_t run(uint32_t, uint32_t value_id, void *dst) { return readJobValue(value_id, dst); }
};
template <>
struct Body<Svc::mectSVCGetCurrent> : Body<Svc::meSVCGetCurrent> {};

template <>
struct Body<Svc::meSVCSetCurrent> {
    static uint32_t run(uint32_t, uint32_t, uint32_t value_id, const void *) {
        return width(value_id) ? 0 : kUnknown;
    }
};

template <>
struct Body<Svc::mectSVCGetParentLink> {
    static uint32_t run(uint32_t, uint32_t job, uint32_t *parent) {
        *parent = job + 1;
        return 0;
    }
};

template <>
struct Body<Svc::mectSVCGetChildLink> {
    template <typename I>
    static uint32_t run(uint32_t, uint32_t job, I, I index, uint32_t *link) {
        *link = job + 0x100 + static_cast<uint32_t>(index);
        return 0;
    }
};
template <>
struct Body<Svc::mectGetChildLink> : Body<Svc::mectSVCGetChildLink> {};

template <>
struct Body<Svc::mectGetChildLinkNum> {
    static uint32_t run(uint32_t, uint32_t, int32_t, int32_t *number) {
        *number = children;
        return 0;
    }
};

// One static block: a Set call takes one at a time.
template <>
struct Body<Svc::emwOSWOrgAllocMemPart> {
    static uint32_t run(uint32_t, void **block, uint32_t size) {
        if (size > sizeof work_block) return kUnknown;
        ++stub_stats.allocs;
        *block = work_block;
        return 0;
    }
};

template <>
struct Body<Svc::emwOSWOrgFreeMemPart> {
    static uint32_t run(uint32_t, void *) {
        ++stub_stats.frees;
        return 0;
    }
};

} // namespace

extern "C" {

uint32_t stub_setting_size(uint32_t id) {
    const auto *s = settings.find(id);
    return s ? s->size : 0;
}

void stub_set_children(int32_t n) { children = n; }

// Every service from its row: one test of a flag when nobody watches, then
// its body.
#define STUB_SERVICE(name, kind, logged, settings, ids, params, args)                                        \
    uint32_t name params {                                                                                   \
        if (__builtin_expect(stub_stats.track_sp || stub_stats.log != nullptr, 0))                           \
            note(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)), Svc::name STUB_ARGS args);         \
        return Body<Svc::name>::run args;                                                                    \
    }
#define STUB_ARGS(...) __VA_OPT__(, ) __VA_ARGS__
CORVEL_DEVICE_SERVICES(STUB_SERVICE)
#undef STUB_ARGS
#undef STUB_SERVICE

} // extern "C"
