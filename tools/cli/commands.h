// commands.h - what every entmlst command shares. Each command validates its
// input first, then holds the device for one transaction and makes its
// library calls; command_line.h says how a command file adds its subcommands.
#pragma once

#include "device/device_session.h"
#include "document/record_fields.h"

#include <cstdint>
#include <string>
#include <vector>

namespace entmlst {

struct Options {
    std::string device; // resolved path; empty on the device build
    bool json = false;
    std::vector<ArmedFault> faults;
};

// Prints a command's outcome (body, what the device received, result) as
// text or JSON and returns the exit status: 0 only for ENTMLST_OK.
int report(const Options &o, Json body, const News &news, const std::string &code_text, uint32_t code);

} // namespace entmlst
