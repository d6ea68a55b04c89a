// devsim_device.h - what the simulated device is, apart from where it
// lives: its services' names, the codes it answers, its catalogue, the
// fault grammar, the log's text, and a snapshot of its state. Part of the
// control API (devsim.h includes it).
#pragma once

#include "devsim_types.h"

#include <map>
#include <string_view>
#include <tuple>
#include <utility>

namespace devsim {

// Codes the simulated services answer with when the caller asked for
// something the device does not have.
inline constexpr uint32_t kUnknownSetting = 0x0000e001; // settings ID not in the catalogue
inline constexpr uint32_t kUnknownJob = 0x0000e002;     // no such job
inline constexpr uint32_t kUnknownValue = 0x0000e003;   // value ID not known
inline constexpr uint32_t kUnknownLink = 0x0000e004;    // no such link
inline constexpr uint32_t kNoMemory = 0x0000e005;       // partition exhausted / not 0
inline constexpr uint32_t kBadArgument = 0x0000e006;    // a constant or pointer argument the device rejects

// Constants the device checks on every call (anything else is a violation).
inline constexpr uint32_t kStatusArea = 0x04050300; // area of every settings-store call
inline constexpr uint32_t kWriter = 0x7302;         // writer of stored settings and job values
inline constexpr uint32_t kLinkSelector = 12;       // first argument of every job-link call
inline constexpr uint32_t kIdKind = 8;              // first argument of the ID set-up calls
inline constexpr uint32_t kIdSyncKind = 2;          // argument of mectIdSync
// Fill of a freshly allocated block: nothing the device hands out is cleared.
inline constexpr uint8_t kGarbage = 0xa5;

// What ENTMLST_DEVICE names now: a file path or ":memory:". Throws
// DeviceError (kDeviceFile) when its name is refused (checkDeviceName), or when it falls back
// to the default and there is no HOME.
std::string configuredDevice();
// Throws std::invalid_argument, naming what (where the name came from),
// for a device name that cannot be meant: empty, blanks only, or starting
// with ':' but not ":memory:" (a typo that would make a file in the
// current folder; "./:name" names such a file).
void checkDeviceName(const std::string &name, const std::string &what);

// ---- settings and job values ---------------------------------------------
struct SettingInfo {
    uint32_t id;
    uint32_t size;
    Bytes default_value; // exactly size bytes
};
// The device's settings catalogue (every settings ID the device knows).
const std::vector<SettingInfo> &catalogue();
std::optional<uint32_t> settingSize(uint32_t id);
// The width the device gives a value ID; nullopt for value IDs it does not know.
std::optional<uint32_t> valueWidth(uint32_t value_id);
// Every value ID the device knows, in no particular order.
std::vector<uint32_t> valueIds();
// True for values whose width the device decides per value (the names of
// linked jobs): such a value is kept and delivered at its own length, up to
// valueWidth; a read writes exactly that many bytes. Every other value has
// its fixed width.
bool widthPerValue(uint32_t value_id);

// ---- faults ---------------------------------------------------------------------
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

// ---- ID service ------------------------------------------------------------------
// What the set-up calls told the ID service (unset until the call succeeded).
struct IdSetup {
    bool init_default = false;
    std::optional<uint32_t> dst_product;
    std::optional<uint32_t> dst_area;
};

// ---- the device's log as text -------------------------------------------------------
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

// Memory partition 0 book-keeping.
struct MemStats {
    std::size_t allocs = 0; // successful hand-outs (including write_first faults)
    std::size_t frees = 0;
    std::size_t live = 0; // blocks handed out and not yet freed
    std::size_t peak_bytes = 0;
};

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

// ---- names of settings IDs ----------------------------------------------------------
// A settings ID's names as the entmlst tool spells them, "group.field" or
// "group.recipient.field" ("smtp.port", "smtp-event.2.name"); several where
// groups share one ID; empty for an ID no field has.
std::vector<std::string> settingNames(uint32_t id);
// The settings ID a name (as above) stands for; nullopt for no such field.
std::optional<uint32_t> settingByName(std::string_view name);
// True for a settings ID that holds a password: the log keeps its bytes
// only as kMaskedBytes.
bool secretSetting(uint32_t id);
inline constexpr const char *kMaskedBytes = "********";

// ---- names of job value IDs ----------------------------------------------------------
// A job value ID's one name, "record.member" or "link.name"/"link.status"
// ("ip.address", "fax.status"); nullopt for an ID no job record or link has.
std::optional<std::string> valueName(uint32_t value_id);
// The job value ID a name (as above) stands for; nullopt for no such value.
std::optional<uint32_t> valueByName(std::string_view name);

// ---- checking ------------------------------------------------------------------------
// What is wrong with the device, one line per problem (none when all is
// well): the file's own integrity check, then the device's rules: every
// catalogue ID stored at its size, values and links only of and to jobs
// that exist, log numbers increasing. Throws DeviceError when the device
// cannot be read at all.
std::vector<std::string> checkDevice();

} // namespace devsim
