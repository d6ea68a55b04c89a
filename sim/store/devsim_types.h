// devsim_types.h - the simulator's basic types: bytes, the services and
// the kinds of the device's log, a log entry, and what the device's
// storage reports about itself and its failures. Part of the control API
// (devsim.h includes it); the storage layer needs nothing more.
#pragma once

#include "device_services.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace devsim {

using Bytes = std::vector<uint8_t>;

// The kinds of the device's log entries, once: X(kind, name as shown).
#define DEVSIM_LOG_KINDS(X)                                                                                  \
    X(call, "call")                                                                                          \
    X(notification, "notify")                                                                                \
    X(monitor, "monitor")                                                                                    \
    X(fault, "fault")                                                                                        \
    X(armed, "armed")                                                                                        \
    X(cleared, "cleared")                                                                                    \
    X(violation, "violation")                                                                                \
    X(device, "device")                                                                                      \
    X(note, "note")

// The services, in the order of their list (contract/device_services.h).
#define DEVSIM_ENUMERATOR(name, ...) name,
#define DEVSIM_PLUS_ONE(...) +1
enum class LogKind : uint8_t { DEVSIM_LOG_KINDS(DEVSIM_ENUMERATOR) };
enum class Service : uint8_t { CORVEL_DEVICE_SERVICES(DEVSIM_ENUMERATOR) };
inline constexpr std::size_t kServiceCount = 0 CORVEL_DEVICE_SERVICES(DEVSIM_PLUS_ONE);
inline constexpr std::size_t kLogKindCount = 0 DEVSIM_LOG_KINDS(DEVSIM_PLUS_ONE);
#undef DEVSIM_PLUS_ONE
#undef DEVSIM_ENUMERATOR

// What the list says of each service ("?", LogKind::note, 0 for none).
const char *serviceName(Service s);
std::optional<Service> serviceByName(const std::string &name);
// The kind of a service's log entry, and how many arguments it logs.
LogKind serviceKind(Service s);
std::size_t serviceArgCount(Service s);
// Which of a service's logged arguments are settings IDs, and which are any
// ID a fault can be aimed at (settings, job or value IDs): bit i for argument i.
unsigned settingsArguments(Service s);
unsigned idArguments(Service s);
// Which of a service's logged arguments are pointers (bit i for argument
// i): an address, which differs from run to run.
unsigned pointerArguments(Service s);
const char *logKindName(LogKind k);
std::optional<LogKind> logKindByName(const std::string &name);

// Codes of the simulated device's own storage (never a real device's answer).
// The log and stderr say what happened.
inline constexpr uint32_t kDeviceBusy = 0x0000e007; // device file locked by another process past the timeout
inline constexpr uint32_t kDeviceFile =
    0x0000e008; // device file unusable: read-only, disk full, damaged, not ours

// Control calls that cannot reach the device (a file that is not a device
// file, locked past the timeout, read-only, full, damaged) throw this.
struct DeviceError : std::runtime_error {
    uint32_t code; // kDeviceBusy or kDeviceFile
    DeviceError(uint32_t c, const std::string &what) : std::runtime_error(what), code(c) {}
};

// Where the device lives: the variable that names it, and the name of a
// device in this process's memory.
inline constexpr const char *kDeviceVariable = "ENTMLST_DEVICE";
inline constexpr const char *kMemoryDevice = ":memory:";

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

// What the device received, from every process, oldest first: each service
// call (notifications and monitor lines are calls too), each fired fault,
// each broken rule and each problem of the device's storage. The device
// keeps the last kLogCapacity entries.
inline constexpr std::size_t kLogCapacity = 10000;
// The system keeps the first 15 bytes of a program's name.
inline constexpr std::size_t kProgramNameMax = 15;
struct LogEntry {
    uint64_t seq = 0;    // increasing, never reused
    int64_t time_us = 0; // microseconds since the epoch
    int32_t pid = 0;
    std::string program; // the calling process's name (its comm), "" when unknown
    LogKind kind = LogKind::call;
    Service service{};          // the service called, or that the entry is about
    std::vector<uint64_t> args; // integer arguments as passed, pointers as their address
    uint32_t result = 0;
    bool done = false; // the service did its work, whatever it answered
    std::string text;  // monitor line as received (any bytes), or what happened
    // What a call that did its work moved: the bytes a Get delivered or a
    // Set stored (a secret setting as kMaskedBytes), or a link call's
    // answer as 4 bytes big-endian; empty otherwise. Kept with the entry
    // for call traces, never shown by the log itself.
    Bytes data;
};
struct LogFilter {
    uint64_t after_seq = 0;         // only entries with a larger seq
    int64_t since_us = 0;           // only entries at or after this time
    std::optional<int32_t> pid;     // only this process's entries
    std::optional<Service> service; // only the service's calls and faults
    std::optional<LogKind> kind;
    std::size_t newest = 0;  // only the newest this many of those (0: all), oldest first
    std::string program{};   // only the entries of programs of this name (its first bytes); "": all
    uint64_t before_seq = 0; // only entries with a smaller seq (0: no bound), to page back
};

} // namespace devsim
