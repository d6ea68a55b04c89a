// device_target.cpp - the device build: the library talks to the device's
// own services, which keep their state themselves. There is no file to
// open, nothing to arm and nothing of what the device received to read
// back; the dispatcher refuses the simulated device's commands and options.
#include "device/device_session.h"

namespace entmlst {

void openDevice(DeviceChoice &, const DeviceOptions &, unsigned) {}

std::string storageFailure() { return {}; }
std::vector<std::string> deviceWords(DeviceWords) { return {}; }

DeviceSession::DeviceSession(const std::string &) {}
DeviceSession::~DeviceSession() = default;

void DeviceSession::begin(const std::vector<ArmedFault> &) {}
void DeviceSession::arm(const std::vector<ArmedFault> &) {}
News DeviceSession::finish() {
    News unseen;
    unseen.seen = false;
    return unseen;
}
void DeviceSession::reading(const std::function<void()> &body) { body(); }
bool DeviceSession::jobMissing(uint32_t) { return false; }

std::string deviceSchema(const std::string &) { return "none: the device keeps its own store"; }

} // namespace entmlst
