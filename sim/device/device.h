// device.h - the simulator's process-wide state, shared by the control API
// (control.cpp) and the C services (services.cpp). Internal to libdevsim.
#pragma once

#include "device/device_state.h"
#include "devsim_device.h"
#include "store/store.h"
#include "store/text.h"

#include <cstdarg>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>

namespace devsim {

// What an incoming call must do about an armed fault.
struct Armed {
    bool on = false;
    uint32_t code = 0;
    bool write_first = false;
    // The call fails without doing its work.
    bool skip() const { return on && !write_first; }
    // Answer once the work (if any) is done.
    uint32_t answer() const { return on ? code : 0; }
    // Answer of a call the device refuses with its own code: a fault that
    // fired on the call wins.
    uint32_t refuse(uint32_t own) const { return on ? code : own; }
};

struct Device {
    std::recursive_mutex mu; // recursive: a batch holds it around service calls

    // The shared part, opened at first use (see devsim.h for where).
    std::unique_ptr<Store> store;
    std::string where; // empty until chosen
    unsigned busy_timeout_ms = 5000;
    // Entries waiting for the next transaction: broken rules of the call in
    // progress, and storage problems of a call whose transaction failed.
    std::vector<LogEntry> pending;
    static constexpr std::size_t kPendingLimit = 1000;
    // Inside inspect(): calls go unlogged and the device's faults unarmed;
    // what would have been logged is kept here for inspectedEntries().
    unsigned inspecting = 0;
    std::vector<LogEntry> inspected;

    // This process's own.
    IdSetup id;
    std::deque<uint32_t> id_sync_script;
    std::vector<StoredFault> own_faults; // failCallHere()
    std::vector<std::string> violations;
    std::vector<uint32_t> sleeps;
    bool fake_sleep = false;
    std::map<void *, std::size_t> blocks; // live blocks of partition 0
    std::size_t live_bytes = 0;
    MemStats mem;

    // The store, opened (and set up as a device) if need be; throws DeviceError.
    Store &open();
    // Runs body as one transaction of the store, with the pending entries
    // logged in it. A storage failure is logged (later, when the store takes
    // it), told on stderr and thrown as DeviceError.
    // A read (or any transaction inside inspect()) writes nothing and leaves
    // the pending entries for a later write.
    // now: a write only if the lock is free at once (see Store::transactNow);
    // transact() then answers false without running body.
    enum class Access { read, write, now };
    bool transact(Service about, const std::function<void(DeviceState &)> &body,
                  Access access = Access::write);
    // A storage problem: told once per process on stderr (unless a tool
    // tells it itself), logged by the next transaction that can, and kept
    // for takeStorageProblem().
    void problem(Service about, const DeviceError &e);
    bool tell_problems = true;
    std::set<std::string> told;
    std::optional<DeviceError> last_problem;
    // Runs body, whose service calls nest in one transaction (see devsim::batch).
    void batch(const std::function<void()> &body, Access access = Access::write);
    // Keeps an entry for the log: for the next write, or for
    // inspectedEntries() inside inspect().
    void record(LogEntry e);
    // Counts the call against the armed faults it matches and takes the one
    // that fires (the device's own only when device_faults).
    Armed arm(DeviceState &st, Service s, std::initializer_list<uint64_t> args, bool device_faults = true);
    // Records a broken rule (also on stderr and in the log) and returns code.
    uint32_t violate(uint32_t code, const std::string &what);
    LogEntry entry(LogKind kind, Service s) const;
    void resetProcessLocked();
    void freeAllBlocks();
};

Device &device();

// True on a thread that is inside a transaction of the device.
bool insideDevice();

// This process's name as the system shows it (its comm), read again after a
// fork or exec; "" when it cannot be read.
std::string programName();

// Formats a monitor line the way the device's monitor does. Supported:
// %s %x %X %u %d, the same with l, and %%; every number is read as a 32-bit
// unsigned int. On an unsupported conversion it stops reading values,
// copies the rest of the format as it is and sets error.
std::string formatMonitorLine(const char *format, va_list ap, std::string &error);

// The old one-line form of a notification or monitor entry, for State::events:
// "notify mscMLRPTChgSMTPProtocol(1)", "monitor(0x7302,0x102,0x0) <text>".
std::string eventLine(const LogEntry &e);

} // namespace devsim
