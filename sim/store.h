// store.h - where the simulated device keeps what it shares between
// processes: stored settings, jobs, values, links, armed faults and the log.
// Two back ends: memory (one process) and an SQLite file (every process).
// Internal to libdevsim; the caller holds the device lock around every use.
#pragma once

#include "devsim.h"

#include <functional>
#include <memory>

namespace devsim {

// An armed fault as stored; rng is the random fault's generator state.
struct StoredFault {
    FaultInfo info;
    uint64_t rng = 0;
};

class Store {
public:
    virtual ~Store() = default;

    // Runs body as one transaction: everything it changed is kept, or on an
    // exception nothing. Throws DeviceError when the storage fails.
    virtual void transact(const std::function<void()> &body) = 0;
    // Runs body as one read transaction: one state of the device, taken
    // without waiting for a writer; nothing is written, whatever body does.
    virtual void read(const std::function<void()> &body) = 0;
    // What the back end knows of itself (path, log and faults are left to
    // the caller).
    virtual DeviceStatus status() = 0;

    // Settings (every catalogue ID is present).
    virtual std::optional<Bytes> setting(uint32_t id) = 0;
    virtual void putSetting(uint32_t id, const Bytes &value) = 0;

    // Jobs, their values and links. jobValue is nullopt for a value never set.
    virtual bool jobExists(uint32_t job) = 0;
    virtual void createJob(uint32_t job) = 0;
    virtual void removeJob(uint32_t job) = 0; // with its values and every link from or to it
    virtual std::optional<Bytes> jobValue(uint32_t job, uint32_t value_id) = 0;
    virtual void putJobValue(uint32_t job, uint32_t value_id, const Bytes &value) = 0;
    virtual std::optional<uint32_t> parent(uint32_t job) = 0;
    virtual void setParent(uint32_t job, uint32_t parent) = 0;
    virtual std::vector<uint32_t> children(uint32_t job, int32_t kind) = 0; // in link order
    virtual void addChild(uint32_t job, int32_t kind, uint32_t link) = 0;

    // Armed faults, oldest first.
    virtual std::vector<StoredFault> faults(Service s) = 0;
    virtual std::vector<StoredFault> allFaults() = 0;
    virtual void addFault(StoredFault f) = 0;
    virtual void updateFault(const StoredFault &f) = 0;
    virtual void dropFault(uint64_t id) = 0;
    virtual void clearFaults() = 0;

    // The log: append assigns seq and keeps the newest kLogCapacity entries.
    virtual void append(LogEntry &e) = 0;
    virtual std::vector<LogEntry> log(const LogFilter &f) = 0;
    virtual uint64_t lastSeq() = 0;

    // Factory settings; clears log and faults, and the jobs unless kept.
    virtual void factoryReset(bool keep_jobs) = 0;
    virtual State snapshot() = 0; // without events
    virtual void restore(const State &s) = 0;
};

std::unique_ptr<Store> makeMemoryStore();
// Opens (creating 0600 in an existing directory if missing) the device file;
// throws DeviceError for a file that is not usable.
std::unique_ptr<Store> makeFileStore(const std::string &path, unsigned busy_timeout_ms);
// False in a build without SQLite.
bool fileStoreAvailable();

} // namespace devsim
