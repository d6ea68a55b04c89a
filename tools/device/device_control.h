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

// A log entry as entmlst --json log prints it.
Json logEntryJson(const devsim::LogEntry &e);

} // namespace entmlst
