// commands.h - what every entmlst command shares. Each command validates its
// input first, then holds the device for one transaction and makes its
// library calls; command_line.h says how a command file adds its subcommands.
#pragma once

#include "base/json.h"
#include "device/device_session.h"

#include <cstdint>
#include <string>
#include <vector>

namespace entmlst {

// What every command is given: the device it works on, and how to print.
struct Options : DeviceChoice {
    bool json = false;
};

// Prints a command's report as text: one "key: value" a line, lists and
// records indented, the same in every command.
void printText(const Json &body);

// Prints a command's outcome (body, what the device received, result) as
// text or JSON on standard output and returns the exit status (base/errors.h);
// a failure also gets its line on standard error.
int report(const Options &o, Json body, const News &news, const std::string &code_text, uint32_t code);

} // namespace entmlst
