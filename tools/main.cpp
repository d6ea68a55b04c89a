// entmlst - reads and writes the device's mail settings and job values
// through libcorvellib: on the device itself, or on a PC against a
// simulated device kept in a file.
//
// Every failure becomes its exit status and one line on standard error.
#include "base/errors.h"
#include "cli/dispatch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace entmlst;

namespace {

// Everything the program prints goes through stdio: flushed and checked
// once at the end, so that lost output never exits 0.
int flushed(int status) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return status;
    // A write that failed earlier left only the stream's error flag.
    std::fprintf(stderr, "entmlst: cannot write standard output%s%s\n", flushed ? "" : ": ",
                 flushed ? "" : std::strerror(errno));
    return kExitOutput;
}

} // namespace

int main(int argc, char **argv) {
    int status = kExitFailed;
    bool runs_program = false;
    // The statuses below 125 are the program's when a command runs one.
    auto failed = [&](const std::exception &e, int own) {
        std::fprintf(stderr, "entmlst: %s\n", printable(e.what()).c_str());
        return runs_program ? kExitRunFailed : own;
    };
    try {
        status = dispatch(argc, argv, runs_program);
    } catch (const Failure &e) {
        status = failed(e, e.status());
    } catch (const std::exception &e) {
        status = failed(e, kExitFailed);
    }
    return flushed(status);
}
