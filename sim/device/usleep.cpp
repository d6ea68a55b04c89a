// usleep.cpp - the simulator's usleep.
//
// libdevsim.so exports usleep so that, in a program linked against it ahead
// of libc, the library's waits come here: the simulator sees every wait and
// can skip it. It must not call usleep itself.
#include "device/device.h"

#include <cerrno>
#include <ctime>

using namespace devsim;

namespace {
int realSleep(unsigned int usec) {
    timespec left{static_cast<time_t>(usec / 1000000), static_cast<long>(usec % 1000000) * 1000};
    while (nanosleep(&left, &left) != 0) {
        if (errno != EINTR) return -1;
    }
    return 0;
}
} // namespace

#pragma GCC visibility push(default)

// Declared here rather than through <unistd.h>: compilers disagree on
// whether a definition may differ from libc's declaration in its noexcept.
// useconds_t is an unsigned 32-bit value on every Linux target.
extern "C" int usleep(unsigned int usec) {
    bool fake = false;
    // The device's own storage waiting for a lock (SQLite sleeps through
    // usleep) holds the device lock: its waits are real and not the caller's.
    if (insideDevice()) return realSleep(usec);
    try {
        Device &d = device();
        std::lock_guard lock(d.mu);
        fake = d.sleep(static_cast<uint32_t>(usec));
    } catch (...) {
        // Keep the wait even if it could not be recorded.
    }
    if (fake) return 0;
    return realSleep(usec);
}

#pragma GCC visibility pop
