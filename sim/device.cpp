// device.cpp - the control API: set up the device, inject faults, observe.
#include "device.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace devsim {

namespace {

constexpr const char *kServiceNames[kServiceCount] = {
    "meSTCGetStatus",
    "meSTCSetStatus",
    "meSVCGetCurrent",
    "meSVCSetCurrent",
    "mectInitDefault",
    "mectSetDstProduct",
    "mectSetDstArea",
    "mectIdSync",
    "mectSVCGetParentLink",
    "mectSVCGetChildLink",
    "mectGetChildLinkNum",
    "mectGetChildLink",
    "mectSVCGetCurrent",
    "mscMLPRNChgSchedule",
    "mscMLRPTChgSMTPProtocol",
    "mscMLRPTChgEventReportTime",
    "mscMLRPTChgScheduleReportTime",
    "mscMLRPTChgMaintenanceReportTime",
    "emwOSWOrgAllocMemPart",
    "emwOSWOrgFreeMemPart",
    "emwGENMonSendMessage",
};
static_assert(static_cast<std::size_t>(Service::emwGENMonSendMessage) + 1 == kServiceCount);

std::size_t index(Service s) { return static_cast<std::size_t>(s); }

void loadDefaults(std::map<uint32_t, Bytes> &settings) {
    settings.clear();
    for (const SettingInfo &info : catalogue())
        settings[info.id] = info.default_value;
}

// Value padded with zeros to width; nullopt if it does not fit.
std::optional<Bytes> padded(const Bytes &value, uint32_t width) {
    if (value.size() > width)
        return std::nullopt;
    Bytes v = value;
    v.resize(width, 0);
    return v;
}

} // namespace

// ---- Device -----------------------------------------------------------------

Device &device() {
    // Never destroyed: the library may still call in from static destructors.
    static Device *d = [] {
        auto *dev = new Device;
        loadDefaults(dev->settings);
        return dev;
    }();
    return *d;
}

std::string hex(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%" PRIx64, v);
    return buf;
}

Armed Device::arm(Service s) {
    uint64_t n = ++seen[index(s)];
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->service == s && it->at == n) {
            Armed a{true, it->code, it->write_first};
            faults.erase(it);
            return a;
        }
    }
    return {};
}

uint32_t Device::violate(uint32_t code, const std::string &what) {
    violations.push_back(what);
    std::fprintf(stderr, "devsim: violation: %s\n", what.c_str());
    return code;
}

void Device::freeAllBlocks() {
    for (auto &[p, size] : blocks)
        std::free(p);
    blocks.clear();
    live_bytes = 0;
}

void Device::resetLocked() {
    loadDefaults(settings);
    jobs.clear();
    job_values.clear();
    parents.clear();
    children.clear();
    id = IdSetup{};
    id_sync_script.clear();
    faults.clear();
    seen.fill(0);
    log.clear();
    monitor.clear();
    events.clear();
    violations.clear();
    sleeps.clear();
    fake_sleep = false;
    freeAllBlocks();
    mem = MemStats{};
}

// ---- names ----------------------------------------------------------------------

const char *serviceName(Service s) {
    std::size_t i = index(s);
    return i < kServiceCount ? kServiceNames[i] : "?";
}

std::optional<Service> serviceByName(const std::string &name) {
    for (std::size_t i = 0; i < kServiceCount; ++i)
        if (name == kServiceNames[i])
            return static_cast<Service>(i);
    return std::nullopt;
}

// ---- lifecycle and settings ----------------------------------------------------------

void reset() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.resetLocked();
}

std::optional<Bytes> setting(uint32_t id) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    auto it = d.settings.find(id);
    if (it == d.settings.end())
        return std::nullopt;
    return it->second;
}

bool putSetting(uint32_t id, const Bytes &value) {
    auto size = settingSize(id);
    if (!size)
        return false;
    auto v = padded(value, *size);
    if (!v)
        return false;
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.settings[id] = std::move(*v);
    return true;
}

// ---- jobs and links ------------------------------------------------------------------

bool putJobValue(uint32_t job_id, uint32_t value_id, const Bytes &value) {
    auto width = valueWidth(value_id);
    if (!width)
        return false;
    auto v = padded(value, *width);
    if (!v)
        return false;
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.jobs.insert(job_id);
    d.job_values[{job_id, value_id}] = std::move(*v);
    return true;
}

std::optional<Bytes> jobValue(uint32_t job_id, uint32_t value_id) {
    auto width = valueWidth(value_id);
    Device &d = device();
    std::lock_guard lock(d.mu);
    if (!width || !d.jobs.count(job_id))
        return std::nullopt;
    auto it = d.job_values.find({job_id, value_id});
    return it != d.job_values.end() ? it->second : Bytes(*width, 0);
}

void createJob(uint32_t job_id) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.jobs.insert(job_id);
}

bool jobExists(uint32_t job_id) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return d.jobs.count(job_id) != 0;
}

void removeJob(uint32_t job_id) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.jobs.erase(job_id);
    std::erase_if(d.job_values, [&](const auto &kv) { return kv.first.first == job_id; });
    std::erase_if(d.parents, [&](const auto &kv) { return kv.first == job_id || kv.second == job_id; });
    std::erase_if(d.children, [&](const auto &c) {
        return std::get<0>(c) == job_id || std::get<2>(c) == job_id;
    });
}

void setParentLink(uint32_t job_id, uint32_t parent_job_id) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.jobs.insert(job_id);
    d.jobs.insert(parent_job_id);
    d.parents[job_id] = parent_job_id;
}

void addChildLink(uint32_t job_id, int32_t link_kind, uint32_t link_id) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.jobs.insert(job_id);
    d.jobs.insert(link_id);
    d.children.emplace_back(job_id, link_kind, link_id);
}

// ---- faults and ID service ---------------------------------------------------------------

void failCall(Service s, unsigned nth, uint32_t code, bool write_first) {
    if (nth == 0 || index(s) >= kServiceCount)
        return;
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.faults.push_back({s, d.seen[index(s)] + nth, code, write_first});
}

void scriptIdSync(const std::vector<uint32_t> &answers) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.id_sync_script.assign(answers.begin(), answers.end());
}

void clearFaults() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.faults.clear();
    d.id_sync_script.clear();
}

IdSetup idSetup() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return d.id;
}

// ---- observation -------------------------------------------------------------------------

std::vector<Call> calls() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return d.log;
}

std::vector<Call> calls(Service s) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    std::vector<Call> out;
    std::copy_if(d.log.begin(), d.log.end(), std::back_inserter(out),
                 [&](const Call &c) { return c.service == s; });
    return out;
}

std::size_t callCount(Service s) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return static_cast<std::size_t>(
        std::count_if(d.log.begin(), d.log.end(), [&](const Call &c) { return c.service == s; }));
}

void clearCalls() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.log.clear();
}

std::vector<MonitorLine> monitor() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return d.monitor;
}

std::vector<uint32_t> sleeps() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return d.sleeps;
}

MemStats memStats() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    MemStats m = d.mem;
    m.live = d.blocks.size();
    return m;
}

std::vector<std::string> violations() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return d.violations;
}

void fakeSleep(bool enabled) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.fake_sleep = enabled;
}

// ---- persistence ---------------------------------------------------------------------------

State exportState() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    State s;
    s.settings = d.settings;
    s.job_values = d.job_values;
    s.jobs.assign(d.jobs.begin(), d.jobs.end());
    s.parents = d.parents;
    s.children = d.children;
    s.events = d.events;
    return s;
}

void importState(const State &s) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    loadDefaults(d.settings);
    for (const auto &[id, value] : s.settings) {
        auto size = settingSize(id);
        auto v = size ? padded(value, *size) : std::nullopt;
        if (!v) {
            d.violate(kUnknownSetting, "importState: settings ID " + hex(id) +
                                           (size ? " has a value longer than its size" : " is unknown"));
            continue;
        }
        d.settings[id] = std::move(*v);
    }
    d.jobs = std::set<uint32_t>(s.jobs.begin(), s.jobs.end());
    d.job_values.clear();
    for (const auto &[key, value] : s.job_values) {
        auto width = valueWidth(key.second);
        auto v = width ? padded(value, *width) : std::nullopt;
        if (!v) {
            d.violate(kUnknownValue, "importState: value ID " + hex(key.second) + " of job " +
                                         hex(key.first) + (width ? " is too long" : " is unknown"));
            continue;
        }
        d.jobs.insert(key.first);
        d.job_values[key] = std::move(*v);
    }
    d.parents = s.parents;
    for (const auto &[job, parent] : s.parents) {
        d.jobs.insert(job);
        d.jobs.insert(parent);
    }
    d.children = s.children;
    for (const auto &[job, kind, link] : s.children) {
        d.jobs.insert(job);
        d.jobs.insert(link);
    }
    d.events = s.events;
}

} // namespace devsim
