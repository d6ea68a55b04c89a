// memory_store.cpp - the device kept in this process's memory: for test
// suites (ENTMLST_DEVICE=:memory:) and for builds without SQLite.
#include "store.h"

#include <algorithm>
#include <deque>
#include <map>

namespace devsim {

namespace {

class MemoryStore final : public Store {
public:
    // A body that throws (out of memory) may leave part of its work: the
    // device lock already orders the calls, and nothing else can fail here.
    void transact(const std::function<void()> &body) override { body(); }
    void read(const std::function<void()> &body) override { body(); }

    std::optional<Bytes> get(Space s, Key k) override {
        auto it = rows_.find({s, k});
        return it == rows_.end() ? std::nullopt : std::optional<Bytes>(it->second);
    }
    void put(Space s, Key k, const Bytes &value) override { rows_[{s, k}] = value; }
    void erase(Space s, Key k) override { rows_.erase({s, k}); }
    std::vector<Row> scan(Space s, std::optional<uint64_t> major) override {
        auto first = rows_.lower_bound({s, Key{major.value_or(0), 0}});
        std::vector<Row> out;
        for (auto it = first; it != rows_.end() && it->first.first == s; ++it) {
            if (major && it->first.second.major != *major) break;
            out.push_back(Row{it->first.second, it->second});
        }
        return out;
    }

    void append(const LogEntry &e) override { log_.push_back(e); }
    std::vector<LogEntry> log(const LogFilter &f) override {
        auto first = std::upper_bound(log_.begin(), log_.end(), f.after_seq,
                                      [](uint64_t seq, const LogEntry &e) { return seq < e.seq; });
        std::vector<LogEntry> out;
        for (auto it = first; it != log_.end(); ++it)
            if (it->time_us >= f.since_us && (!f.pid || it->pid == *f.pid)) out.push_back(*it);
        return out;
    }
    uint64_t newestSeq() override { return log_.empty() ? 0 : log_.back().seq; }
    void drop(uint64_t through) override {
        while (!log_.empty() && log_.front().seq <= through) log_.pop_front();
    }

    DeviceStatus status() override {
        DeviceStatus s;
        s.path = kMemoryDevice;
        s.created_now = true;
        return s;
    }

private:
    std::map<std::pair<Space, Key>, Bytes> rows_;
    std::deque<LogEntry> log_;
};

} // namespace

std::unique_ptr<Store> makeMemoryStore() { return std::make_unique<MemoryStore>(); }

} // namespace devsim
