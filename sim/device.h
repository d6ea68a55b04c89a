// device.h - the simulated device's state, shared by the control API
// (device.cpp) and the C services (services.cpp). Internal to libdevsim.
#pragma once

#include "devsim.h"

#include <array>
#include <cstdarg>
#include <deque>
#include <mutex>
#include <set>

namespace devsim {

// A fault armed for one service call.
struct Fault {
    Service service;
    uint64_t at; // value of the service's call counter that triggers it
    uint32_t code;
    bool write_first;
};

// What an incoming call must do about an armed fault.
struct Armed {
    bool on = false;
    uint32_t code = 0;
    bool write_first = false;
    // The call fails without doing its work.
    bool skip() const { return on && !write_first; }
    // Answer once the work (if any) is done.
    uint32_t answer() const { return on ? code : 0; }
};

struct Device {
    std::mutex mu;

    std::map<uint32_t, Bytes> settings;
    std::set<uint32_t> jobs;
    std::map<std::pair<uint32_t, uint32_t>, Bytes> job_values;
    std::map<uint32_t, uint32_t> parents;
    std::vector<std::tuple<uint32_t, int32_t, uint32_t>> children;

    IdSetup id;
    std::deque<uint32_t> id_sync_script;

    std::vector<Fault> faults;
    // Calls per service since reset(); clearCalls() keeps them so that
    // armed faults still count from the moment they were armed.
    std::array<uint64_t, kServiceCount> seen{};

    std::vector<Call> log;
    std::vector<MonitorLine> monitor;
    std::vector<std::string> events;
    std::vector<std::string> violations;
    std::vector<uint32_t> sleeps;
    bool fake_sleep = false;

    std::map<void *, std::size_t> blocks; // live blocks of partition 0
    std::size_t live_bytes = 0;
    MemStats mem;

    // Counts the call and takes the fault armed for it, if any.
    Armed arm(Service s);
    // Records a broken rule (also on stderr) and returns code.
    uint32_t violate(uint32_t code, const std::string &what);
    void resetLocked();
    void freeAllBlocks();
};

Device &device();

std::string hex(uint64_t v);

// Formats a monitor line the way the device's monitor does. Supported:
// %s %x %X %u %d, the same with l, and %%; every number is read as a 32-bit
// unsigned int. On an unsupported conversion it stops reading values,
// copies the rest of the format as it is and sets error.
std::string formatMonitorLine(const char *format, va_list ap, std::string &error);

} // namespace devsim
