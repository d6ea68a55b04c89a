// file_store.cpp - the device kept in an SQLite file shared by every process.
//
// The file is in WAL mode with synchronous=NORMAL: a transaction is in the
// WAL when COMMIT returns, so a process killed at any point loses nothing
// that a call reported done; only a power cut may lose the last commits
// before a checkpoint (which is when SQLite syncs the file). Writers take the lock with BEGIN IMMEDIATE
// and wait for it up to the busy timeout.
#include "device.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace devsim {
namespace {

// Marks a file as the simulated device's ("MLST") and its layout's version.
// Version 1 was written by entmlst before the simulator kept the file
// itself: the same settings, jobs and links, and its log as plain lines.
constexpr int kApplicationId = 0x4d4c5354;
constexpr int kFormatVersion = 2;

constexpr const char *kTablesV1 = R"(
CREATE TABLE settings(id INTEGER PRIMARY KEY, value BLOB NOT NULL);
CREATE TABLE jobs(id INTEGER PRIMARY KEY);
CREATE TABLE job_values(job INTEGER NOT NULL, value_id INTEGER NOT NULL, value BLOB NOT NULL,
                        PRIMARY KEY(job, value_id));
CREATE TABLE parents(job INTEGER PRIMARY KEY, parent INTEGER NOT NULL);
CREATE TABLE children(seq INTEGER PRIMARY KEY, job INTEGER NOT NULL, kind INTEGER NOT NULL,
                      link INTEGER NOT NULL);
)";
// What version 2 adds to version 1's tables.
constexpr const char *kTablesV2 = R"(
CREATE INDEX children_by_job ON children(job, kind);
CREATE TABLE faults(id INTEGER PRIMARY KEY AUTOINCREMENT, service TEXT NOT NULL, code INTEGER NOT NULL,
                    write_first INTEGER NOT NULL, calls_left INTEGER NOT NULL, percent REAL NOT NULL,
                    seed INTEGER NOT NULL, fired INTEGER NOT NULL, rng INTEGER NOT NULL);
CREATE INDEX faults_by_service ON faults(service);
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);
CREATE TABLE log(seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, pid INTEGER NOT NULL,
                 kind TEXT NOT NULL, service TEXT NOT NULL, args BLOB NOT NULL, result INTEGER NOT NULL,
                 done INTEGER NOT NULL, text TEXT NOT NULL);
)";

uint32_t u32(int64_t v) { return static_cast<uint32_t>(v); }

class FileStore final : public Store {
public:
    FileStore(const std::string &path, unsigned timeout_ms) : path_(path), timeout_ms_(timeout_ms) {}
    ~FileStore() override {
        for (auto &[sql, stmt] : stmts_) sqlite3_finalize(stmt);
        // Closing leaves the WAL for the next process: a checkpoint here
        // would cost every short-lived program two fsyncs.
        if (db_ != nullptr) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close(db_);
    }
    FileStore(const FileStore &) = delete;
    FileStore &operator=(const FileStore &) = delete;

    void open();

private:
    void undo(bool outer) {
        sqlite3_exec(db_, outer ? "ROLLBACK" : "ROLLBACK TO nested; RELEASE nested", nullptr, nullptr,
                     nullptr);
    }
    unsigned depth_ = 0; // transactions open, the outermost first

public:
    // A transaction inside another (a service call inside a batch) is a
    // savepoint: it is undone alone when it fails, and kept with the outer one.
    void transact(const std::function<void()> &body) override {
        bool outer = depth_ == 0;
        exec(outer ? "BEGIN IMMEDIATE" : "SAVEPOINT nested");
        ++depth_;
        try {
            body();
        } catch (...) {
            --depth_;
            undo(outer);
            throw;
        }
        --depth_;
        try {
            exec(outer ? "COMMIT" : "RELEASE nested");
        } catch (...) {
            undo(outer);
            throw;
        }
    }

    // A read inside a transaction is part of it; an outer one is BEGIN
    // DEFERRED, which in WAL mode reads its own snapshot beside a writer,
    // and ends in ROLLBACK so that nothing it did can reach the file.
    void read(const std::function<void()> &body) override {
        if (depth_ != 0) {
            body();
            return;
        }
        exec("BEGIN");
        ++depth_;
        try {
            body();
        } catch (...) {
            --depth_;
            undo(true);
            throw;
        }
        --depth_;
        exec("ROLLBACK");
    }

    DeviceStatus status() override {
        DeviceStatus s;
        s.schema_version = static_cast<int>(pragma("PRAGMA user_version"));
        Query created(*this, "SELECT value FROM meta WHERE key = 'created'");
        if (created.row()) s.created_us = created.integer(0);
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0) s.file_size = static_cast<uint64_t>(st.st_size);
        s.created_now = created_now_;
        return s;
    }

    std::optional<Bytes> setting(uint32_t id) override {
        Query q(*this, "SELECT value FROM settings WHERE id = ?");
        q.bind(1, id);
        if (!q.row()) return std::nullopt;
        Bytes v = q.blob(0);
        auto size = settingSize(id);
        if (size && *size != v.size())
            damaged(cat({"settings ID ", hex(id), " holds ", std::to_string(v.size()),
                         " bytes, the device's size is ", std::to_string(*size)}));
        return v;
    }
    void putSetting(uint32_t id, const Bytes &value) override {
        Query(*this, "INSERT OR REPLACE INTO settings(id, value) VALUES(?, ?)")
            .bind(1, id)
            .bind(2, value)
            .run();
    }

    bool jobExists(uint32_t job) override {
        Query q(*this, "SELECT 1 FROM jobs WHERE id = ?");
        return q.bind(1, job).row();
    }
    void createJob(uint32_t job) override {
        Query(*this, "INSERT OR IGNORE INTO jobs(id) VALUES(?)").bind(1, job).run();
    }
    void removeJob(uint32_t job) override {
        Query(*this, "DELETE FROM jobs WHERE id = ?").bind(1, job).run();
        Query(*this, "DELETE FROM job_values WHERE job = ?").bind(1, job).run();
        Query(*this, "DELETE FROM parents WHERE job = ?1 OR parent = ?1").bind(1, job).run();
        Query(*this, "DELETE FROM children WHERE job = ?1 OR link = ?1").bind(1, job).run();
    }
    std::optional<Bytes> jobValue(uint32_t job, uint32_t value_id) override {
        Query q(*this, "SELECT value FROM job_values WHERE job = ? AND value_id = ?");
        q.bind(1, job).bind(2, value_id);
        if (!q.row()) return std::nullopt;
        Bytes v = q.blob(0);
        auto width = valueWidth(value_id);
        if (width && v.size() > *width)
            damaged(
                cat({"value ", hex(value_id), " of job ", hex(job), " is longer than the device's width"}));
        return v;
    }
    void putJobValue(uint32_t job, uint32_t value_id, const Bytes &value) override {
        Query(*this, "INSERT OR REPLACE INTO job_values(job, value_id, value) VALUES(?, ?, ?)")
            .bind(1, job)
            .bind(2, value_id)
            .bind(3, value)
            .run();
    }
    std::optional<uint32_t> parent(uint32_t job) override {
        Query q(*this, "SELECT parent FROM parents WHERE job = ?");
        q.bind(1, job);
        return q.row() ? std::optional<uint32_t>(u32(q.integer(0))) : std::nullopt;
    }
    void setParent(uint32_t job, uint32_t parent) override {
        Query(*this, "INSERT OR REPLACE INTO parents(job, parent) VALUES(?, ?)")
            .bind(1, job)
            .bind(2, parent)
            .run();
    }
    std::vector<uint32_t> children(uint32_t job, int32_t kind) override {
        Query q(*this, "SELECT link FROM children WHERE job = ? AND kind = ? ORDER BY seq");
        q.bind(1, job).bind(2, kind);
        std::vector<uint32_t> out;
        while (q.row()) out.push_back(u32(q.integer(0)));
        return out;
    }
    void addChild(uint32_t job, int32_t kind, uint32_t link) override {
        Query(*this, "INSERT INTO children(job, kind, link) VALUES(?, ?, ?)")
            .bind(1, job)
            .bind(2, kind)
            .bind(3, link)
            .run();
    }

    std::vector<StoredFault> faults(Service s) override {
        Query q(*this,
                "SELECT id, service, code, write_first, calls_left, percent, seed, fired, rng FROM faults "
                "WHERE service = ? ORDER BY id");
        q.bind(1, std::string(serviceName(s)));
        return readFaults(q);
    }
    std::vector<StoredFault> allFaults() override {
        Query q(*this,
                "SELECT id, service, code, write_first, calls_left, percent, seed, fired, rng FROM faults "
                "ORDER BY id");
        return readFaults(q);
    }
    void addFault(StoredFault f) override {
        Query(*this, "INSERT INTO faults(service, code, write_first, calls_left, percent, seed, fired, rng) "
                     "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, std::string(serviceName(f.info.service)))
            .bind(2, f.info.code)
            .bind(3, f.info.write_first)
            .bind(4, f.info.calls_left)
            .bind(5, f.info.percent)
            .bind(6, static_cast<int64_t>(f.info.seed))
            .bind(7, static_cast<int64_t>(f.info.fired))
            .bind(8, static_cast<int64_t>(f.rng))
            .run();
    }
    void updateFault(const StoredFault &f) override {
        Query(*this, "UPDATE faults SET calls_left = ?, fired = ?, rng = ? WHERE id = ?")
            .bind(1, f.info.calls_left)
            .bind(2, static_cast<int64_t>(f.info.fired))
            .bind(3, static_cast<int64_t>(f.rng))
            .bind(4, static_cast<int64_t>(f.info.id))
            .run();
    }
    void dropFault(uint64_t id) override {
        Query(*this, "DELETE FROM faults WHERE id = ?").bind(1, static_cast<int64_t>(id)).run();
    }
    void clearFaults() override { exec("DELETE FROM faults"); }

    // A log entry costs one page of the file in most transactions: seq is
    // the next after the newest (or after the last one before a reset, kept
    // in meta, so that no seq is reused), and the oldest entries are dropped
    // in batches; log() shows only the newest kLogCapacity.
    static constexpr uint64_t kTrimEvery = 64;
    void append(LogEntry &e) override {
        Bytes args(e.args.size() * sizeof(uint64_t));
        if (!e.args.empty()) std::memcpy(args.data(), e.args.data(), args.size());
        Query(*this,
              "INSERT INTO log(seq, time, pid, kind, service, args, result, done, text) "
              "VALUES(coalesce((SELECT max(seq) FROM log), (SELECT value FROM meta WHERE key = 'log_base'), "
              "0) + 1, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, e.time_us)
            .bind(2, e.pid)
            .bind(3, std::string(logKindName(e.kind)))
            .bind(4, std::string(serviceName(e.service)))
            .bind(5, args)
            .bind(6, e.result)
            .bind(7, e.done)
            .bind(8, e.text)
            .run();
        e.seq = static_cast<uint64_t>(sqlite3_last_insert_rowid(db_));
        if (e.seq > kLogCapacity && e.seq % kTrimEvery == 0)
            Query(*this, "DELETE FROM log WHERE seq <= ?")
                .bind(1, static_cast<int64_t>(e.seq - kLogCapacity))
                .run();
    }
    std::vector<LogEntry> log(const LogFilter &f) override {
        Query q(*this, "SELECT seq, time, pid, kind, service, args, result, done, text FROM log "
                       "WHERE seq > max(?, coalesce((SELECT max(seq) FROM log), 0) - ?) AND time >= ? "
                       "AND (? OR pid = ?) ORDER BY seq");
        q.bind(1, static_cast<int64_t>(f.after_seq))
            .bind(2, static_cast<int64_t>(kLogCapacity))
            .bind(3, f.since_us)
            .bind(4, !f.pid)
            .bind(5, f.pid.value_or(0));
        std::vector<LogEntry> out;
        while (q.row()) {
            LogEntry e;
            e.seq = static_cast<uint64_t>(q.integer(0));
            e.time_us = q.integer(1);
            e.pid = static_cast<int32_t>(q.integer(2));
            e.kind = logKindByName(q.text(3)).value_or(LogKind::note);
            e.service = serviceByName(q.text(4)).value_or(Service{});
            Bytes args = q.blob(5);
            e.args.resize(args.size() / sizeof(uint64_t));
            if (!e.args.empty()) std::memcpy(e.args.data(), args.data(), e.args.size() * sizeof(uint64_t));
            e.result = u32(q.integer(6));
            e.done = q.integer(7) != 0;
            e.text = q.text(8);
            out.push_back(std::move(e));
        }
        return out;
    }
    uint64_t lastSeq() override {
        Query q(*this, "SELECT coalesce((SELECT max(seq) FROM log), (SELECT value FROM meta WHERE key = "
                       "'log_base'), 0)");
        return q.row() ? static_cast<uint64_t>(q.integer(0)) : 0;
    }

    void factoryReset(bool keep_jobs) override {
        exec("DELETE FROM settings");
        insertDefaults();
        if (!keep_jobs)
            exec("DELETE FROM jobs; DELETE FROM job_values; DELETE FROM parents; DELETE FROM children;");
        exec(
            "INSERT OR REPLACE INTO meta(key, value) VALUES('log_base', coalesce((SELECT max(seq) FROM log), "
            "(SELECT value FROM meta WHERE key = 'log_base'), 0));"
            "DELETE FROM faults; DELETE FROM log;");
    }
    State snapshot() override {
        State s;
        Query settings(*this, "SELECT id, value FROM settings");
        while (settings.row()) s.settings[u32(settings.integer(0))] = settings.blob(1);
        Query values(*this, "SELECT job, value_id, value FROM job_values");
        while (values.row()) s.job_values[{u32(values.integer(0)), u32(values.integer(1))}] = values.blob(2);
        Query jobs(*this, "SELECT id FROM jobs ORDER BY id");
        while (jobs.row()) s.jobs.push_back(u32(jobs.integer(0)));
        Query parents(*this, "SELECT job, parent FROM parents");
        while (parents.row()) s.parents[u32(parents.integer(0))] = u32(parents.integer(1));
        Query children(*this, "SELECT job, kind, link FROM children ORDER BY seq");
        while (children.row())
            s.children.emplace_back(u32(children.integer(0)), static_cast<int32_t>(children.integer(1)),
                                    u32(children.integer(2)));
        return s;
    }
    void restore(const State &s) override {
        exec("DELETE FROM jobs; DELETE FROM job_values; DELETE FROM parents; DELETE FROM children;");
        for (const auto &[id, v] : s.settings) putSetting(id, v);
        for (uint32_t job : s.jobs) createJob(job);
        for (const auto &[key, v] : s.job_values) putJobValue(key.first, key.second, v);
        for (const auto &[job, p] : s.parents) setParent(job, p);
        for (const auto &[job, kind, link] : s.children) addChild(job, kind, link);
    }

private:
    std::string path_;
    unsigned timeout_ms_;
    bool created_now_ = false;
    sqlite3 *db_ = nullptr;
    std::map<const char *, sqlite3_stmt *> stmts_; // prepared once per connection

    // A cached statement, reset for its next use however the query ends.
    class Query {
    public:
        Query(FileStore &f, const char *sql) : f_(f) {
            auto it = f.stmts_.find(sql);
            if (it == f.stmts_.end()) {
                if (sqlite3_prepare_v3(f.db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) != SQLITE_OK)
                    f.fail();
                f.stmts_[sql] = s_;
            } else {
                s_ = it->second;
            }
        }
        ~Query() {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
        Query(const Query &) = delete;
        Query &operator=(const Query &) = delete;
        Query &bind(int i, int64_t v) { return check(sqlite3_bind_int64(s_, i, v)); }
        Query &bind(int i, uint32_t v) { return bind(i, static_cast<int64_t>(v)); }
        Query &bind(int i, int32_t v) { return bind(i, static_cast<int64_t>(v)); }
        Query &bind(int i, bool v) { return bind(i, static_cast<int64_t>(v)); }
        Query &bind(int i, unsigned long v) = delete;
        Query &bind(int i, double v) { return check(sqlite3_bind_double(s_, i, v)); }
        Query &bind(int i, const Bytes &b) {
            static const uint8_t kEmpty = 0; // a null pointer would bind NULL, not an empty blob
            return check(sqlite3_bind_blob(s_, i, b.empty() ? &kEmpty : b.data(), static_cast<int>(b.size()),
                                           SQLITE_TRANSIENT));
        }
        Query &bind(int i, const std::string &t) {
            return check(sqlite3_bind_text(s_, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT));
        }
        bool row() {
            int rc = sqlite3_step(s_);
            if (rc == SQLITE_ROW) return true;
            if (rc != SQLITE_DONE) f_.fail();
            return false;
        }
        void run() { row(); }
        // Ready for the next bindings of the same statement.
        void next() {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
        int64_t integer(int col) { return sqlite3_column_int64(s_, col); }
        double real(int col) { return sqlite3_column_double(s_, col); }
        std::string text(int col) {
            const auto *p = sqlite3_column_text(s_, col);
            return p ? reinterpret_cast<const char *>(p) : "";
        }
        Bytes blob(int col) {
            const auto *p = static_cast<const uint8_t *>(sqlite3_column_blob(s_, col));
            return p ? Bytes(p, p + sqlite3_column_bytes(s_, col)) : Bytes();
        }

    private:
        FileStore &f_;
        sqlite3_stmt *s_ = nullptr;
        Query &check(int rc) {
            if (rc != SQLITE_OK) f_.fail();
            return *this;
        }
    };

    std::vector<StoredFault> readFaults(Query &q) {
        std::vector<StoredFault> out;
        while (q.row()) {
            StoredFault f;
            f.info.id = static_cast<uint64_t>(q.integer(0));
            f.info.service = serviceByName(q.text(1)).value_or(Service{});
            f.info.code = u32(q.integer(2));
            f.info.write_first = q.integer(3) != 0;
            f.info.calls_left = u32(q.integer(4));
            f.info.percent = q.real(5);
            f.info.seed = static_cast<uint64_t>(q.integer(6));
            f.info.fired = static_cast<uint64_t>(q.integer(7));
            f.rng = static_cast<uint64_t>(q.integer(8));
            if (serviceByName(q.text(1))) out.push_back(f);
        }
        return out;
    }

    // The error of the last SQLite call, as the device's answer to it.
    [[noreturn]] void fail() {
        int rc = sqlite3_errcode(db_) & 0xff;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            throw DeviceError(kDeviceBusy, path_ + ": locked by another process for more than " +
                                               std::to_string(timeout_ms_) + " ms");
        if (rc == SQLITE_NOTADB)
            throw DeviceError(kDeviceFile,
                              path_ + ": not a device file (not an SQLite database); it was left as it is");
        std::string why = sqlite3_errmsg(db_);
        if (int e = sqlite3_system_errno(db_); e != 0 && rc == SQLITE_IOERR)
            why += std::string(" (") + std::strerror(e) + ")";
        throw DeviceError(kDeviceFile, path_ + ": " + why);
    }
    [[noreturn]] void damaged(const std::string &what) {
        throw DeviceError(kDeviceFile,
                          path_ + ": damaged: " + what + " (make a new device with: entmlst reset)");
    }
    void exec(const char *sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail();
    }
    int64_t pragma(const char *sql) {
        Query q(*this, sql);
        return q.row() ? q.integer(0) : 0;
    }
    void insertDefaults() {
        Query put(*this, "INSERT OR IGNORE INTO settings(id, value) VALUES(?, ?)");
        for (const SettingInfo &s : catalogue()) {
            put.bind(1, s.id).bind(2, s.default_value).run();
            put.next();
        }
    }
    void createFile();
    void checkLayout();
};

void FileStore::createFile() {
    // The file holds passwords: only its owner may read it.
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
        throw DeviceError(kDeviceFile, path_ + ": cannot create: " + std::strerror(errno));
    if (fd >= 0) ::close(fd);
    created_now_ = fd >= 0;
}

void FileStore::open() {
    const std::size_t slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0               ? std::string("/")
                                                       : path_.substr(0, slash);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw DeviceError(kDeviceFile, path_ + ": directory " + dir + " does not exist");
    if (::stat(path_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) throw DeviceError(kDeviceFile, path_ + ": not a regular file");
    } else {
        createFile();
    }
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        if (db_ == nullptr) throw DeviceError(kDeviceFile, path_ + ": out of memory");
        fail();
    }
    sqlite3_busy_timeout(db_, static_cast<int>(timeout_ms_));
    exec("PRAGMA synchronous = NORMAL");
    // A process that opens the file first reads the WAL through; folding it
    // back every 200 pages keeps that short (each service call adds about one).
    exec("PRAGMA wal_autocheckpoint = 200");
    exec("PRAGMA journal_size_limit = 1048576");
    transact([&] { checkLayout(); });
    // Only now is it known to be a device file, with the device's passwords.
    if (::stat(path_.c_str(), &st) == 0 && (st.st_mode & 077))
        std::fprintf(stderr,
                     "devsim: warning: %s can be read by other users (mode %03o) and holds the device's "
                     "passwords; chmod 600 it\n",
                     path_.c_str(), static_cast<unsigned>(st.st_mode & 0777));
    // Persistent in the file; a no-op once set.
    Query wal(*this, "PRAGMA journal_mode = WAL");
    if (!wal.row() || wal.text(0) != "wal")
        throw DeviceError(kDeviceFile, path_ + ": cannot switch to WAL mode");
}

// Creates a new device in an empty file, upgrades one written by an older
// entmlst, and refuses anything else without touching it.
void FileStore::checkLayout() {
    int64_t app = pragma("PRAGMA application_id");
    int64_t version = pragma("PRAGMA user_version");
    int64_t objects = pragma("SELECT count(*) FROM sqlite_master");
    if (app == 0 && version == 0 && objects == 0) {
        exec(kTablesV1);
        exec(kTablesV2);
        exec(cat({"PRAGMA application_id = ", std::to_string(kApplicationId)}).c_str());
        exec(cat({"PRAGMA user_version = ", std::to_string(kFormatVersion)}).c_str());
        insertDefaults();
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        Query(*this, "INSERT INTO meta(key, value) VALUES('created', ?)")
            .bind(1, static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000)
            .run();
        created_now_ = true;
        return;
    }
    if (app != kApplicationId)
        throw DeviceError(kDeviceFile, path_ + ": not a device file (SQLite, but application_id " +
                                           hex(u32(app)) + "); it was left as it is");
    if (version > kFormatVersion)
        throw DeviceError(kDeviceFile, path_ + ": device file format " + std::to_string(version) +
                                           " is newer than this libdevsim reads (" +
                                           std::to_string(kFormatVersion) +
                                           "); use the entmlst and libdevsim that wrote it, or another file");
    if (version < 1)
        throw DeviceError(kDeviceFile, path_ + ": device file format " + std::to_string(version) +
                                           " is unknown; move the file away and start a new device");
    if (version == 1) {
        // Its log lines become notes; everything else is kept as it is.
        exec(kTablesV2);
        exec("INSERT INTO log(time, pid, kind, service, args, result, done, text) "
             "SELECT 0, 0, 'note', '', x'', 0, 0, line FROM events ORDER BY seq;"
             "DROP TABLE events;");
        exec(cat({"PRAGMA user_version = ", std::to_string(kFormatVersion)}).c_str());
        std::fprintf(stderr, "devsim: %s: upgraded from device file format 1 to %d\n", path_.c_str(),
                     kFormatVersion);
    }
    if (pragma("SELECT count(*) FROM settings") != static_cast<int64_t>(catalogue().size()))
        insertDefaults(); // settings the device has learnt since the file was made
}

} // namespace

std::unique_ptr<Store> makeFileStore(const std::string &path, unsigned busy_timeout_ms) {
    auto store = std::make_unique<FileStore>(path, busy_timeout_ms);
    store->open();
    return store;
}

bool fileStoreAvailable() { return true; }

} // namespace devsim
