// c_api.cpp - corvellib_devsim.h over the C++ control API. Each function
// catches everything: a C caller gets -1 or 0 and the reason in
// devsim_last_error(), never an exception.
#include "corvellib_devsim.h"

#include "devsim.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

namespace {

thread_local std::string last_error;
thread_local std::string path_text;

// What the entries of a read point into, until the next read of its kind.
struct ReadEntries {
    std::vector<devsim::LogEntry> entries;
    std::vector<std::string> texts;
    std::vector<std::string> lines;
    std::vector<std::vector<std::string>> names; // devsim_log_select's alone
    std::vector<std::vector<const char *>> name_pointers;
};
thread_local ReadEntries read_entries;   // devsim_log_read's
thread_local ReadEntries select_entries; // devsim_log_select's

// The longest reason kept, in bytes; a longer one (a long path in it) loses
// its middle, so that both the start of the path and the cause are kept.
constexpr std::size_t kMaxError = 512;

void fail(std::string reason) {
    // One line, whatever the reason carried: a name's controls are escaped.
    reason = devsim::escapeLogText(reason, true);
    if (reason.size() > kMaxError) {
        static const std::string kCut = "\u2026";
        std::size_t head = (kMaxError - kCut.size()) / 2;
        std::size_t tail = reason.size() - (kMaxError - kCut.size() - head);
        // Cut between UTF-8 characters, never inside one.
        while (head > 0 && (static_cast<unsigned char>(reason[head]) & 0xc0) == 0x80) --head;
        while (tail < reason.size() && (static_cast<unsigned char>(reason[tail]) & 0xc0) == 0x80) ++tail;
        reason = reason.substr(0, head) + kCut + reason.substr(tail);
    }
    last_error = std::move(reason);
}

// Runs body; an exception becomes the thread's last error and the answer failed.
template <typename T, typename Body>
T guarded(T failed, Body body) {
    try {
        return body();
    } catch (const std::exception &e) {
        fail(e.what());
    } catch (...) {
        fail("unknown error");
    }
    return failed;
}

// Takes a read's service and kind by name into filter; false, with the
// reason, for an unknown name or no room for the entries.
bool readable(devsim::LogFilter &filter, const char *service, const char *kind, const void *room,
              std::size_t max) {
    if (!room && max > 0) {
        fail("log read: no room for the entries (NULL)");
        return false;
    }
    if (service) {
        filter.service = devsim::serviceByName(service);
        if (!filter.service) {
            fail(std::string("log read: no service named ") + service);
            return false;
        }
    }
    if (kind) {
        filter.kind = devsim::logKindByName(kind);
        if (!filter.kind) {
            fail(std::string("log read: no log entry kind named ") + kind);
            return false;
        }
    }
    return true;
}

// Reads the first max entries that filter keeps into into, with what their
// C fields point to; names: with each entry's setting names.
ReadEntries &readInto(ReadEntries &into, const devsim::LogFilter &filter, std::size_t max, bool names) {
    ReadEntries got;
    // No entry is numbered past INT64_MAX (a device file's numbers are
    // SQLite integers), and the store's query would take it as negative.
    if (filter.after_seq <= static_cast<uint64_t>(INT64_MAX)) got.entries = devsim::log(filter);
    if (got.entries.size() > max) got.entries.resize(max);
    for (const devsim::LogEntry &e : got.entries) {
        got.texts.push_back(devsim::escapeLogText(e.text, false));
        got.lines.push_back(devsim::formatLogEntry(e));
        if (!names) continue;
        const auto at = devsim::settingsIdArgument(e);
        got.names.push_back(at ? devsim::settingNames(static_cast<uint32_t>(e.args[*at]))
                               : std::vector<std::string>{});
    }
    for (const auto &list : got.names) {
        auto &pointers = got.name_pointers.emplace_back();
        for (const std::string &n : list) pointers.push_back(n.c_str());
    }
    into = std::move(got);
    return into;
}

void fill(devsim_log_entry &out, const ReadEntries &got, std::size_t i) {
    const devsim::LogEntry &e = got.entries[i];
    out.seq = e.seq;
    out.time_us = e.time_us;
    out.pid = e.pid;
    out.result = e.result;
    out.done = e.done ? 1 : 0;
    out.program = e.program.c_str();
    out.kind = devsim::logKindName(e.kind);
    out.service = devsim::serviceName(e.service);
    out.args = e.args.data();
    out.arg_count = e.args.size();
    out.text = got.texts[i].c_str();
    out.line = got.lines[i].c_str();
}

} // namespace

extern "C" {

int devsim_open(const char *path) {
    return guarded(-1, [&] {
        devsim::openDevice(path ? std::string(path) : devsim::configuredDevice());
        return 0;
    });
}

const char *devsim_path(void) {
    return guarded<const char *>(nullptr, [] {
        path_text = devsim::devicePath();
        return path_text.c_str();
    });
}

int devsim_reset(int keep_jobs) {
    return guarded(-1, [&] {
        devsim::factoryReset(keep_jobs != 0);
        return 0;
    });
}

uint64_t devsim_fault_add(const char *spec) {
    return guarded<uint64_t>(0, [&]() -> uint64_t {
        if (!spec) {
            fail("fault: NULL");
            return 0;
        }
        return devsim::addFault(devsim::parseFaultSpec(spec));
    });
}

int devsim_fault_clear(uint64_t id) {
    return guarded(-1, [&] {
        if (id == 0) {
            devsim::clearFaults();
            return 0;
        }
        if (devsim::clearFault(id)) return 0;
        fail("the device keeps no fault with ID " + std::to_string(id));
        return -1;
    });
}

long devsim_fault_hits(uint64_t id) {
    return guarded(-1L, [&] {
        for (const devsim::FaultInfo &f : devsim::faults())
            if (f.id == id) return static_cast<long>(f.fired);
        fail("the device keeps no fault with ID " + std::to_string(id));
        return -1L;
    });
}

uint64_t devsim_last_seq(void) {
    return guarded<uint64_t>(0, [] { return devsim::lastLogSeq(); });
}

long devsim_log_read(uint64_t after_seq, const char *service, const char *kind, devsim_log_entry *entries,
                     size_t max) {
    return guarded(-1L, [&]() -> long {
        devsim::LogFilter filter;
        filter.after_seq = after_seq;
        if (!readable(filter, service, kind, entries, max)) return -1;
        ReadEntries &got = readInto(read_entries, filter, max, false);
        for (std::size_t i = 0; i < got.entries.size(); ++i) fill(entries[i], got, i);
        return static_cast<long>(got.entries.size());
    });
}

long devsim_log_select(const devsim_log_query *query, devsim_log_record *records, size_t max) {
    return guarded(-1L, [&]() -> long {
        // The first version of the query is the whole of today's; a later
        // one reads the fields within the caller's size and defaults the rest.
        if (!query || query->size != sizeof(devsim_log_query)) {
            fail("log select: " +
                 (query ? "a query of size " + std::to_string(query->size) : "no query (NULL)") + ", not " +
                 std::to_string(sizeof(devsim_log_query)));
            return -1;
        }
        devsim::LogFilter filter;
        filter.after_seq = query->after;
        if (query->program) filter.program = query->program;
        if (query->pid < 0 || query->pid > INT32_MAX) {
            fail("log select: no process has ID " + std::to_string(query->pid));
            return -1;
        }
        if (query->pid != 0) filter.pid = static_cast<int32_t>(query->pid);
        if (!readable(filter, query->service, query->kind, records, max)) return -1;
        ReadEntries &got = readInto(select_entries, filter, max, true);
        for (std::size_t i = 0; i < got.entries.size(); ++i) {
            devsim_log_record &out = records[i];
            fill(out.entry, got, i);
            const auto at = devsim::settingsIdArgument(got.entries[i]);
            out.names_arg = at ? static_cast<long>(*at) : -1;
            out.names = got.name_pointers[i].data();
            out.name_count = got.names[i].size();
        }
        return static_cast<long>(got.entries.size());
    });
}

const char *devsim_service_name(size_t i) {
    return i < devsim::kServiceCount ? devsim::serviceName(static_cast<devsim::Service>(i)) : nullptr;
}

int devsim_log_entry_field(size_t i, const char **name, size_t *offset, size_t *size) {
    struct Field {
        const char *name;
        size_t offset, size;
    };
#define DEVSIM_FIELD(f)                                                                                      \
    { #f, offsetof(devsim_log_entry, f), sizeof(devsim_log_entry::f) }
    static constexpr Field kFields[] = {
        DEVSIM_FIELD(seq),  DEVSIM_FIELD(time_us),   DEVSIM_FIELD(pid),  DEVSIM_FIELD(result),
        DEVSIM_FIELD(done), DEVSIM_FIELD(program),   DEVSIM_FIELD(kind), DEVSIM_FIELD(service),
        DEVSIM_FIELD(args), DEVSIM_FIELD(arg_count), DEVSIM_FIELD(text), DEVSIM_FIELD(line),
    };
#undef DEVSIM_FIELD
    if (i >= std::size(kFields)) return -1;
    if (name) *name = kFields[i].name;
    if (offset) *offset = kFields[i].offset;
    if (size) *size = kFields[i].size;
    return 0;
}

size_t devsim_log_entry_size(void) { return sizeof(devsim_log_entry); }

const char *devsim_last_error(void) { return last_error.c_str(); }

} // extern "C"
