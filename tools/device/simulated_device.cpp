// simulated_device.cpp - a command's hold on libdevsim's device: the device
// is the one every program linked with libdevsim uses; faults given with
// --fail are this process's own; what the library's calls did comes from
// the device's log.
#include "device/device_control.h"
#include "device/device_session.h"

#include "cli/usage_error.h"
#include "devsim.h"
#include "document/record_fields.h"

#include <unistd.h>

namespace entmlst {
namespace {

// entmlst tells a storage problem itself, once, as its own line.
const bool kToolTellsStorageProblems = (devsim::tellStorageProblems(false), true);

std::string withoutNewline(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

} // namespace

void simulatorOnly(const std::string &) {}

std::string devicePath(const std::string &option) {
    if (!option.empty()) return option;
    return control([] { return devsim::configuredDevice(); });
}

ArmedFault parseFault(const std::string &text, const std::string &what) {
    auto [lhs, code] = splitAssignment(text);
    ArmedFault f;
    f.service = lhs;
    if (auto hash = lhs.find('#'); hash != std::string::npos) {
        f.service = lhs.substr(0, hash);
        f.nth = parseNumber(what + " call number", lhs.substr(hash + 1));
        f.nth_given = true;
        if (f.nth == 0) throw UsageError(what + " " + text + ": calls are counted from 1");
    }
    if (!devsim::serviceByName(f.service))
        throw UsageError(what + " " + text + ": unknown service \"" + f.service + "\"");
    f.code = parseNumber(what + " code", code);
    return f;
}

std::optional<uint32_t> jobValueWidth(uint32_t value_id) { return devsim::valueWidth(value_id); }

DeviceSession::DeviceSession(const std::string &path) {
    control([&] {
        if (path != devsim::devicePath()) devsim::openDevice(path);
        mark_ = devsim::lastLogSeq();
    });
}

DeviceSession::~DeviceSession() = default;

void DeviceSession::commit() {}

void DeviceSession::begin(const std::vector<ArmedFault> &faults) {
    control([&] {
        mark_ = devsim::lastLogSeq();
        devsim::inspectedEntries();
        devsim::takeStorageProblem();
        for (const ArmedFault &f : faults)
            devsim::failCallHere(*devsim::serviceByName(f.service), f.nth, f.code);
    });
}

News DeviceSession::finish() {
    devsim::clearFaultsHere();
    // A call the device's storage failed: the command's answer is that.
    if (auto problem = devsim::takeStorageProblem()) throw DeviceFileError(problem->what());
    News news;
    auto entries = control([&] { return devsim::log({mark_, 0, static_cast<int32_t>(getpid())}); });
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
        } else if (e.kind == LogKind::call && e.done && !e.args.empty() &&
                   (e.service == devsim::Service::meSTCSetStatus ||
                    e.service == devsim::Service::meSVCSetCurrent)) {
            news.stored_from.push_back(e.args.back());
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
void DeviceSession::createJob(uint32_t job) {
    control([&] { devsim::createJob(job); });
}
void DeviceSession::putJobValue(uint32_t job, uint32_t value_id, const std::vector<uint8_t> &bytes) {
    // A name the device keeps at its own width: the text and its NUL, if it has room.
    std::vector<uint8_t> value = bytes;
    if (devsim::widthPerValue(value_id)) {
        while (value.size() > 1 && value.back() == 0 && value[value.size() - 2] == 0) value.pop_back();
        if (value.size() == 1 && value[0] == 0) value.clear();
    }
    if (!control([&] { return devsim::putJobValue(job, value_id, value); }))
        throw UsageError(std::string("value ").append(std::to_string(value_id)) +
                         " does not fit the device's value");
}
void DeviceSession::setParent(uint32_t job, uint32_t parent) {
    control([&] { devsim::setParentLink(job, parent); });
}
void DeviceSession::addChild(uint32_t job, int32_t kind, uint32_t child) {
    control([&] { devsim::addChildLink(job, kind, child); });
}

} // namespace entmlst
