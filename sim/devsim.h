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
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace devsim {

using Bytes = std::vector<uint8_t>;

// The kinds of the device's log entries, once: X(kind, name as shown).
#define DEVSIM_LOG_KINDS(X)                                                                                  \
    X(call, "call")                                                                                          \
    X(notification, "notify")                                                                                \
    X(monitor, "monitor")                                                                                    \
    X(fault, "fault")                                                                                        \
    X(violation, "violation")                                                                                \
    X(device, "device")                                                                                      \
    X(note, "note")

// Every service the simulator implements, once: X(name, the kind of its log
// entry, how many arguments it logs).
#define DEVSIM_SERVICES(X)                                                                                   \
    X(meSTCGetStatus, call, 3)                                                                               \
    X(meSTCSetStatus, call, 4)                                                                               \
    X(meSVCGetCurrent, call, 3)                                                                              \
    X(meSVCSetCurrent, call, 4)                                                                              \
    X(mectInitDefault, call, 2)                                                                              \
    X(mectSetDstProduct, call, 2)                                                                            \
    X(mectSetDstArea, call, 2)                                                                               \
    X(mectIdSync, call, 1)                                                                                   \
    X(mectSVCGetParentLink, call, 3)                                                                         \
    X(mectSVCGetChildLink, call, 5)                                                                          \
    X(mectGetChildLinkNum, call, 4)                                                                          \
    X(mectGetChildLink, call, 5)                                                                             \
    X(mectSVCGetCurrent, call, 3)                                                                            \
    X(mscMLPRNChgSchedule, notification, 2)                                                                  \
    X(mscMLRPTChgSMTPProtocol, notification, 1)                                                              \
    X(mscMLRPTChgEventReportTime, notification, 1)                                                           \
    X(mscMLRPTChgScheduleReportTime, notification, 1)                                                        \
    X(mscMLRPTChgMaintenanceReportTime, notification, 0)                                                     \
    X(emwOSWOrgAllocMemPart, call, 3)                                                                        \
    X(emwOSWOrgFreeMemPart, call, 2)                                                                         \
    X(emwGENMonSendMessage, monitor, 3)

#define DEVSIM_ENUMERATOR(name, ...) name,
#define DEVSIM_PLUS_ONE(...) +1
enum class LogKind : uint8_t { DEVSIM_LOG_KINDS(DEVSIM_ENUMERATOR) };
enum class Service : uint8_t { DEVSIM_SERVICES(DEVSIM_ENUMERATOR) };
inline constexpr std::size_t kServiceCount = 0 DEVSIM_SERVICES(DEVSIM_PLUS_ONE);
inline constexpr std::size_t kLogKindCount = 0 DEVSIM_LOG_KINDS(DEVSIM_PLUS_ONE);
#undef DEVSIM_PLUS_ONE
#undef DEVSIM_ENUMERATOR

const char *serviceName(Service s);
std::optional<Service> serviceByName(const std::string &name);
// The kind of a service's log entry, and how many arguments it logs.
LogKind serviceKind(Service s);
std::size_t serviceArgCount(Service s);

// Codes the simulated services answer with when the caller asked for
// something the device does not have.
inline constexpr uint32_t kUnknownSetting = 0x0000e001; // settings ID not in the catalogue
inline constexpr uint32_t kUnknownJob = 0x0000e002;     // no such job
inline constexpr uint32_t kUnknownValue = 0x0000e003;   // value ID not known
inline constexpr uint32_t kUnknownLink = 0x0000e004;    // no such link
inline constexpr uint32_t kNoMemory = 0x0000e005;       // partition exhausted / not 0
inline constexpr uint32_t kBadArgument = 0x0000e006;    // a constant or pointer argument the device rejects
// Codes of the simulated device's own storage (never a real device's answer).
// The log and stderr say what happened.
inline constexpr uint32_t kDeviceBusy = 0x0000e007; // device file locked by another process past the timeout
inline constexpr uint32_t kDeviceFile =
    0x0000e008; // device file unusable: read-only, disk full, damaged, not ours

// Constants the device checks on every call (anything else is a violation).
inline constexpr uint32_t kStatusArea = 0x04050300; // area of every settings-store call
inline constexpr uint32_t kWriter = 0x7302;         // writer of stored settings and job values
inline constexpr uint32_t kLinkSelector = 12;       // first argument of every job-link call
inline constexpr uint32_t kIdKind = 8;              // first argument of the ID set-up calls
inline constexpr uint32_t kIdSyncKind = 2;          // argument of mectIdSync
// Fill of a freshly allocated block: nothing the device hands out is cleared.
inline constexpr uint8_t kGarbage = 0xa5;

// One recorded service call. Integer arguments as passed; pointer arguments
// as their address (uintptr_t). For emwGENMonSendMessage args holds module,
// class and the third argument, and text the formatted line.
struct Call {
    Service service;
    std::vector<uint64_t> args;
    uint32_t result = 0;
    std::string text;
    // The service did its work (wrote the destination, stored the value,
    // sent the notification, handed out the block), whatever it answered.
    bool done = false;
};

// A line the monitor received.
struct MonitorLine {
    uint32_t module = 0;
    uint32_t msg_class = 0;
    uint32_t zero = 0;
    std::string text; // formatted, ends in '\n' when the format does
};

// ---- where the device lives --------------------------------------------------
// Control calls that cannot reach the device (a file that is not a device
// file, locked past the timeout, read-only, full, damaged) throw this.
struct DeviceError : std::runtime_error {
    uint32_t code; // kDeviceBusy or kDeviceFile
    DeviceError(uint32_t c, const std::string &what) : std::runtime_error(what), code(c) {}
};
inline constexpr const char *kDeviceVariable = "ENTMLST_DEVICE";
inline constexpr const char *kMemoryDevice = ":memory:";
// What ENTMLST_DEVICE names now: a file path or ":memory:". Throws
// DeviceError (kDeviceFile) when it is set but empty, or when it falls back
// to the default and there is no HOME.
std::string configuredDevice();
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

// What `entmlst status` shows.
struct DeviceStatus {
    std::string path;       // file path, or ":memory:"
    int64_t created_us = 0; // when the device was created (0 when unknown)
    int schema_version = 0; // the file's layout version (0 for memory)
    uint64_t file_size = 0; // bytes of the device file (0 for memory)
    uint64_t log_entries = 0;
    std::size_t faults = 0; // armed faults kept with the device (not the spent ones)
    int32_t last_writer_pid = 0;
    bool created_now = false; // this process created the file when it opened it
};
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
struct SettingInfo {
    uint32_t id;
    uint32_t size;
    Bytes default_value; // exactly size bytes
};
// The device's settings catalogue (every settings ID the device knows).
const std::vector<SettingInfo> &catalogue();
std::optional<uint32_t> settingSize(uint32_t id);
// Current stored value (size bytes); nullopt for an unknown ID.
std::optional<Bytes> setting(uint32_t id);
// Sets a stored value directly (no call is logged). The value is zero-padded
// or rejected (returns false) if longer than the ID's size or the ID unknown.
bool putSetting(uint32_t id, const Bytes &value);

// ---- job values and links -----------------------------------------------------
// The width the device gives a value ID; nullopt for value IDs it does not know.
std::optional<uint32_t> valueWidth(uint32_t value_id);
// Every value ID the device knows, in no particular order.
std::vector<uint32_t> valueIds();
// True for values whose width the device decides per value (the names of
// linked jobs): such a value is kept and delivered at its own length, up to
// valueWidth; a read writes exactly that many bytes. Every other value has
// its fixed width.
bool widthPerValue(uint32_t value_id);
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
// logged (LogKind::fault; a firing before the call's entry, naming the
// fault's ID; an arming's text starts "armed ID", a clearing's "cleared",
// a firing's with the service's name). A counted fault that has failed all
// its calls stays listed, spent (calls_left 0), with its hits, and never
// fires again until it is cleared or the device reset. A process's own
// faults are gone once spent.
//
// Makes the nth call (1-based, counted from now) of a service return code
// (addFault with only SERVICE#N=CODE[,write-first]; nth 0 arms nothing).
// With write_first, the service first does its normal work (writes the
// destination / stores the value / hands out the block) and then answers code.
// emwOSWOrgFreeMemPart always takes the block back, failing or not.
void failCall(Service s, unsigned nth, uint32_t code, bool write_first = false);
// The same for this process's calls only, not kept with the device (one
// command of a tool, say), and not logged; clearFaultsHere() disarms what
// is left of them.
void failCallHere(Service s, unsigned nth, uint32_t code, bool write_first = false);
void clearFaultsHere();
// Makes every call of a service fail with the given probability (in
// percent, 0 < percent <= 100) until cleared. The same seed gives the same
// firings for the same sequence of matching calls.
void failRandomly(Service s, double percent, uint64_t seed, uint32_t code, bool write_first = false);

// A fault aimed precisely, in one text (entmlst fault add, run --fault,
// --fail, devsim_fault_add):
//   SERVICE[#N]=CODE[,times=N][,match=X][,pid=P][,program=NAME][,write-first]
//                   [,probability=P][,seed=S]
// Only matching calls count: of that service, naming X (a settings ID, job
// ID or value ID among the call's arguments; X a number or a field name,
// "smtp.port", "smtp-event.2.name"), from process P, from the program NAME.
// The Nth matching call and the times-1 after it fail; with probability
// each matching call fails with P percent until cleared, drawn from seed S
// (without one the fault takes a seed of its own, shown in FaultInfo::seed).
// The system keeps the first 15 bytes of a program's name: a longer NAME is
// compared by those. Only calls of a service that takes an ID can match.
struct FaultSpec {
    Service service{};
    uint32_t code = 0;
    unsigned nth = 1;   // #N, 1-based
    unsigned times = 1; // matching calls in a row that fail
    std::optional<uint32_t> match;
    std::optional<int32_t> pid;
    std::string program; // empty: any program
    bool write_first = false;
    double percent = 0; // probability; 0 for a counted fault
    std::optional<uint64_t> seed;
};
// Throws std::invalid_argument with a one-line reason naming the bad part.
FaultSpec parseFaultSpec(std::string_view text);
// The fault's shortest text, which parses back to the same fault.
std::string faultSpecText(const FaultSpec &spec);
// Arms a fault kept with the device (logged); returns its ID, never reused.
// Both throw std::invalid_argument for a spec that parseFaultSpec would not
// give (no such service, #0, times 0, ...).
uint64_t addFault(const FaultSpec &spec);
// Arms a fault for this process's calls only (see failCallHere).
void addFaultHere(const FaultSpec &spec);
// Disarms one fault kept with the device (logged); false if none has that ID.
bool clearFault(uint64_t id);

// An armed fault as the device keeps it.
struct FaultInfo {
    uint64_t id;
    Service service;
    uint32_t code;
    bool write_first;
    unsigned calls_left; // counted fault: matching calls until it fires (1 = the next), 0 once spent
    double percent;      // random fault: its probability; 0 for a counted fault
    uint64_t seed;       // random fault: the seed in use
    uint64_t fired;      // times the fault has fired (its hits)
    FaultSpec spec;      // as armed
};
std::vector<FaultInfo> faults();
// Answers of mectIdSync, consumed in order; when they run out it answers 0.
void scriptIdSync(const std::vector<uint32_t> &answers);
// Disarms every fault (the device's, logged, and this process's own) and
// drops the rest of the mectIdSync script.
void clearFaults();

// ---- ID service ------------------------------------------------------------------
// What the set-up calls told the ID service (unset until the call succeeded).
struct IdSetup {
    bool init_default = false;
    std::optional<uint32_t> dst_product;
    std::optional<uint32_t> dst_area;
};
IdSetup idSetup();

// ---- observation -------------------------------------------------------------------
// ---- the device's log ------------------------------------------------------------
// What the device received, from every process, oldest first: each service
// call (notifications and monitor lines are calls too), each fired fault,
// each broken rule and each problem of the device's storage. The device
// keeps the last kLogCapacity entries.
inline constexpr std::size_t kLogCapacity = 10000;
const char *logKindName(LogKind k);
std::optional<LogKind> logKindByName(const std::string &name);
struct LogEntry {
    uint64_t seq = 0;    // increasing, never reused
    int64_t time_us = 0; // microseconds since the epoch
    int32_t pid = 0;
    std::string program; // the calling process's name (its comm), "" when unknown
    LogKind kind = LogKind::call;
    Service service{}; // the service called, or that the entry is about
    std::vector<uint64_t> args;
    uint32_t result = 0;
    bool done = false; // see Call::done
    std::string text;  // monitor line as received (any bytes), or what happened
};
struct LogFilter {
    uint64_t after_seq = 0;         // only entries with a larger seq
    int64_t since_us = 0;           // only entries at or after this time
    std::optional<int32_t> pid;     // only this process's entries
    std::optional<Service> service; // only the service's calls and faults
    std::optional<LogKind> kind;
    std::size_t newest = 0; // only the newest this many of those (0: all), oldest first
};
std::vector<LogEntry> log(const LogFilter &filter = {});
// seq of the newest entry (0 when the log is empty).
uint64_t lastLogSeq();
// One line: "2026-12-06 03:10:11.123456 pid 4242 myprog call meSTCGetStatus(0x4050300,0x85006334
// smtp.port,...) = 0x0". The program is one word: escaped as the text is, a blank as \x20, "-" when
// unknown. A settings ID is followed by its names, joined by '|' where groups share it. Its text is
// escapeLogText(text, true), without the monitor line's newline.
std::string formatLogEntry(const LogEntry &e);
// Which of a call entry's arguments is a settings ID (its index), shown
// with its names; nullopt when none is.
std::optional<std::size_t> settingsIdArgument(const LogEntry &e);
// An entry's text holds whatever bytes a program sent (a monitor line's
// %s, an upgraded file's note). Shown, every byte that is not part of
// well-formed UTF-8 becomes \xHH (two lowercase hex digits) and a
// backslash becomes \\, so the shown text is valid UTF-8 and reads back to
// the bytes. With controls, every control character (U+0000..U+001F, U+007F
// and U+0080..U+009F) becomes \xHH too, byte by byte, for a terminal.
std::string escapeLogText(std::string_view text, bool controls);
// What the service calls inside inspect() would have logged (seq 0), oldest
// first, since the last inspectedEntries(), which forgets them: how a tool
// sees the monitor lines and notifications of its own reads.
std::vector<LogEntry> inspectedEntries();

// ---- observation -------------------------------------------------------------------
// The calls are the log's call entries; clearCalls() hides those logged so far
// from this process's calls() and callCount() without touching the log.
std::vector<Call> calls();          // every call since reset(), in order
std::vector<Call> calls(Service s); // only those of one service
std::size_t callCount(Service s);
void clearCalls();                  // forget the log (not the state)
std::vector<MonitorLine> monitor(); // lines received since reset()
std::vector<uint32_t> sleeps();     // usleep arguments seen (see below)

// Memory partition 0 book-keeping.
struct MemStats {
    std::size_t allocs = 0; // successful hand-outs (including write_first faults)
    std::size_t frees = 0;
    std::size_t live = 0; // blocks handed out and not yet freed
    std::size_t peak_bytes = 0;
};
MemStats memStats();
// Broken device rules seen since reset() (free of an unknown block, double
// free, wrong partition, unknown settings ID, ...). Each also goes to stderr.
std::vector<std::string> violations();

// ---- persistence ---------------------------------------------------------------------
// Whole device state as plain data, for tests that compare snapshots.
// importState replaces settings (IDs missing from the snapshot get their
// defaults), jobs, values and links; events (they come from the log), the
// log, faults, memory book-keeping and violations are left as they are.
struct State {
    std::map<uint32_t, Bytes> settings;                        // id -> value
    std::map<std::pair<uint32_t, uint32_t>, Bytes> job_values; // (job, value id) -> value
    std::vector<uint32_t> jobs;
    std::map<uint32_t, uint32_t> parents;                          // job -> parent job
    std::vector<std::tuple<uint32_t, int32_t, uint32_t>> children; // (job, kind, link id) in order
    // What the device received, oldest first, from its log: monitor lines
    // and notifications sent, one line each ("notify NAME(args)",
    // "monitor(module,class,0) text").
    std::vector<std::string> events;
};
State exportState();
void importState(const State &s);

// ---- names of settings IDs ----------------------------------------------------------
// A settings ID's names as the entmlst tool spells them, "group.field" or
// "group.recipient.field" ("smtp.port", "smtp-event.2.name"); several where
// groups share one ID; empty for an ID no field has.
std::vector<std::string> settingNames(uint32_t id);
// The settings ID a name (as above) stands for; nullopt for no such field.
std::optional<uint32_t> settingByName(std::string_view name);

// ---- checking ------------------------------------------------------------------------
// What is wrong with the device, one line per problem (none when all is
// well): the file's own integrity check, then the device's rules: every
// catalogue ID stored at its size, values and links only of and to jobs
// that exist, log numbers increasing. Throws DeviceError when the device
// cannot be read at all.
std::vector<std::string> checkDevice();

// libdevsim.so defines usleep() itself, so a program that links it ahead of
// libc gets the simulator's usleep for the library too. It always records
// its argument (sleeps()); when enabled it returns at once, otherwise it
// really sleeps. Off by default and after reset().
void fakeSleep(bool enabled);

} // namespace devsim
