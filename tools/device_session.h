// device_session.h - what a command holds of the device around its library
// calls. Two builds: the simulated device (device_file.cpp: the simulator's
// state kept in an SQLite file, faults, jobs, the log) and the device build
// (device_target.cpp: the device's own services, nothing to hold or see).
// Either way the commands reach settings and jobs only through the library.
#pragma once

#include <cstdint>
#include <memory>
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

// --device, else $ENTMLST_DEVICE, else the per-user default (whose
// directories are created on first use). Empty on the device build.
std::string devicePath(const std::string &option);

// --fail SERVICE[#N]=CODE: the Nth call of SERVICE answers CODE.
struct ArmedFault {
    std::string service;
    unsigned nth = 1;
    uint32_t code = 0;
};
ArmedFault parseFault(const std::string &text); // throws UsageError

// Width of a job value the device knows; nullopt for unknown value IDs.
std::optional<uint32_t> jobValueWidth(uint32_t value_id);

// What the device received during a command; not seen (and not reported)
// on the device build.
struct News {
    bool seen = true;
    std::vector<std::string> diagnostics;   // monitor lines
    std::vector<std::string> notifications; // e.g. "mscMLRPTChgSMTPProtocol(1)"
};

// One command's hold on the device. Simulated: the file is opened and
// locked (BEGIN IMMEDIATE) on construction and its state loaded into the
// simulator; commit() writes back what changed, and destroyed without
// commit() nothing is written.
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

    // True when the simulated device has no such job; the device build
    // cannot tell and leaves it to the library's answer.
    bool jobMissing(uint32_t job);

    // Simulated jobs and links.
    void putJobValue(uint32_t job, uint32_t value_id, const std::vector<uint8_t> &bytes);
    void createJob(uint32_t job);
    void setParent(uint32_t job, uint32_t parent);
    void addChild(uint32_t job, int32_t kind, uint32_t child);

    // Everything the device received, oldest first (from the file).
    std::vector<std::string> log();

private:
    struct File;
    std::unique_ptr<File> file_; // null on the device build
};

} // namespace entmlst
