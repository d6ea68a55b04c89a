// device_session.h - what a command holds of the device around its library
// calls. Two builds: the simulated device (simulated_device.cpp: libdevsim's
// device, shared through its file, with faults, jobs and the log) and the
// device build (device_target.cpp: the device's own services, nothing to
// hold or see). Either way the commands reach settings and jobs only
// through the library; the simulated build sees the rest only through
// libdevsim's control API.
#pragma once

#include "base/errors.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace entmlst {

// --fail SPEC, as fault add takes it: the Nth matching call of SERVICE this
// command makes answers CODE.
struct ArmedFault {
    std::string spec;  // checked when the device is opened
    std::string given; // the option that gave it, for messages
};

// What a command does with the device, as flags of the command table; the
// device is opened to suit them.
// Reads through the library: a missing device file is created, and said.
inline constexpr unsigned kUsesDevice = 1u << 2;
// Writes the device (and creates it): on :memory: nothing persists, said.
inline constexpr unsigned kChangesState = 1u << 3;
// Only looks at the device: a missing device file is refused, never created.
inline constexpr unsigned kInspects = 1u << 4;
// Opens the device file itself (a follower waits through its lock).
inline constexpr unsigned kOpensItself = 1u << 5;

// The device the command line chose, and the faults it arms for the
// command's own calls.
struct DeviceOptions {
    std::string device;             // empty when not given
    std::vector<std::string> fails; // each SPEC, as fault add takes it
    std::string fails_option;       // what names them in messages
};

// The device a command works on: the resolved path (empty on the device
// build) and the faults, checked.
struct DeviceChoice {
    std::string device;
    std::vector<ArmedFault> faults;
};

// Parses the faults into chosen.faults, finds the device (given, else
// $ENTMLST_DEVICE, else the per-user default) and opens it as use asks,
// saying when that created it and when what the command changes cannot
// persist. Throws UsageError or DeviceFileError. On the device build there
// is nothing to find or open.
void openDevice(DeviceChoice &chosen, const DeviceOptions &given, unsigned use);

// The schema of the device's file (device: as given, else the configured
// one): its number, or why there is none.
std::string deviceSchema(const std::string &device);

// Names the simulated device knows, offered by the shell completion; none
// on the device build, whose commands take none of them.
enum class DeviceWords { services, log_kinds, setting_names, job_values };
std::vector<std::string> deviceWords(DeviceWords which);

// What the device received during a command; not seen (and not reported)
// on the device build.
struct News {
    bool seen = true;
    std::vector<std::string> diagnostics;   // monitor lines
    std::vector<std::string> notifications; // e.g. "mscMLRPTChgSMTPProtocol(1)"
    // Settings IDs the device stored, in call order, and the one whose read
    // or store failed (0: none): which fields a Set wrote, and where it stopped.
    std::vector<uint32_t> stored_settings;
    uint32_t failed_setting = 0;
};

// After the library answered other than ENTMLST_OK: why, when the reason
// was the simulated device's storage (its file unusable, full, read-only or
// locked past the timeout), whichever call met it; else empty. The device
// build has no such storage.
std::string storageFailure();

// One command's hold on the device, opened by openDevice(). Every service
// call the library makes is a transaction of its own, durable when it
// returns: there is nothing to write back. What the command's calls did is
// read from the simulated device's log: this process's entries since
// begin().
class DeviceSession {
public:
    explicit DeviceSession(const std::string &path);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // Arms the faults for the library calls that follow and starts
    // collecting news; finish() disarms what is left, says on stderr which
    // never fired, and returns the news.
    void begin(const std::vector<ArmedFault> &faults);
    // Arms faults for the calls from here on: after a read from outside,
    // so that --fail counts only the calls the command's library work makes.
    void arm(const std::vector<ArmedFault> &faults);
    News finish();

    // Runs body, which only reads the device: on the simulated device a
    // look from outside, as a debugger reads memory (one state of the
    // device, its calls neither logged nor answered by the device's armed
    // faults, --fail still firing). Never around writes.
    void reading(const std::function<void()> &body);

    // True when the simulated device has no such job; the device build
    // cannot tell and leaves it to the library's answer.
    bool jobMissing(uint32_t job);

private:
    uint64_t mark_ = 0;             // newest log entry before begin()
    std::vector<ArmedFault> armed_; // for the report of those that never fired
};

} // namespace entmlst
