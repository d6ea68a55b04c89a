// memory_store.cpp - the device kept in this process's memory: for test
// suites (ENTMLST_DEVICE=:memory:) and for builds without SQLite.
#include "store/store.h"

#include <algorithm>
#include <deque>
#include <map>

namespace devsim {

namespace {

class MemoryStore final : public Store {
public:
    // Each change inside a transaction leaves a way back; a body that
    // throws takes its own changes back, newest first.
    void transact(const std::function<void()> &body) override {
        const std::size_t mark = undo_.size();
        ++depth_;
        try {
            body();
        } catch (...) {
            while (undo_.size() > mark) {
                undo_.back()();
                undo_.pop_back();
            }
            --depth_;
            throw;
        }
        if (--depth_ == 0) undo_.clear();
    }
    bool transactNow(const std::function<void()> &body) override {
        transact(body);
        return true;
    }
    // The device lock already keeps writers out while body runs.
    void read(const std::function<void()> &body) override {
        ++depth_;
        const std::size_t mark = undo_.size();
        struct Back {
            MemoryStore &m;
            std::size_t mark;
            ~Back() {
                while (m.undo_.size() > mark) {
                    m.undo_.back()();
                    m.undo_.pop_back();
                }
                --m.depth_;
            }
        } back{*this, mark};
        body();
    }

    std::optional<Bytes> get(Space s, Key k) override {
        auto it = rows_.find({s, k});
        return it == rows_.end() ? std::nullopt : std::optional<Bytes>(it->second);
    }
    void put(Space s, Key k, const Bytes &value) override {
        remember(s, k);
        rows_[{s, k}] = value;
    }
    void erase(Space s, Key k) override {
        remember(s, k);
        rows_.erase({s, k});
    }
    std::vector<Row> scan(Space s, std::optional<uint64_t> major) override {
        auto first = rows_.lower_bound({s, Key{major.value_or(0), 0}});
        std::vector<Row> out;
        for (auto it = first; it != rows_.end() && it->first.first == s; ++it) {
            if (major && it->first.second.major != *major) break;
            out.push_back(Row{it->first.second, it->second});
        }
        return out;
    }
    std::vector<Key> keys(Space s, std::optional<uint64_t> major) override {
        std::vector<Key> out;
        for (const Row &r : scan(s, major)) out.push_back(r.key);
        return out;
    }
    // Nothing but this process reaches its memory.
    std::vector<std::string> tampered() override { return {}; }

    void append(const LogEntry &e) override {
        if (depth_ != 0) undo_.push_back([this] { log_.pop_back(); });
        log_.push_back(e);
    }
    std::vector<LogEntry> log(const LogFilter &f) override {
        auto first = std::upper_bound(log_.begin(), log_.end(), f.after_seq,
                                      [](uint64_t seq, const LogEntry &e) { return seq < e.seq; });
        auto wanted = [&](const LogEntry &e) {
            return e.time_us >= f.since_us && (!f.pid || e.pid == *f.pid) &&
                   (f.program.empty() || e.program == f.program) &&
                   (!f.service || (e.service == *f.service && namesService(e.kind))) &&
                   (!f.kind || e.kind == *f.kind);
        };
        // Newest first, so that a count stops as soon as it has them.
        std::vector<LogEntry> out;
        auto last = f.before_seq == 0
                        ? log_.end()
                        : std::lower_bound(first, log_.end(), f.before_seq,
                                           [](const LogEntry &e, uint64_t seq) { return e.seq < seq; });
        for (auto it = last; it != first && (f.newest == 0 || out.size() < f.newest);)
            if (--it; wanted(*it)) out.push_back(*it);
        std::reverse(out.begin(), out.end());
        return out;
    }
    uint64_t newestSeq() override { return log_.empty() ? 0 : log_.back().seq; }
    void drop(uint64_t through) override {
        while (!log_.empty() && log_.front().seq <= through) {
            if (depth_ != 0) undo_.push_back([this, e = log_.front()] { log_.push_front(e); });
            log_.pop_front();
        }
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
    unsigned depth_ = 0;
    std::vector<std::function<void()>> undo_;

    void remember(Space s, Key k) {
        if (depth_ == 0) return;
        auto it = rows_.find({s, k});
        if (it == rows_.end())
            undo_.push_back([this, s, k] { rows_.erase({s, k}); });
        else
            undo_.push_back([this, s, k, v = it->second] { rows_[{s, k}] = v; });
    }
};

} // namespace

const BackEnd kMemoryBackEnd("memory", [](const std::string &, unsigned) -> std::unique_ptr<Store> {
    return std::make_unique<MemoryStore>();
});

} // namespace devsim
