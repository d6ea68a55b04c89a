// usage_error.h - bad input from the user: reported as one line, exit 2,
// nothing written to the device.
#pragma once

#include "cli/exit_status.h"

#include <stdexcept>
#include <string>

namespace entmlst {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace entmlst
