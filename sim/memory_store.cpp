// memory_store.cpp - the device kept in this process's memory: for test
// suites (ENTMLST_DEVICE=:memory:) and for builds without SQLite.
#include "device.h"

#include <algorithm>
#include <deque>
#include <set>

namespace devsim {
namespace {

class MemoryStore final : public Store {
public:
    MemoryStore() { loadDefaults(); }

    // A body that throws (out of memory) may leave part of its work: the
    // device lock already orders the calls, and nothing else can fail here.
    void transact(const std::function<void()> &body) override { body(); }
    void read(const std::function<void()> &body) override { body(); }
    DeviceStatus status() override { return {}; }

    std::optional<Bytes> setting(uint32_t id) override {
        auto it = settings_.find(id);
        return it == settings_.end() ? std::nullopt : std::optional<Bytes>(it->second);
    }
    void putSetting(uint32_t id, const Bytes &value) override { settings_[id] = value; }

    bool jobExists(uint32_t job) override { return jobs_.count(job) != 0; }
    void createJob(uint32_t job) override { jobs_.insert(job); }
    void removeJob(uint32_t job) override {
        jobs_.erase(job);
        std::erase_if(values_, [&](const auto &kv) { return kv.first.first == job; });
        std::erase_if(parents_, [&](const auto &kv) { return kv.first == job || kv.second == job; });
        std::erase_if(children_,
                      [&](const auto &c) { return std::get<0>(c) == job || std::get<2>(c) == job; });
    }
    std::optional<Bytes> jobValue(uint32_t job, uint32_t value_id) override {
        auto it = values_.find({job, value_id});
        return it == values_.end() ? std::nullopt : std::optional<Bytes>(it->second);
    }
    void putJobValue(uint32_t job, uint32_t value_id, const Bytes &value) override {
        values_[{job, value_id}] = value;
    }
    std::optional<uint32_t> parent(uint32_t job) override {
        auto it = parents_.find(job);
        return it == parents_.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    void setParent(uint32_t job, uint32_t parent) override { parents_[job] = parent; }
    std::vector<uint32_t> children(uint32_t job, int32_t kind) override {
        std::vector<uint32_t> out;
        for (const auto &[j, k, link] : children_)
            if (j == job && k == kind) out.push_back(link);
        return out;
    }
    void addChild(uint32_t job, int32_t kind, uint32_t link) override {
        children_.emplace_back(job, kind, link);
    }

    std::vector<StoredFault> faults(Service s) override {
        std::vector<StoredFault> out;
        std::copy_if(faults_.begin(), faults_.end(), std::back_inserter(out),
                     [&](const StoredFault &f) { return f.info.service == s; });
        return out;
    }
    std::vector<StoredFault> allFaults() override { return faults_; }
    void addFault(StoredFault f) override {
        f.info.id = ++fault_ids_;
        faults_.push_back(f);
    }
    void updateFault(const StoredFault &f) override {
        for (auto &g : faults_)
            if (g.info.id == f.info.id) g = f;
    }
    void dropFault(uint64_t id) override {
        std::erase_if(faults_, [&](const StoredFault &f) { return f.info.id == id; });
    }
    void clearFaults() override { faults_.clear(); }

    void append(LogEntry &e) override {
        e.seq = ++seq_;
        log_.push_back(e);
        if (log_.size() > kLogCapacity) log_.pop_front();
    }
    std::vector<LogEntry> log(const LogFilter &f) override {
        auto first = std::upper_bound(log_.begin(), log_.end(), f.after_seq,
                                      [](uint64_t seq, const LogEntry &e) { return seq < e.seq; });
        std::vector<LogEntry> out;
        for (auto it = first; it != log_.end(); ++it)
            if (it->time_us >= f.since_us && (!f.pid || it->pid == *f.pid)) out.push_back(*it);
        return out;
    }
    uint64_t lastSeq() override { return log_.empty() ? 0 : log_.back().seq; }

    void factoryReset(bool keep_jobs) override {
        loadDefaults();
        if (!keep_jobs) {
            jobs_.clear();
            values_.clear();
            parents_.clear();
            children_.clear();
        }
        faults_.clear();
        log_.clear();
    }
    State snapshot() override {
        State s;
        s.settings = settings_;
        s.job_values = values_;
        s.jobs.assign(jobs_.begin(), jobs_.end());
        s.parents = parents_;
        s.children = children_;
        return s;
    }
    void restore(const State &s) override {
        loadDefaults();
        jobs_.clear();
        for (const auto &[id, v] : s.settings) settings_[id] = v;
        jobs_.insert(s.jobs.begin(), s.jobs.end());
        values_ = s.job_values;
        parents_ = s.parents;
        children_ = s.children;
    }

private:
    std::map<uint32_t, Bytes> settings_;
    std::set<uint32_t> jobs_;
    std::map<std::pair<uint32_t, uint32_t>, Bytes> values_;
    std::map<uint32_t, uint32_t> parents_;
    std::vector<std::tuple<uint32_t, int32_t, uint32_t>> children_;
    std::vector<StoredFault> faults_;
    uint64_t fault_ids_ = 0;
    std::deque<LogEntry> log_;
    uint64_t seq_ = 0; // never reset: a seq is never reused

    void loadDefaults() {
        settings_.clear();
        for (const SettingInfo &info : catalogue()) settings_[info.id] = info.default_value;
    }
};

} // namespace

std::unique_ptr<Store> makeMemoryStore() { return std::make_unique<MemoryStore>(); }

} // namespace devsim
