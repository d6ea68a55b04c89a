// device_target.cpp - the device build: the library talks to the device's
// own services, which keep their state themselves. There is no file to
// hold, nothing to arm and nothing of what the device received to read
// back; the simulator-only commands refuse.
#include "device/device_session.h"

#include "cli/usage_error.h"

namespace entmlst {

namespace {
[[noreturn]] void unavailable(const std::string &what) {
    throw UsageError(what + ": not available on the device build");
}
} // namespace

void simulatorOnly(const std::string &what) { unavailable(what); }

std::string devicePath(const std::string &option) {
    if (!option.empty()) unavailable("--device");
    return {};
}

ArmedFault parseFault(const std::string &, const std::string &what) { unavailable(what); }

std::optional<uint32_t> jobValueWidth(uint32_t) { unavailable("job values"); }

DeviceSession::DeviceSession(const std::string &) {}
DeviceSession::~DeviceSession() = default;

void DeviceSession::commit() {}
void DeviceSession::begin(const std::vector<ArmedFault> &) {}
News DeviceSession::finish() {
    News unseen;
    unseen.seen = false;
    return unseen;
}
void DeviceSession::reading(const std::function<void()> &body) { body(); }
bool DeviceSession::jobMissing(uint32_t) { return false; }

void DeviceSession::putJobValue(uint32_t, uint32_t, const std::vector<uint8_t> &) {
    unavailable("job create");
}
void DeviceSession::createJob(uint32_t) { unavailable("job create"); }
void DeviceSession::setParent(uint32_t, uint32_t) { unavailable("job create"); }
void DeviceSession::addChild(uint32_t, int32_t, uint32_t) { unavailable("job link"); }

} // namespace entmlst
