// simulated_device.cpp - a command's hold on libdevsim's device: the device
// is the one every program linked with libdevsim uses; faults given with
// --fail are this process's own; what the library's calls did comes from
// the device's log.
#include "device/device_control.h"

#include "base/errors.h"
#include "devsim.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace entmlst {
namespace {

// entmlst tells a storage problem itself, once, as its own line.
const bool kToolTellsStorageProblems = (devsim::tellStorageProblems(false), true);

// A session's calls all went through without a storage problem: a failure
// they answered is the device's own answer (every problem of the storage
// is kept for takeStorageProblem()).
bool g_session_clean = false;

std::string withoutNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

ArmedFault parseFault(const std::string &text, const std::string &what) {
    try {
        devsim::parseFaultSpec(text);
    } catch (const std::invalid_argument &e) {
        throw UsageError(what + " " + text + ": " + e.what());
    }
    return ArmedFault{text, what};
}

} // namespace

void openDevice(DeviceChoice &o, const DeviceOptions &given, unsigned needs) {
    for (const auto &text : given.fails) o.faults.push_back(parseFault(text, given.fails_option));
    // A name that cannot be meant is bad input, whoever gave it.
    const char *env = std::getenv(devsim::kDeviceVariable);
    try {
        if (!given.device.empty())
            devsim::checkDeviceName(given.device, "--device");
        else if (env)
            devsim::checkDeviceName(env, devsim::kDeviceVariable);
    } catch (const std::invalid_argument &e) {
        throw UsageError(e.what());
    }
    o.device = !given.device.empty() ? given.device : control([] { return devsim::configuredDevice(); });
    const bool memory = o.device == devsim::kMemoryDevice;
    struct stat st {};
    const bool missing = !memory && ::stat(o.device.c_str(), &st) != 0 && errno == ENOENT;
    if (missing && (needs & kInspects))
        throw DeviceFileError(o.device + ": no device file there (entmlst init creates one)");
    if (needs & kOpensItself) return;
    control([&] {
        if (o.device != devsim::devicePath()) devsim::openDevice(o.device);
        if (missing && devsim::deviceStatus().created_now)
            std::fprintf(stderr, "entmlst: created %s with factory settings\n", printable(o.device).c_str());
    });
    if (memory && (needs & kChangesState))
        std::fprintf(stderr, "entmlst: warning: the device is %s, nothing this command changes persists\n",
                     devsim::kMemoryDevice);
}

std::string storageFailure() {
    // Not a write to find out: one would wait for another process's lock.
    if (g_session_clean) return {};
    static const int64_t started_us = std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count();
    try {
        // A write: it logs what this process's failed calls left to log,
        // or fails itself while the storage still does.
        devsim::batch([] {});
        devsim::LogFilter mine;
        mine.since_us = started_us;
        mine.pid = static_cast<int32_t>(getpid());
        for (const devsim::LogEntry &e : devsim::log(mine))
            if (e.kind == devsim::LogKind::device &&
                (e.result == devsim::kDeviceFile || e.result == devsim::kDeviceBusy))
                return e.text;
        return {};
    } catch (const devsim::DeviceError &e) {
        return e.what();
    }
}

DeviceSession::DeviceSession(const std::string &) {}

DeviceSession::~DeviceSession() = default;

void DeviceSession::begin(const std::vector<ArmedFault> &faults) {
    g_session_clean = false;
    control([&] {
        mark_ = devsim::lastLogSeq();
        devsim::inspectedEntries();
        devsim::takeStorageProblem();
    });
    arm(faults);
}

void DeviceSession::arm(const std::vector<ArmedFault> &faults) {
    control([&] {
        for (const ArmedFault &f : faults) devsim::addFaultHere(devsim::parseFaultSpec(f.spec));
    });
    armed_.insert(armed_.end(), faults.begin(), faults.end());
}

News DeviceSession::finish() {
    // A fault that never fired tested nothing; the command's status stays.
    for (const devsim::FaultInfo &f : devsim::faultsHere()) {
        const std::string text = devsim::faultSpecText(f.spec);
        auto given = std::find_if(armed_.begin(), armed_.end(), [&](const ArmedFault &a) {
            return devsim::faultSpecText(devsim::parseFaultSpec(a.spec)) == text;
        });
        if (given == armed_.end()) continue;
        if (f.fired == 0)
            std::fprintf(stderr, "entmlst: %s %s never fired in this command\n", given->given.c_str(),
                         printable(given->spec).c_str());
        armed_.erase(given);
    }
    armed_.clear();
    devsim::clearFaultsHere();
    // A call the device's storage failed: the command's answer is that.
    if (auto problem = devsim::takeStorageProblem()) throw DeviceFileError(problem->what());
    g_session_clean = true;
    News news;
    devsim::LogFilter mine;
    mine.after_seq = mark_;
    mine.pid = static_cast<int32_t>(getpid());
    auto entries = control([&] { return devsim::log(mine); });
    for (devsim::LogEntry &e : devsim::inspectedEntries()) entries.push_back(std::move(e));
    for (const devsim::LogEntry &e : entries) {
        using devsim::LogKind;
        if (e.kind == LogKind::monitor) {
            news.diagnostics.push_back(withoutNewline(e.text));
        } else if (e.kind == LogKind::notification && e.done) {
            std::string call = devsim::serviceName(e.service);
            call += '(';
            for (std::size_t i = 0; i < e.args.size(); ++i) {
                if (i != 0) call += ',';
                call += std::to_string(e.args[i]);
            }
            call += ')';
            news.notifications.push_back(call);
        } else if (e.kind == LogKind::call && e.service == devsim::Service::meSTCSetStatus &&
                   e.args.size() == 4) {
            // (writer, area, settings ID, source)
            if (e.done) news.stored_settings.push_back(static_cast<uint32_t>(e.args[2]));
            if (e.result != 0) news.failed_setting = static_cast<uint32_t>(e.args[2]);
        } else if (e.kind == LogKind::call && e.service == devsim::Service::meSTCGetStatus &&
                   e.args.size() == 3 && e.result != 0) {
            // (area, settings ID, destination)
            news.failed_setting = static_cast<uint32_t>(e.args[1]);
        }
    }
    return news;
}

void DeviceSession::reading(const std::function<void()> &body) {
    control([&] { devsim::inspect(body); });
}

bool DeviceSession::jobMissing(uint32_t job) {
    return !control([&] { return devsim::jobExists(job); });
}

std::string deviceSchema(const std::string &device) {
    try {
        const std::string path = !device.empty() ? device : devsim::configuredDevice();
        struct stat st {};
        if (path == devsim::kMemoryDevice) return "none: the device is " + path;
        if (::stat(path.c_str(), &st) != 0) return "none yet: no device file at " + path;
        if (path != devsim::devicePath()) devsim::openDevice(path);
        return std::to_string(devsim::deviceStatus().schema_version) + " (" + path + ")";
    } catch (const devsim::DeviceError &e) {
        return std::string("unknown: ") + e.what();
    }
}

std::vector<std::string> deviceWords(DeviceWords which) {
    std::vector<std::string> out;
    switch (which) {
    case DeviceWords::services:
        for (std::size_t i = 0; i < devsim::kServiceCount; ++i)
            out.push_back(devsim::serviceName(static_cast<devsim::Service>(i)));
        break;
    case DeviceWords::log_kinds:
        for (std::size_t i = 0; i < devsim::kLogKindCount; ++i)
            out.push_back(devsim::logKindName(static_cast<devsim::LogKind>(i)));
        break;
    case DeviceWords::setting_names:
        for (const devsim::SettingInfo &s : devsim::catalogue())
            for (std::string &name : devsim::settingNames(s.id)) out.push_back(std::move(name));
        break;
    case DeviceWords::job_values:
        for (uint32_t id : devsim::valueIds())
            if (auto name = devsim::valueName(id)) out.push_back(*name);
        break;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace entmlst
