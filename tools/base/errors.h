// errors.h - what entmlst's exit status means, the same in every command,
// and the failures that carry it: a command throws, the dispatcher prints
// the one line on standard error and exits with the failure's status.
#pragma once

#include <stdexcept>
#include <string>

namespace entmlst {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeviceFile = 3;
inline constexpr int kExitOutput = 4;

// A message as one line for a terminal: a control character a name or
// other user text brought (a newline in a file name) becomes \xHH, as the
// device's log shows it.
inline std::string printable(const std::string &text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f)
            out.append("\\x").append(1, kDigits[b >> 4]).append(1, kDigits[b & 0xf]);
        else
            out += c;
    }
    return out;
}

struct ExitStatus {
    int status;
    const char *meaning;
};
inline constexpr ExitStatus kExitStatuses[] = {
    {kExitOk,
     "the library answered ENTMLST_OK, or the command did all it was asked (serve: stopped by Ctrl-C or "
     "SIGTERM)"},
    {kExitFailed, "the library answered another code, or the answer was no: diff found differences"},
    {kExitUsage,
     "bad input or usage, or serve cannot listen (a port in use, a bad --bind, no libmicrohttpd); the "
     "device was left as it was"},
    {kExitDeviceFile,
     "the device file is unusable (serve: at its start), or stayed locked past the busy timeout"},
    {kExitOutput, "the output could not be written"},
};

// A command that runs another program (run) exits with that program's
// status, 128+N when signal N ended it; its own failures take the statuses
// env(1) gives them, which programs rarely use.
inline constexpr int kExitRunFailed = 125;
inline constexpr int kExitCannotRun = 126;
inline constexpr int kExitNotFound = 127;
inline constexpr ExitStatus kRunExitStatuses[] = {
    {kExitFailed,
     "the program exited 0, but a check failed: a --fault never fired (with --require-fired), or "
     "its calls differ from the --expect-trace file"},
    {kExitRunFailed,
     "run itself failed: bad input (an --expect-trace file that cannot be read or holds no "
     "trace), the device could not be made, or what it was to write was lost; nothing was run, "
     "or the program's status is not shown"},
    {kExitCannotRun, "PROGRAM was found but could not be run"},
    {kExitNotFound, "PROGRAM was not found"},
};

// A failure of the command itself, with the exit status it ends in.
class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string &what) : std::runtime_error(what), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

template <int Status>
struct FailureOf : Failure {
    explicit FailureOf(const std::string &what) : Failure(Status, what) {}
};

// Bad input from the user: nothing was written to the device.
using UsageError = FailureOf<kExitUsage>;
// The device file is missing, unreadable, damaged, locked or not ours,
// whichever call meets it first.
using DeviceFileError = FailureOf<kExitDeviceFile>;
// Standard output or the -o file could not be written.
using OutputError = FailureOf<kExitOutput>;

} // namespace entmlst
