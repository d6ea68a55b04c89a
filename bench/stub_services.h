// Control of the benchmark's stub services (libcorvel_stub_services.so): every
// device service the library imports, answering at once with success. Reads
// deliver values of the device's own sizes; writes are accepted and dropped,
// so a record that differs from the stored values keeps differing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_services.h"

namespace stub {

// The services, named and ordered as in their list.
#define STUB_ENUMERATOR(name, ...) name,
enum class Svc : uint8_t { CORVEL_DEVICE_SERVICES(STUB_ENUMERATOR) };
#undef STUB_ENUMERATOR

// One service call as seen by the stub: its integer arguments in order and
// its (last) pointer argument.
struct Call {
    Svc svc;
    uint32_t a[4];
    const void *p;
};

struct Stats {
    std::size_t allocs = 0;
    std::size_t frees = 0;
    // Lowest frame address of any service entered while track_sp is set.
    bool track_sp = false;
    uintptr_t min_sp = UINTPTR_MAX;
    // Calls are appended here while log is set.
    Call *log = nullptr;
    std::size_t log_cap = 0;
    std::size_t log_n = 0;
};

} // namespace stub

extern "C" {
extern stub::Stats stub_stats;
// Size the store keeps for a settings ID (0: unknown).
uint32_t stub_setting_size(uint32_t id);
// Number of children every job has, of every link kind.
void stub_set_children(int32_t n);
}
