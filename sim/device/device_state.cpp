// device_state.cpp - the meaning of the device's rows (see device_state.h).
// Row layout: settings {id} -> value; jobs {job} -> nothing; values {job,
// value ID} -> value; parents {job} -> parent; children {job, n} -> kind,
// link (n orders a job's links); faults {id} -> the fault; meta {key} ->
// number.
#include "device/device_state.h"

#include "store/text.h"

#include <algorithm>
#include <bit>
#include <time.h>

namespace devsim {
namespace {

// Keys of the meta space.
enum : uint64_t {
    kLogBase = 1, // seq of the newest entry dropped by a reset
    kCreated = 2, // when the device was made, microseconds since the epoch
    kLastFault = 3,
    kLastChild = 4,
};

// The log is trimmed in batches, so that an append costs about one page.
constexpr uint64_t kTrimEvery = 64;

} // namespace

uint64_t DeviceState::number(const Bytes &value, std::size_t i) {
    auto v = unpackU64s(value);
    if (i >= v.size())
        damaged(cat({"a row of ", std::to_string(value.size()), " bytes where numbers were expected"}));
    return v[i];
}

uint64_t DeviceState::meta(uint64_t key) {
    auto v = st_.get(Space::meta, {key});
    return v ? number(*v, 0) : 0;
}

void DeviceState::setMeta(uint64_t key, uint64_t value) { st_.put(Space::meta, {key}, packU64s({value})); }

// By key alone, so that a reset clears rows changed behind the device's back.
void DeviceState::clear(Space s) {
    for (const Key &k : st_.keys(s)) st_.erase(s, k);
}

void DeviceState::damaged(const std::string &what) { devsim::damaged(st_.status().path, what); }

bool DeviceState::needsSetUp() {
    if (st_.status().created_now && meta(kCreated) == 0) return true;
    return st_.keys(Space::settings).size() < catalogue().size();
}

void DeviceState::setUp() {
    for (const SettingInfo &s : catalogue())
        if (!st_.get(Space::settings, {s.id})) st_.put(Space::settings, {s.id}, s.default_value);
    if (st_.status().created_now && meta(kCreated) == 0) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        setMeta(kCreated,
                static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000);
    }
}

std::optional<Bytes> DeviceState::setting(uint32_t id) {
    auto size = settingSize(id);
    if (!size) return std::nullopt;
    auto v = st_.get(Space::settings, {id});
    if (!v) damaged(cat({"settings ID ", hex(id), " is missing"}));
    if (v->size() != *size)
        damaged(cat({"settings ID ", hex(id), " holds ", std::to_string(v->size()),
                     " bytes, the device's size is ", std::to_string(*size)}));
    return v;
}

void DeviceState::putSetting(uint32_t id, const Bytes &value) { st_.put(Space::settings, {id}, value); }

bool DeviceState::jobExists(uint32_t job) { return st_.get(Space::jobs, {job}).has_value(); }

void DeviceState::createJob(uint32_t job) {
    if (!jobExists(job)) st_.put(Space::jobs, {job}, {});
}

void DeviceState::removeJob(uint32_t job) {
    st_.erase(Space::jobs, {job});
    for (const Key &k : st_.keys(Space::values, job)) st_.erase(Space::values, k);
    for (const Row &r : st_.scan(Space::parents))
        if (r.key.major == job || number(r.value, 0) == job) st_.erase(Space::parents, r.key);
    for (const Row &r : st_.scan(Space::children))
        if (r.key.major == job || number(r.value, 1) == job) st_.erase(Space::children, r.key);
}

std::optional<Bytes> DeviceState::jobValue(uint32_t job, uint32_t value_id) {
    auto v = st_.get(Space::values, {job, value_id});
    auto width = valueWidth(value_id);
    if (v && width && v->size() > *width)
        damaged(cat({"value ", hex(value_id), " of job ", hex(job), " is longer than the device's width"}));
    return v;
}

void DeviceState::putJobValue(uint32_t job, uint32_t value_id, const Bytes &value) {
    st_.put(Space::values, {job, value_id}, value);
}

std::optional<uint32_t> DeviceState::parent(uint32_t job) {
    auto v = st_.get(Space::parents, {job});
    if (!v) return std::nullopt;
    return u32(number(*v, 0));
}

void DeviceState::setParent(uint32_t job, uint32_t parent) {
    st_.put(Space::parents, {job}, packU64s({parent}));
}

std::vector<uint32_t> DeviceState::children(uint32_t job, int32_t kind) {
    std::vector<uint32_t> out;
    for (const Row &r : st_.scan(Space::children, job)) {
        if (static_cast<int32_t>(u32(number(r.value, 0))) == kind) out.push_back(u32(number(r.value, 1)));
    }
    return out;
}

void DeviceState::addChild(uint32_t job, int32_t kind, uint32_t link) {
    uint64_t n = meta(kLastChild) + 1;
    setMeta(kLastChild, n);
    st_.put(Space::children, {job, n}, packU64s({static_cast<uint32_t>(kind), link}));
}

// A fault's row: eight numbers (service, code, write-first, calls left,
// probability, seed, hits, generator state), then the aim's (N, times,
// which of match, pid and seed are given, match, pid), then the program's
// name. A row of only the eight, as older devices wrote them, is a fault
// of the first call that fires once.
namespace {
constexpr std::size_t kFaultNumbers = 8, kSpecNumbers = 5;
constexpr uint64_t kHasMatch = 1, kHasPid = 2, kHasSeed = 4;
} // namespace

std::vector<StoredFault> DeviceState::faults(std::optional<Service> s) {
    std::vector<StoredFault> out;
    for (const Row &r : st_.scan(Space::faults)) {
        const std::size_t numbers = std::min(r.value.size() / 8, kFaultNumbers + kSpecNumbers);
        auto v =
            unpackU64s(Bytes(r.value.begin(), r.value.begin() + static_cast<std::ptrdiff_t>(numbers * 8)));
        const bool old = r.value.size() == kFaultNumbers * 8;
        if ((!old && numbers != kFaultNumbers + kSpecNumbers) || v[0] >= kServiceCount)
            damaged(cat({"armed fault ", std::to_string(r.key.major)}));
        StoredFault f;
        FaultInfo &i = f.info;
        i.id = r.key.major;
        i.service = static_cast<Service>(v[0]);
        i.code = u32(v[1]);
        i.write_first = v[2] != 0;
        i.calls_left = u32(v[3]);
        i.percent = std::bit_cast<double>(v[4]);
        i.seed = v[5];
        i.fired = v[6];
        f.rng = v[7];
        FaultSpec &spec = i.spec;
        spec.service = i.service;
        spec.code = i.code;
        spec.write_first = i.write_first;
        spec.percent = i.percent;
        if (old) {
            spec.nth = std::max(i.calls_left, 1u);
            if (i.percent > 0) spec.seed = i.seed;
        } else {
            spec.nth = u32(v[8]);
            spec.times = u32(v[9]);
            if (v[10] & kHasMatch) spec.match = u32(v[11]);
            if (v[10] & kHasPid) spec.pid = static_cast<int32_t>(v[12]);
            if (v[10] & kHasSeed) spec.seed = i.seed;
            spec.program.assign(r.value.begin() + (kFaultNumbers + kSpecNumbers) * 8, r.value.end());
        }
        if (!s || i.service == *s) out.push_back(f);
    }
    return out;
}

void DeviceState::updateFault(const StoredFault &f) {
    const FaultInfo &i = f.info;
    const FaultSpec &spec = i.spec;
    uint64_t given = (spec.match ? kHasMatch : 0) | (spec.pid ? kHasPid : 0) | (spec.seed ? kHasSeed : 0);
    Bytes row = packU64s({static_cast<uint64_t>(i.service), i.code, i.write_first, i.calls_left,
                          std::bit_cast<uint64_t>(i.percent), i.seed, i.fired, f.rng, spec.nth, spec.times,
                          given, spec.match.value_or(0), static_cast<uint32_t>(spec.pid.value_or(0))});
    row.insert(row.end(), spec.program.begin(), spec.program.end());
    st_.put(Space::faults, {i.id}, row);
}

uint64_t DeviceState::addFault(StoredFault f) {
    f.info.id = meta(kLastFault) + 1; // never reused, even after a reset
    setMeta(kLastFault, f.info.id);
    updateFault(f);
    return f.info.id;
}

void DeviceState::dropFault(uint64_t id) { st_.erase(Space::faults, {id}); }

void DeviceState::clearFaults() { clear(Space::faults); }

uint64_t DeviceState::lastSeq() {
    uint64_t newest = st_.newestSeq();
    return newest != 0 ? newest : meta(kLogBase);
}

void DeviceState::append(LogEntry &e) {
    e.seq = lastSeq() + 1;
    st_.append(e);
    if (e.seq > kLogCapacity && e.seq % kTrimEvery == 0) st_.drop(e.seq - kLogCapacity);
}

std::vector<LogEntry> DeviceState::log(const LogFilter &f) {
    LogFilter newest = f;
    uint64_t last = st_.newestSeq();
    if (last > kLogCapacity) newest.after_seq = std::max(f.after_seq, last - kLogCapacity);
    // A program's whole name finds the entries of its first bytes, as a fault's program= does.
    if (newest.program.size() > kProgramNameMax) newest.program.resize(kProgramNameMax);
    return st_.log(newest);
}

void DeviceState::factoryReset(bool keep_jobs) {
    clear(Space::settings);
    setUp();
    if (!keep_jobs)
        for (Space s : {Space::jobs, Space::values, Space::parents, Space::children}) clear(s);
    clearFaults();
    setMeta(kLogBase, lastSeq());
    st_.drop(st_.newestSeq());
}

State DeviceState::snapshot() {
    State s;
    for (Row &r : st_.scan(Space::settings)) s.settings[u32(r.key.major)] = std::move(r.value);
    for (Row &r : st_.scan(Space::values))
        s.job_values[{u32(r.key.major), u32(r.key.minor)}] = std::move(r.value);
    for (const Row &r : st_.scan(Space::jobs)) s.jobs.push_back(u32(r.key.major));
    for (const Row &r : st_.scan(Space::parents)) s.parents[u32(r.key.major)] = u32(number(r.value, 0));
    std::vector<Row> links = st_.scan(Space::children);
    std::stable_sort(links.begin(), links.end(),
                     [](const Row &a, const Row &b) { return a.key.minor < b.key.minor; });
    for (const Row &r : links) {
        s.children.emplace_back(u32(r.key.major), static_cast<int32_t>(u32(number(r.value, 0))),
                                u32(number(r.value, 1)));
    }
    return s;
}

void DeviceState::restore(const State &s) {
    for (Space sp : {Space::jobs, Space::values, Space::parents, Space::children}) clear(sp);
    for (const auto &[id, v] : s.settings) putSetting(id, v);
    for (uint32_t job : s.jobs) createJob(job);
    for (const auto &[key, v] : s.job_values) putJobValue(key.first, key.second, v);
    for (const auto &[job, p] : s.parents) setParent(job, p);
    for (const auto &[job, kind, link] : s.children) addChild(job, kind, link);
}

std::vector<std::string> DeviceState::tampered() { return st_.tampered(); }

DeviceStatus DeviceState::status() {
    DeviceStatus s = st_.status();
    s.created_us = static_cast<int64_t>(meta(kCreated));
    auto entries = log(LogFilter{});
    s.log_entries = entries.size();
    if (!entries.empty()) s.last_writer_pid = entries.back().pid;
    s.faults = 0;
    for (const StoredFault &f : faults()) s.faults += spent(f.info) ? 0 : 1;
    return s;
}

} // namespace devsim
