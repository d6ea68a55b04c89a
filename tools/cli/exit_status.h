// exit_status.h - what entmlst's exit status means, the same in every
// command; --help and the man page print this table.
#pragma once

#include <stdexcept>

namespace entmlst {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeviceFile = 3;
inline constexpr int kExitOutput = 4;

struct ExitStatus {
    int status;
    const char *meaning;
};
inline constexpr ExitStatus kExitStatuses[] = {
    {kExitOk, "the library answered ENTMLST_OK, or the command did all it was asked"},
    {kExitFailed, "the library answered another code, or the answer was no: diff found differences"},
    {kExitUsage, "bad input or usage; the device was left as it was"},
    {kExitDeviceFile, "the device file is unusable, or stayed locked past the busy timeout"},
    {kExitOutput, "the output could not be written"},
};

// Standard output or the -o file could not be written: exit 4.
struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace entmlst
