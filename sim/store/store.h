// store.h - where the simulated device keeps what it shares between
// processes: keyed rows of bytes and the log. A back end knows bytes, keys
// and transactions, nothing of jobs, faults or factory settings; what the
// rows mean is device_state.cpp's. Two back ends: memory (one process) and
// an SQLite file (every process). Internal to libdevsim; the caller holds
// the device lock around every use.
#pragma once

#include "devsim_types.h"
#include "text.h"

#include <compare>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

// The row spaces; a row's key is unique within its space.
enum class Space : uint8_t { settings, jobs, values, parents, children, faults, meta };

struct Key {
    uint64_t major = 0;
    uint64_t minor = 0;
    auto operator<=>(const Key &) const = default;
};

struct Row {
    Key key;
    Bytes value;
};

class Store {
public:
    virtual ~Store() = default;

    // Runs body as one write transaction: everything it changed is kept, or
    // on an exception nothing. Inside another transaction it nests (undone
    // alone when it throws). Throws DeviceError when the storage fails.
    virtual void transact(const std::function<void()> &body) = 0;
    // The same, only when no other process holds the write lock now:
    // false (and body not run) when one does. Never waits.
    virtual bool transactNow(const std::function<void()> &body) = 0;
    // Runs body as one read transaction: one state of the store, taken
    // without waiting for a writer; nothing is written, whatever body does.
    virtual void read(const std::function<void()> &body) = 0;

    // Keyed rows.
    virtual std::optional<Bytes> get(Space s, Key k) = 0;
    virtual void put(Space s, Key k, const Bytes &value) = 0;
    virtual void erase(Space s, Key k) = 0;
    // The rows of a space in key order; with major, only those whose key has it.
    virtual std::vector<Row> scan(Space s, std::optional<uint64_t> major = std::nullopt) = 0;
    // Their keys alone: what a count or an erasure needs, never checked
    // against the rows' checksums.
    virtual std::vector<Key> keys(Space s, std::optional<uint64_t> major = std::nullopt) = 0;
    // A back end that keeps a checksum with each row (the file) throws
    // damaged() from get() and scan() at a row changed behind its back, and
    // here names every such row, one line each.
    virtual std::vector<std::string> tampered() = 0;

    // The log, in seq order. append() takes an entry whose seq is larger
    // than any stored; drop() removes those up to and including through.
    virtual void append(const LogEntry &e) = 0;
    virtual std::vector<LogEntry> log(const LogFilter &f) = 0;
    virtual uint64_t newestSeq() = 0; // 0 when the log is empty
    virtual void drop(uint64_t through) = 0;

    // What the back end knows of itself: path, size, layout version, and
    // whether it made a new, empty store when it opened.
    virtual DeviceStatus status() = 0;
};

// The device's stored rows found damaged: the device file's failure, naming
// what and the way out.
[[noreturn]] inline void damaged(const std::string &where, const std::string &what) {
    throw DeviceError(kDeviceFile,
                      cat({where, ": damaged: ", what, " (make a new device with: entmlst reset)"}));
}

// Row values made of little-endian 64-bit integers.
inline Bytes packU64s(std::initializer_list<uint64_t> values) {
    Bytes out;
    for (uint64_t v : values)
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}
inline std::vector<uint64_t> unpackU64s(const Bytes &value) {
    std::vector<uint64_t> out(value.size() / 8);
    for (std::size_t i = 0; i < out.size() * 8; ++i) out[i / 8] |= uint64_t{value[i]} << (8 * (i % 8));
    return out;
}

// The kinds of entry a filter by service finds: a service's calls and its
// faults, armed, fired and cleared. A broken rule and the device's own
// entries name no service.
inline bool namesService(LogKind k) {
    return k == LogKind::call || k == LogKind::notification || k == LogKind::monitor || k == LogKind::fault ||
           k == LogKind::armed || k == LogKind::cleared;
}

// The back ends, each registered under its name by its own file (a new
// back end is that file alone): "memory" for one process, "file" for the
// device file. A maker opens the store at where (a back end in memory
// ignores it) and throws DeviceError when it cannot.
using StoreMaker = std::unique_ptr<Store> (*)(const std::string &where, unsigned busy_timeout_ms);
struct BackEnd {
    BackEnd(const char *name, StoreMaker make);
};
// nullptr for a name no back end has (a build without SQLite has no "file").
StoreMaker storeMaker(std::string_view name);
inline bool fileStoreAvailable() { return storeMaker("file") != nullptr; }

// How SQLite is to open the device file at path when nobody can write it
// or its folder here (a read-only mount, say) and no -wal holds anything:
// as an immutable file, since a reader of a WAL file could not make the
// -shm it needs. Empty when it can be opened as it is. Only with the file
// back end.
std::string readOnlyName(const std::string &path);

} // namespace devsim
