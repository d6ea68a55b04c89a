// global_options.h - the options every command takes, before the command
// or after it: each declared once here. The command line, the scan for the
// command's words, the device build's refusals and the help all read them.
#pragma once

#include "device/device_session.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace entmlst {

struct GlobalOption {
    const char *name;
    const char *value_name; // nullptr: a flag, which takes no value
    bool simulated_only;    // the device build refuses it
    const char *help;
};

inline constexpr GlobalOption kDeviceOption{
    "--device", "FILE", true,
    "simulated device file, or :memory: (default: $ENTMLST_DEVICE, else "
    "$XDG_DATA_HOME/entmlst/device.db or ~/.local/share/entmlst/device.db)"};
inline constexpr GlobalOption kJsonOption{"--json", nullptr, false, "print JSON"};
inline constexpr GlobalOption kFailOption{
    "--fail", "SPEC", true,
    "the Nth matching call (default 1) of SERVICE this command makes answers CODE; SPEC as fault add takes "
    "it (simulated device)"};
// In the order the help lists them.
inline constexpr const GlobalOption *kGlobalOptions[] = {&kDeviceOption, &kJsonOption, &kFailOption};

// What the global options were given.
struct Globals {
    DeviceOptions device{{}, {}, kFailOption.name};
    bool json = false;
};

void addGlobals(CLI::App &app, Globals &g);
// Whether the option was given on the line app parsed.
bool given(const CLI::App &app, const GlobalOption &option);

// The global options' words at the start of words: how many there are; a
// value given as the next word counts with its option.
std::size_t leadingGlobals(const std::vector<std::string> &words);
// The value the option has among the first n words, or empty.
std::string leadingValue(const std::vector<std::string> &words, std::size_t n, const GlobalOption &option);
// Whether a global option whose value follows as the next word is word.
bool takesNextWord(const std::string &word);

// "Global options:" and each with its help, for every command's help.
std::string globalOptionsText(const CLI::App &app);

} // namespace entmlst
