// device_state.h - what the device's stored rows mean, written once over
// any back end: settings at their sizes, jobs with their values and links,
// armed faults and their numbering, the log's numbering and capacity,
// factory reset, snapshot and restore. Internal to libdevsim.
#pragma once

#include "devsim_device.h"
#include "store/store.h"

namespace devsim {

// An armed fault as stored; rng is the random fault's generator state.
struct StoredFault {
    FaultInfo info;
    uint64_t rng = 0;
};

// A counted fault that has failed all its calls: kept for its hits, never
// fires again.
inline bool spent(const FaultInfo &f) { return f.percent == 0 && f.calls_left == 0; }

class DeviceState {
public:
    explicit DeviceState(Store &st) : st_(st) {}

    // True when the store lacks what every device holds (a new store, or
    // settings the device has learnt since it was made); setUp() adds it.
    bool needsSetUp();
    void setUp();

    // Settings: nullopt for an ID the device does not know.
    std::optional<Bytes> setting(uint32_t id);
    void putSetting(uint32_t id, const Bytes &value);

    // Jobs, their values and links. jobValue is nullopt for a value never set.
    bool jobExists(uint32_t job);
    void createJob(uint32_t job);
    void removeJob(uint32_t job); // with its values and every link from or to it
    std::optional<Bytes> jobValue(uint32_t job, uint32_t value_id);
    void putJobValue(uint32_t job, uint32_t value_id, const Bytes &value);
    std::optional<uint32_t> parent(uint32_t job);
    void setParent(uint32_t job, uint32_t parent);
    std::vector<uint32_t> children(uint32_t job, int32_t kind); // in link order
    void addChild(uint32_t job, int32_t kind, uint32_t link);

    // Armed faults, oldest first; addFault numbers the fault.
    std::vector<StoredFault> faults(std::optional<Service> s = std::nullopt);
    uint64_t addFault(StoredFault f); // its ID
    void updateFault(const StoredFault &f);
    void dropFault(uint64_t id);
    void clearFaults();

    // The log: append numbers the entry (never reusing a seq, even across a
    // reset) and keeps the newest kLogCapacity entries.
    void append(LogEntry &e);
    std::vector<LogEntry> log(const LogFilter &f);
    uint64_t lastSeq();

    // Factory settings; clears log and faults, and the jobs unless kept.
    void factoryReset(bool keep_jobs);
    State snapshot(); // without events
    void restore(const State &s);

    DeviceStatus status();
    // Each row changed behind the device's back, named; none in memory.
    std::vector<std::string> tampered();

private:
    Store &st_;
    [[noreturn]] void damaged(const std::string &what);
    uint64_t meta(uint64_t key);
    uint64_t number(const Bytes &value, std::size_t i); // a damaged row throws
    void setMeta(uint64_t key, uint64_t value);
    void clear(Space s);
};

} // namespace devsim
