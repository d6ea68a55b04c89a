// Linked into every test program: the suites use a private device in memory
// and never the user's device file, whatever ENTMLST_DEVICE says. A test
// that needs a file names its own with devsim::openDevice().
#include "devsim.h"

#include <cstdlib>

namespace {
const bool g_private = [] { return setenv(devsim::kDeviceVariable, devsim::kMemoryDevice, 1) == 0; }();
} // namespace
