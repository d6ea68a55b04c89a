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

// The options of the command line that choose the device and its faults.
struct DeviceOptions {
    std::string device;             // --device; empty when not given
    std::vector<std::string> fails; // --fail SPEC, each
};

// What the dispatcher does before a command that uses the device, with the
// command's needs (command_line.h): parses --fail into o.faults, finds the
// device (--device, else $ENTMLST_DEVICE, else the per-user default) and
// opens it, saying when that created it and when what the command changes
// cannot persist. Throws UsageError or DeviceFileError. On the device build
// there is nothing to find or open.
void openDevice(Options &o, const DeviceOptions &given, unsigned needs);

// Prints a command's report as text: one "key: value" a line, lists and
// records indented, the same in every command.
void printText(const Json &body);

// Prints a command's outcome (body, what the device received, result) as
// text or JSON on standard output and returns the exit status (exit_status.h);
// a failure also gets its line on standard error.
int report(const Options &o, Json body, const News &news, const std::string &code_text, uint32_t code);

} // namespace entmlst
