// control.cpp - the control API: choose the device, set it up, inject
// faults, observe. Each call that touches the shared device is one
// transaction of its own.
#include "devsim.h"

#include "device/device.h"

#include <algorithm>
#include <cstdlib>
#include <random>

namespace devsim {
namespace {

std::size_t index(Service s) { return static_cast<std::size_t>(s); }

// Value padded with zeros to width; nullopt if it does not fit.
std::optional<Bytes> padded(const Bytes &value, uint32_t width) {
    if (value.size() > width) return std::nullopt;
    Bytes v = value;
    v.resize(width, 0);
    return v;
}

// A job value as the device keeps it: per-value widths as given.
std::optional<Bytes> shaped(uint32_t value_id, const Bytes &value) {
    auto width = valueWidth(value_id);
    if (!width || value.size() > *width) return std::nullopt;
    return widthPerValue(value_id) ? value : padded(value, *width);
}

// Runs body with this process's device under its lock.
template <typename Body>
auto locked(Body body) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    return body(d);
}

// Runs body on the shared device under the lock; a storage failure
// reaches the caller as DeviceError.
template <typename Body>
auto onDevice(Body body, Device::Access access = Device::Access::write) {
    Device &d = device();
    std::lock_guard lock(d.mu);
    using R = decltype(body(std::declval<DeviceState &>()));
    if constexpr (std::is_void_v<R>) {
        d.transact(Service{}, body, access);
    } else {
        R out{};
        d.transact(
            Service{}, [&](DeviceState &st) { out = body(st); }, access);
        return out;
    }
}

// The same for a body that only reads: it never waits for a writer.
template <typename Body>
auto readDevice(Body body) {
    return onDevice(body, Device::Access::read);
}

} // namespace

// ---- where the device lives --------------------------------------------------------

void openDevice(const std::string &where) {
    locked([&](Device &d) { d.use(where); });
}

std::string devicePath() {
    return locked([&](Device &d) { return d.path(); });
}

void setBusyTimeout(unsigned milliseconds) {
    locked([&](Device &d) { d.setBusyTimeout(milliseconds); });
}

// ---- lifecycle and settings ----------------------------------------------------------

void reset() {
    locked([](Device &d) { d.resetProcess(); });
    onDevice([&](DeviceState &st) { st.factoryReset(false); });
}

void batch(const std::function<void()> &body) {
    locked([&](Device &d) { d.batch(body); });
}

void tellStorageProblems(bool on) {
    locked([&](Device &d) { d.tellProblems(on); });
}

std::optional<DeviceError> takeStorageProblem() {
    return locked([&](Device &d) { return d.takeProblem(); });
}

DeviceStatus deviceStatus() {
    DeviceStatus s = readDevice([&](DeviceState &st) {
        DeviceStatus out = st.status();
        auto entries = st.log(LogFilter{});
        out.log_entries = entries.size();
        if (!entries.empty()) out.last_writer_pid = entries.back().pid;
        return out;
    });
    s.path = devicePath();
    return s;
}

void inspect(const std::function<void()> &body) {
    locked([&](Device &d) { d.inspect(body); });
}

std::vector<LogEntry> inspectedEntries() {
    return locked([&](Device &d) { return d.takeInspected(); });
}

void factoryReset(bool keep_jobs) {
    onDevice([&](DeviceState &st) {
        st.factoryReset(keep_jobs);
        // The log's first entry says where it starts.
        LogEntry e = device().entry(LogKind::device, Service{});
        e.text = keep_jobs ? "reset, keeping jobs" : "reset";
        st.append(e);
    });
}

std::optional<Bytes> setting(uint32_t id) {
    return readDevice([&](DeviceState &st) { return st.setting(id); });
}

bool putSetting(uint32_t id, const Bytes &value) {
    auto size = settingSize(id);
    auto v = size ? padded(value, *size) : std::nullopt;
    if (!v) return false;
    onDevice([&](DeviceState &st) { st.putSetting(id, *v); });
    return true;
}

// ---- jobs and links ------------------------------------------------------------------

bool putJobValue(uint32_t job_id, uint32_t value_id, const Bytes &value) {
    auto v = shaped(value_id, value);
    if (!v) return false;
    onDevice([&](DeviceState &st) {
        st.createJob(job_id);
        st.putJobValue(job_id, value_id, *v);
    });
    return true;
}

std::optional<Bytes> jobValue(uint32_t job_id, uint32_t value_id) {
    auto width = valueWidth(value_id);
    if (!width) return std::nullopt;
    return readDevice([&](DeviceState &st) -> std::optional<Bytes> {
        if (!st.jobExists(job_id)) return std::nullopt;
        auto v = st.jobValue(job_id, value_id);
        return v ? *v : (widthPerValue(value_id) ? Bytes() : Bytes(*width, 0));
    });
}

void createJob(uint32_t job_id) {
    onDevice([&](DeviceState &st) { st.createJob(job_id); });
}

bool jobExists(uint32_t job_id) {
    return readDevice([&](DeviceState &st) { return st.jobExists(job_id); });
}

void removeJob(uint32_t job_id) {
    onDevice([&](DeviceState &st) { st.removeJob(job_id); });
}

void setParentLink(uint32_t job_id, uint32_t parent_job_id) {
    onDevice([&](DeviceState &st) {
        st.createJob(job_id);
        st.createJob(parent_job_id);
        st.setParent(job_id, parent_job_id);
    });
}

void addChildLink(uint32_t job_id, int32_t link_kind, uint32_t link_id) {
    onDevice([&](DeviceState &st) {
        st.createJob(job_id);
        st.createJob(link_id);
        st.addChild(job_id, link_kind, link_id);
    });
}

// ---- faults and ID service ---------------------------------------------------------------

namespace {

// A fault as armed: checked by reading its own text back (one set of
// rules for a fault given as text or built in code), nothing fired yet.
StoredFault armed(const FaultSpec &given) {
    if (index(given.service) >= kServiceCount) throw std::invalid_argument("no such service");
    StoredFault f;
    FaultInfo &i = f.info;
    i.id = 0;
    i.spec = parseFaultSpec(faultSpecText(given));
    i.service = i.spec.service;
    i.code = i.spec.code;
    i.write_first = i.spec.write_first;
    i.percent = i.spec.percent;
    i.calls_left = i.percent > 0 ? 0 : i.spec.nth;
    // Without a seed, one of its own, shown with the fault so that a run can be repeated.
    i.seed = i.percent > 0 ? i.spec.seed.value_or(std::random_device{}()) : 0;
    i.fired = 0;
    f.rng = i.seed;
    return f;
}

LogEntry faultNote(LogKind kind, Service s, const std::string &text) {
    LogEntry e = device().entry(kind, s);
    e.text = text;
    return e;
}

} // namespace

uint64_t addFault(const FaultSpec &spec) {
    StoredFault f = armed(spec);
    return onDevice([&](DeviceState &st) {
        uint64_t id = st.addFault(f);
        LogEntry e = faultNote(LogKind::armed, f.info.service,
                               cat({std::to_string(id), " ", faultSpecText(f.info.spec)}));
        st.append(e);
        return id;
    });
}

void addFaultHere(const FaultSpec &spec) {
    StoredFault f = armed(spec);
    locked([&](Device &d) { d.addOwnFault(std::move(f)); });
}

std::vector<FaultInfo> faultsHere() {
    return locked([&](Device &d) {
        std::vector<FaultInfo> out;
        for (const StoredFault &f : d.ownFaults()) out.push_back(f.info);
        return out;
    });
}

bool clearFault(uint64_t id) {
    return onDevice([&](DeviceState &st) {
        for (const StoredFault &f : st.faults()) {
            if (f.info.id != id) continue;
            st.dropFault(id);
            LogEntry e = faultNote(LogKind::cleared, f.info.service, std::to_string(id));
            st.append(e);
            return true;
        }
        return false;
    });
}

// The older way to arm a fault, ignoring what it cannot arm.
void failCallHere(Service s, unsigned nth, uint32_t code, bool write_first) {
    if (nth == 0 || index(s) >= kServiceCount) return;
    FaultSpec spec;
    spec.service = s;
    spec.nth = nth;
    spec.code = code;
    spec.write_first = write_first;
    addFaultHere(spec);
}

void clearFaultsHere() {
    locked([&](Device &d) { d.clearOwnFaults(); });
}

std::vector<FaultInfo> faults() {
    auto stored = readDevice([&](DeviceState &st) { return st.faults(); });
    std::vector<FaultInfo> out;
    for (const StoredFault &f : stored) out.push_back(f.info);
    return out;
}

void scriptIdSync(const std::vector<uint32_t> &answers) {
    locked([&](Device &d) { d.scriptIdSync(answers); });
}

void clearFaults() {
    locked([](Device &d) {
        d.scriptIdSync({});
        d.clearOwnFaults();
    });
    onDevice([&](DeviceState &st) {
        st.clearFaults();
        LogEntry e = faultNote(LogKind::cleared, Service{}, "all");
        st.append(e);
    });
}

IdSetup idSetup() {
    return locked([&](Device &d) { return d.id; });
}

// ---- log and observation -------------------------------------------------------------------

std::vector<LogEntry> log(const LogFilter &filter) {
    return readDevice([&](DeviceState &st) { return st.log(filter); });
}

uint64_t lastLogSeq() {
    return readDevice([&](DeviceState &st) { return st.lastSeq(); });
}

std::vector<uint32_t> sleeps() {
    return locked([&](Device &d) { return d.sleeps(); });
}

MemStats memStats() {
    return locked([&](Device &d) { return d.memStats(); });
}

std::vector<std::string> violations() {
    return locked([&](Device &d) { return d.violations(); });
}

void fakeSleep(bool enabled) {
    locked([&](Device &d) { d.fakeSleep(enabled); });
}

// ---- snapshots -----------------------------------------------------------------------------

State storedState() {
    return readDevice([&](DeviceState &st) { return st.snapshot(); });
}

State exportState() {
    State s = storedState();
    for (const LogEntry &e : log())
        if (auto line = eventLine(e); !line.empty()) s.events.push_back(line);
    return s;
}

void importState(const State &s) {
    State clean;
    clean.settings.clear();
    Device &d = device();
    std::lock_guard lock(d.mu);
    for (const auto &[id, value] : s.settings) {
        auto size = settingSize(id);
        auto v = size ? padded(value, *size) : std::nullopt;
        if (!v) {
            d.violate(kUnknownSetting, "importState: settings ID " + hex(id) +
                                           (size ? " has a value longer than its size" : " is unknown"));
            continue;
        }
        clean.settings[id] = std::move(*v);
    }
    clean.jobs = s.jobs;
    for (const auto &[key, value] : s.job_values) {
        auto v = shaped(key.second, value);
        if (!v) {
            d.violate(kUnknownValue, "importState: value ID " + hex(key.second) + " of job " +
                                         hex(key.first) +
                                         (valueWidth(key.second) ? " is too long" : " is unknown"));
            continue;
        }
        clean.jobs.push_back(key.first);
        clean.job_values[key] = std::move(*v);
    }
    clean.parents = s.parents;
    clean.children = s.children;
    for (const auto &[job, parent] : s.parents) clean.jobs.insert(clean.jobs.end(), {job, parent});
    for (const auto &[job, kind, link] : s.children) clean.jobs.insert(clean.jobs.end(), {job, link});
    d.transact(Service{}, [&](DeviceState &st) {
        for (const SettingInfo &info : catalogue())
            if (!clean.settings.count(info.id)) clean.settings[info.id] = info.default_value;
        st.restore(clean);
    });
}

} // namespace devsim
