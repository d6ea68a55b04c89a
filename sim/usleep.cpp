// usleep.cpp - the simulator's usleep.
//
// libdevsim.so exports usleep so that, in a program linked against it ahead
// of libc, the library's waits come here: the simulator sees every wait and
// can skip it. It must not call usleep itself.
#include "device.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

using namespace devsim;

#pragma GCC visibility push(default)

extern "C" int usleep(useconds_t usec) noexcept {
    bool fake = false;
    try {
        Device &d = device();
        std::lock_guard lock(d.mu);
        d.sleeps.push_back(static_cast<uint32_t>(usec));
        fake = d.fake_sleep;
    } catch (...) {
        // Keep the wait even if it could not be recorded.
    }
    if (fake)
        return 0;
    timespec left{static_cast<time_t>(usec / 1000000), static_cast<long>(usec % 1000000) * 1000};
    while (nanosleep(&left, &left) != 0) {
        if (errno != EINTR)
            return -1;
    }
    return 0;
}

#pragma GCC visibility pop
