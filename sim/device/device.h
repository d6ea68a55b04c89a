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
#include <utility>

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

// The simulator's one device per process: where it lives and the store
// opened there, the transaction each call runs in, the entries waiting for
// the log, armed faults, and this process's own part (ID set-up, scripted
// answers, memory partition 0, sleeps, broken rules). Callers hold mu
// around every use.
class Device {
public:
    std::recursive_mutex mu; // recursive: a batch holds it around service calls

    // ---- where the device lives (see devsim.h) ----
    // The store, opened (and set up as a device) if need be; throws DeviceError.
    Store &open();
    // Uses where from now on and opens it; on failure the process is left
    // on a fresh memory device and the DeviceError thrown.
    void use(const std::string &where);
    std::string path() const; // the device's path, or the configured one before the first open
    unsigned busyTimeout() const { return busy_timeout_ms_; }
    void setBusyTimeout(unsigned milliseconds);
    // Lets go of the store without closing it (a child after fork()).
    std::unique_ptr<Store> abandonStore() { return std::move(store_); }
    // Logs what still waits if the lock is free at once, and closes the store (exit).
    void close();

    // ---- transactions ----
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
    // Runs body, whose service calls nest in one transaction (see devsim::batch).
    void batch(const std::function<void()> &body, Access access = Access::write);
    // Runs body as an out-of-band look (see devsim::inspect).
    void inspect(const std::function<void()> &body);
    bool inspecting() const { return inspecting_ != 0; }
    // What the calls inside inspect() would have logged, forgotten as taken.
    std::vector<LogEntry> takeInspected() { return std::exchange(inspected_, {}); }

    // ---- the log ----
    LogEntry entry(LogKind kind, Service s) const;
    // Keeps an entry for the log: for the next write, or for
    // takeInspected() inside inspect().
    void record(LogEntry e);
    // Appends the entries waiting for a write to st, in order.
    void logPending(DeviceState &st);
    // A storage problem: told once per process on stderr (unless a tool
    // tells it itself), logged by the next transaction that can, and kept
    // for takeProblem().
    void problem(Service about, const DeviceError &e);
    void tellProblems(bool on) { tell_problems_ = on; }
    std::optional<DeviceError> takeProblem() { return std::exchange(last_problem_, std::nullopt); }
    // Records a broken rule (also on stderr and in the log) and returns code.
    uint32_t violate(uint32_t code, const std::string &what);
    const std::vector<std::string> &violations() const { return violations_; }

    // ---- faults ----
    // Counts the call against the armed faults it matches and takes the one
    // that fires (the device's own only when device_faults).
    Armed arm(DeviceState &st, Service s, std::initializer_list<uint64_t> args, bool device_faults = true);
    // This process's own faults (failCallHere), gone once spent.
    void addOwnFault(StoredFault f) { own_faults_.push_back(std::move(f)); }
    void clearOwnFaults() { own_faults_.clear(); }
    const std::vector<StoredFault> &ownFaults() const { return own_faults_; }

    // ---- this process's ID service ----
    IdSetup id;
    void scriptIdSync(const std::vector<uint32_t> &answers) {
        id_sync_script_.assign(answers.begin(), answers.end());
    }
    // The next scripted mectIdSync answer, 0 when the script has run out.
    uint32_t nextIdSyncAnswer();

    // ---- memory partition 0 ----
    // A block of size bytes, filled with kGarbage; nullptr when out of memory.
    void *allocate(uint32_t size);
    // Takes a handed-out block back, scribbled over; false for a block that
    // was not handed out or is free already.
    bool release(void *block);
    MemStats memStats() const;

    // ---- sleeps ----
    // Records a sleep; true when it is to be skipped.
    bool sleep(uint32_t usec);
    const std::vector<uint32_t> &sleeps() const { return sleeps_; }
    void fakeSleep(bool on) { fake_sleep_ = on; }

    // Everything of this process's own back to its start (reset()).
    void resetProcess();

private:
    // The shared part, opened at first use.
    std::unique_ptr<Store> store_;
    std::string where_; // empty until chosen
    unsigned busy_timeout_ms_ = 5000;
    // Entries waiting for the next transaction: broken rules of the call in
    // progress, and storage problems of a call whose transaction failed.
    std::vector<LogEntry> pending_;
    static constexpr std::size_t kPendingLimit = 1000;
    // Inside inspect(): calls go unlogged and the device's faults unarmed;
    // what would have been logged is kept for takeInspected().
    unsigned inspecting_ = 0;
    std::vector<LogEntry> inspected_;
    bool tell_problems_ = true;
    std::set<std::string> told_;
    std::optional<DeviceError> last_problem_;

    // This process's own.
    std::deque<uint32_t> id_sync_script_;
    std::vector<StoredFault> own_faults_;
    std::vector<std::string> violations_;
    std::vector<uint32_t> sleeps_;
    bool fake_sleep_ = false;
    std::map<void *, std::size_t> blocks_; // live blocks of partition 0
    std::size_t live_bytes_ = 0;
    MemStats mem_;

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
