// check.cpp - what `entmlst check` finds wrong with the device: the file's
// own integrity check, each row that does not match its checksum, then the
// device's rules over what it keeps.
#include "device/device.h"

#ifdef DEVSIM_SQLITE
#include <sqlite3.h>
#endif

#include <cstdint>
#include <limits>
#include <set>

namespace devsim {
namespace {

// SQLite's check of the file, on a connection of its own that only reads:
// opened for writing where it can be, since a read-only connection leaves
// the CHECK constraints out of the check.
void checkFile(const std::string &path, unsigned timeout_ms, std::vector<std::string> &problems) {
#ifdef DEVSIM_SQLITE
    sqlite3 *db = nullptr;
    sqlite3_stmt *q = nullptr;
    // A file that cannot be written here is checked as the device reads it.
    const std::string read_only = readOnlyName(path);
    int rc = read_only.empty()
                 ? sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
                 : sqlite3_open_v2(read_only.c_str(), &db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK && read_only.empty()) {
        sqlite3_close(db);
        db = nullptr;
        rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (rc == SQLITE_OK) {
        // Closing is the device's business, never a checkpoint of this look.
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_busy_timeout(db, static_cast<int>(timeout_ms));
        rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &q, nullptr);
    }
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(q);
        const auto *row = rc == SQLITE_ROW ? sqlite3_column_text(q, 0) : nullptr;
        if (row != nullptr && std::string_view(reinterpret_cast<const char *>(row)) != "ok")
            problems.push_back(cat({"file: ", reinterpret_cast<const char *>(row)}));
    }
    const std::string why = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_finalize(q);
    sqlite3_close(db);
    if ((rc & 0xff) == SQLITE_BUSY)
        throw DeviceError(kDeviceBusy, path + ": locked by another process for more than " +
                                           std::to_string(timeout_ms) + " ms");
    if (rc != SQLITE_DONE) problems.push_back("file: " + why);
#else
    (void)path;
    (void)timeout_ms;
    (void)problems;
#endif
}

std::string job(uint32_t id) { return "job " + std::to_string(id); }

// Every catalogue ID stored at its size, and nothing else.
void checkSettings(const State &s, std::vector<std::string> &problems) {
    for (const SettingInfo &info : catalogue()) {
        auto it = s.settings.find(info.id);
        if (it == s.settings.end())
            problems.push_back("settings ID " + hex(info.id) + " is missing");
        else if (it->second.size() != info.size)
            problems.push_back("settings ID " + hex(info.id) + " holds " + std::to_string(it->second.size()) +
                               " bytes; its size is " + std::to_string(info.size));
    }
    for (const auto &[id, value] : s.settings)
        if (!settingSize(id)) problems.push_back("settings ID " + hex(id) + " is not one the device knows");
}

// Values and links only of and to jobs that exist.
void checkJobs(const State &s, std::vector<std::string> &problems) {
    const std::set<uint32_t> jobs(s.jobs.begin(), s.jobs.end());
    auto need = [&](uint32_t id, const std::string &what) {
        if (!jobs.count(id)) problems.push_back(what + ": " + job(id) + " does not exist");
    };
    std::set<uint32_t> valued;
    for (const auto &[key, value] : s.job_values) valued.insert(key.first);
    for (uint32_t id : valued) need(id, "values of " + job(id));
    for (const auto &[child, parent] : s.parents) {
        const std::string link = "parent link " + job(child) + " -> " + job(parent);
        need(child, link);
        need(parent, link);
    }
    for (const auto &[from, kind, to] : s.children) {
        const std::string link =
            "child link " + job(from) + " -> " + job(to) + " (kind " + std::to_string(kind) + ")";
        need(from, link);
        need(to, link);
    }
}

// Log numbers increase, oldest first, up to the newest number, and stay in
// the range the file can hold. One line for each kind of fault, however many
// entries have it.
void checkLog(const std::vector<LogEntry> &entries, uint64_t newest, std::vector<std::string> &problems) {
    constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    std::size_t wild = 0, backwards = 0;
    std::string first_backwards;
    uint64_t before = 0;
    for (const LogEntry &e : entries) {
        if (e.seq == 0 || e.seq > kMax) {
            ++wild;
            continue;
        }
        if (e.seq <= before && backwards++ == 0)
            first_backwards =
                "log: entry " + std::to_string(e.seq) + " comes after entry " + std::to_string(before);
        before = std::max(before, e.seq);
    }
    if (wild != 0)
        problems.push_back("log: " + std::to_string(wild) + (wild == 1 ? " entry" : " entries") +
                           " numbered out of range");
    if (backwards != 0)
        problems.push_back(
            first_backwards +
            (backwards > 1 ? " (" + std::to_string(backwards - 1) + " more out of order)" : ""));
    if (newest > kMax)
        problems.push_back("log: the newest number " + std::to_string(newest) + " is out of range");
    else if (before > newest)
        problems.push_back("log: entry " + std::to_string(before) + " is past the newest number " +
                           std::to_string(newest));
}

} // namespace

std::vector<std::string> checkDevice() {
    std::vector<std::string> problems;
    State s;
    std::vector<std::string> tampered;
    std::vector<LogEntry> entries;
    uint64_t newest = 0;
    std::string path;
    unsigned timeout_ms = 0;
    {
        // One state of the device for every rule, read without waiting for
        // a writer and without writing.
        Device &d = device();
        std::lock_guard lock(d.mu);
        d.transact(
            Service{},
            [&](DeviceState &st) {
                // The rules would read the rows that fail; they wait until none does.
                tampered = st.tampered();
                if (tampered.empty()) s = st.snapshot();
                entries = st.log(LogFilter{});
                newest = st.lastSeq();
            },
            Device::Access::read);
        path = d.path();
        timeout_ms = d.busyTimeout();
    }
    if (path != kMemoryDevice) checkFile(path, timeout_ms, problems);
    problems.insert(problems.end(), tampered.begin(), tampered.end());
    if (tampered.empty()) {
        checkSettings(s, problems);
        checkJobs(s, problems);
    }
    checkLog(entries, newest, problems);
    return problems;
}

} // namespace devsim
