// device_control.h - calls of libdevsim's control API from the simulated
// build's commands: the device's own failures (locked, read-only, full or
// damaged file) become DeviceFileError, exit 3.
#pragma once

#include "base/json.h"
#include "device/device_session.h"
#include "devsim.h"

namespace entmlst {

template <typename Call>
auto control(Call call) {
    try {
        return call();
    } catch (const devsim::DeviceError &e) {
        throw DeviceFileError(e.what());
    }
}

// Log entries as entmlst --json log prints them: a JSON array, indented by 2.
std::string logEntriesJson(const std::vector<devsim::LogEntry> &entries);

// A fault's text read as fault add reads it; throws UsageError.
devsim::FaultSpec faultSpec(const std::string &text);
// One fault as entmlst --json fault list prints it.
Json faultJson(const devsim::FaultInfo &f);
// The device's status as entmlst --json status prints it.
Json statusJson();

} // namespace entmlst
