// device_session.h - what a command holds of the device around its library
// calls. Two builds: the simulated device (simulated_device.cpp: libdevsim's
// device, shared through its file, with faults, jobs and the log) and the
// device build (device_target.cpp: the device's own services, nothing to
// hold or see). Either way the commands reach settings and jobs only
// through the library; the simulated build sees the rest only through
// libdevsim's control API.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace entmlst {

// The device file is missing, unreadable, damaged or not ours.
struct DeviceFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
inline constexpr int kExitDeviceFile = 3;

// Throws a UsageError "WHAT: not available on the device build" there;
// nothing on the simulated device.
void simulatorOnly(const std::string &what);

// --device, else $ENTMLST_DEVICE, else the per-user default: the same
// device as any program linked with libdevsim (whose directories are
// created on first use). Empty on the device build.
std::string devicePath(const std::string &option);

// --fail SERVICE[#N]=CODE: the Nth call of SERVICE answers CODE.
struct ArmedFault {
    std::string service;
    unsigned nth = 1;
    bool nth_given = false;
    uint32_t code = 0;
};
// what names the option in messages ("--fail", "fault add").
ArmedFault parseFault(const std::string &text, const std::string &what = "--fail"); // throws UsageError

// Width of a job value the device knows; nullopt for unknown value IDs.
std::optional<uint32_t> jobValueWidth(uint32_t value_id);

// What the device received during a command; not seen (and not reported)
// on the device build.
struct News {
    bool seen = true;
    std::vector<std::string> diagnostics;   // monitor lines
    std::vector<std::string> notifications; // e.g. "mscMLRPTChgSMTPProtocol(1)"
    // Source addresses of the values the device stored (settings and job
    // values), in call order: which of the caller's fields were written.
    std::vector<uint64_t> stored_from;
};

// One command's hold on the device. Simulated: the device is opened on
// construction; every service call the library makes is a transaction of
// its own, durable when it returns, so there is nothing to write back and
// commit() does nothing. What the command's calls did is read from the
// device's log: this process's entries since begin().
class DeviceSession {
public:
    explicit DeviceSession(const std::string &path);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    void commit();

    // Arms the faults for the library calls that follow and starts
    // collecting news; finish() disarms what is left and returns the news.
    void begin(const std::vector<ArmedFault> &faults);
    News finish();

    // Runs body, which only reads the device: on the simulated device a
    // look from outside, as a debugger reads memory (one state of the
    // device, its calls neither logged nor answered by the device's armed
    // faults, --fail still firing). Never around writes.
    void reading(const std::function<void()> &body);

    // True when the simulated device has no such job; the device build
    // cannot tell and leaves it to the library's answer.
    bool jobMissing(uint32_t job);

    // Simulated jobs and links.
    void putJobValue(uint32_t job, uint32_t value_id, const std::vector<uint8_t> &bytes);
    void createJob(uint32_t job);
    void setParent(uint32_t job, uint32_t parent);
    void addChild(uint32_t job, int32_t kind, uint32_t child);

private:
    uint64_t mark_ = 0; // newest log entry before begin()
};

} // namespace entmlst
