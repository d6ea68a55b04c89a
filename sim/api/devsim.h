// devsim.h - control API of the device-services simulator (libdevsim.so).
//
// The simulator implements every device service the library imports (see
// contract/device_services.h) with the same C names and signatures, over one
// simulated device: a settings store that knows each settings ID's size and
// default value, job values with their own widths, parent and child links,
// the scheduler/report notifications, memory partition 0 and a monitor that
// formats every line itself. It logs every service call and injects faults.
// All functions are thread-safe.
//
// Where the device lives. Like the real device's settings store, the
// simulated device is shared by every process that uses it:
//   - ENTMLST_DEVICE=FILE: an SQLite file that every process linked with
//     libdevsim (and the entmlst command) reads and writes. Settings, jobs,
//     links, armed faults and the log are in the file; each service call is
//     one transaction, durable when the call returns (a crash of any process
//     loses nothing that a call reported done).
//   - ENTMLST_DEVICE=:memory: a private device in this process's memory,
//     with factory settings at start. For test suites.
//   - unset: the per-user default file,
//     $XDG_DATA_HOME/entmlst/device.db, else ~/.local/share/entmlst/device.db.
//     Set but empty is an error (most likely a script's unset variable).
// A build without SQLite (the PowerPC cross build) always uses memory.
// The device is opened at the first service or control call; openDevice()
// switches to another one.
//
// Per process, whatever the device: the memory partition, the ID service's
// set-up, the scripted mectIdSync answers, sleeps and broken rules.
//
// The types, the device's own constants and what needs no device at all
// (names, catalogue, fault grammar, the log's text) are in devsim_device.h
// and devsim_types.h, included here.
#pragma once

#include "devsim_device.h"
#include "devsim_types.h"

#include <functional>

namespace devsim {

// Closes the current device and uses where (a file path, or ":memory:")
// from now on; opens it at once. Throws DeviceError when the file is not
// usable (the process is then left on a fresh memory device).
void openDevice(const std::string &where);
// The device in use: its file path, or ":memory:".
std::string devicePath();
// How long a service call waits for a file locked by another process
// before it answers kDeviceBusy (default 5000 ms).
void setBusyTimeout(unsigned milliseconds);
// Runs body with every service call and control call it makes in one
// transaction of the device: other processes see all of it at once when
// body returns, and wait while it runs. For reading many values at once
// (one file transaction instead of one per call); a write made inside is
// durable only when body returns, and if body throws nothing it did is
// kept. Throws DeviceError when the device's storage fails.
void batch(const std::function<void()> &body);

// Each problem of the device's storage (locked, read-only, full, too large,
// damaged, not a device file, another user's) is told once per process on
// stderr, naming the file and the cause, and logged when the log can be
// written. A tool that tells its user itself turns the stderr line off.
void tellStorageProblems(bool on);
// The storage problem this process met most recently, forgotten as it is
// taken; nullopt when there was none.
std::optional<DeviceError> takeStorageProblem();

// Opens the device if need be. Throws DeviceError when the storage fails.
DeviceStatus deviceStatus();
// Runs body as an out-of-band look at the device, the way a debugger reads memory:
// one read transaction that never waits for a writer, service calls neither logged nor
// answered by the device's armed faults (this process's own failCallHere() faults still
// fire), nothing written to the file. Throws DeviceError when the storage fails.
void inspect(const std::function<void()> &body);

// ---- lifecycle -----------------------------------------------------------
// Restores the device to its defaults: catalogue default values, no jobs,
// no links, empty logs and counters, no faults, no scripted answers, real
// sleeps. Blocks still handed out are released.
void reset();
// Factory settings for the shared device only: every stored value back to
// its default, the log and the armed faults cleared, and the jobs and links
// too unless keep_jobs. This process's own state is left alone. The log then
// starts with the reset ("reset", or "reset, keeping jobs"); after reset()
// it is empty.
void factoryReset(bool keep_jobs);

// ---- settings store --------------------------------------------------------
// Current stored value (size bytes); nullopt for an unknown ID.
std::optional<Bytes> setting(uint32_t id);
// Sets a stored value directly (no call is logged). The value is zero-padded
// or rejected (returns false) if longer than the ID's size or the ID unknown.
bool putSetting(uint32_t id, const Bytes &value);

// ---- job values and links -----------------------------------------------------
// Creates the job if missing. Fixed-width values are zero-padded to the
// value's width, per-value ones kept as given; false if the value ID is
// unknown or the bytes are too long.
bool putJobValue(uint32_t job_id, uint32_t value_id, const Bytes &value);
std::optional<Bytes> jobValue(uint32_t job_id, uint32_t value_id);
void createJob(uint32_t job_id);
bool jobExists(uint32_t job_id);
// Drops the job, its values and every link from or to it.
void removeJob(uint32_t job_id);
// Creates both jobs if missing.
void setParentLink(uint32_t job_id, uint32_t parent_job_id);
// Appends a child link of the given kind; index = position among that kind.
// Creates both jobs if missing (the child's values read as zeros).
void addChildLink(uint32_t job_id, int32_t link_kind, uint32_t link_id);
// Values read through mectSVCGetCurrent(link_id, value_id) are the values of
// job link_id (same store as putJobValue).

// ---- fault injection ------------------------------------------------------------
// Faults are kept with the device: a fault armed by one process fires in
// whichever process makes the matching call. A fault answers its code even
// when the device itself would have refused the call (unknown job, link or
// value); a call that breaks a device rule is still recorded as a violation.
// Arming, clearing and each firing of a fault kept with the device are
// logged: LogKind::armed (text "ID SPEC"), LogKind::cleared ("ID", or "all")
// and LogKind::fault, a firing only (before the call's entry, its text
// starting with the service's name and naming the fault's ID). A counted fault that has failed all
// its calls stays listed, spent (calls_left 0), with its hits, and never
// fires again until it is cleared or the device reset. A process's own
// faults are gone once spent.
//
// Makes the nth call (1-based, counted from now) of a service return code,
// for this process's calls only, not kept with the device (one command of
// a tool, say), and not logged (addFaultHere with only
// SERVICE#N=CODE[,write-first]; nth 0 arms nothing). With write_first, the
// service first does its normal work (writes the destination / stores the
// value / hands out the block) and then answers code.
// emwOSWOrgFreeMemPart always takes the block back, failing or not.
// clearFaultsHere() disarms what is left of this process's own faults.
void failCallHere(Service s, unsigned nth, uint32_t code, bool write_first = false);
void clearFaultsHere();

// Arms a fault kept with the device (logged); returns its ID, never reused.
// Both throw std::invalid_argument for a spec that parseFaultSpec would not
// give (no such service, #0, times 0, ...).
uint64_t addFault(const FaultSpec &spec);
// Arms a fault for this process's calls only (see failCallHere).
void addFaultHere(const FaultSpec &spec);
// This process's own faults still armed, oldest first, with their hits (a
// spent one is gone: it fired).
std::vector<FaultInfo> faultsHere();
// Disarms one fault kept with the device (logged); false if none has that ID.
bool clearFault(uint64_t id);

// The faults kept with the device, oldest first.
std::vector<FaultInfo> faults();
// Answers of mectIdSync, consumed in order; when they run out it answers 0.
void scriptIdSync(const std::vector<uint32_t> &answers);
// Disarms every fault (the device's, logged, and this process's own) and
// drops the rest of the mectIdSync script.
void clearFaults();

// What the ID service's set-up calls told this process's device.
IdSetup idSetup();

// ---- the device's log -------------------------------------------------------------
// The entries a filter keeps (see LogEntry), oldest first.
std::vector<LogEntry> log(const LogFilter &filter = {});
// seq of the newest entry (0 when the log is empty).
uint64_t lastLogSeq();
// What the service calls inside inspect() would have logged (seq 0), oldest
// first, since the last inspectedEntries(), which forgets them: how a tool
// sees the monitor lines and notifications of its own reads.
std::vector<LogEntry> inspectedEntries();

// usleep arguments seen (see fakeSleep below).
std::vector<uint32_t> sleeps();
MemStats memStats();
// Broken device rules seen since reset() (free of an unknown block, double
// free, wrong partition, unknown settings ID, ...). Each also goes to stderr.
std::vector<std::string> violations();

// Snapshots (see State).
State exportState();
// The same without events, which are read from the whole log: the stored
// values, jobs and links alone.
State storedState();
void importState(const State &s);

// libdevsim.so defines usleep() itself, so a program that links it ahead of
// libc gets the simulator's usleep for the library too. It always records
// its argument (sleeps()); when enabled it returns at once, otherwise it
// really sleeps. Off by default and after reset().
void fakeSleep(bool enabled);

} // namespace devsim
