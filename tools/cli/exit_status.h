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

// A command that runs another program (run) exits with that program's
// status, 128+N when signal N ended it; its own failures take the statuses
// env(1) gives them, which programs rarely use.
inline constexpr int kExitRunFailed = 125;
inline constexpr int kExitCannotRun = 126;
inline constexpr int kExitNotFound = 127;
inline constexpr ExitStatus kRunExitStatuses[] = {
    {kExitRunFailed, "run itself failed: bad input, the device could not be made, or what it was to write "
                     "was lost; nothing was run, or the program's status is not shown"},
    {kExitCannotRun, "PROGRAM was found but could not be run"},
    {kExitNotFound, "PROGRAM was not found"},
};

// Standard output or the -o file could not be written: exit 4.
struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace entmlst
