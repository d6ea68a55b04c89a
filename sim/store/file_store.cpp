// file_store.cpp - the device kept in an SQLite file shared by every process.
//
// The file is in WAL mode with synchronous=NORMAL: a transaction is in the
// WAL when COMMIT returns, so a process killed at any point loses nothing
// that a call reported done; only a power cut may lose the last commits
// before a checkpoint (which is when SQLite syncs the file). Writers take the lock with BEGIN IMMEDIATE
// and wait for it up to the busy timeout.
#include "store/store.h"
#include "store/text.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

namespace devsim {
namespace {

// Marks a file as the simulated device's ("MLST") and its layout's version.
// Version 1 was written by entmlst before the simulator kept the file
// itself (its log as plain lines); version 2 had a table per kind of row;
// version 3 keeps every row in one table of keyed bytes beside the log;
// version 4 logs the calling program's name; version 5 keeps a checksum
// with every row; version 6 logs arming and clearing a fault as kinds of
// their own, "fault" being a firing only; version 7 keeps with each log
// entry the bytes its call moved.
constexpr int kApplicationId = 0x4d4c5354;
constexpr int kFormatVersion = 7;

constexpr const char *kTables = R"(
CREATE TABLE rows(space INTEGER NOT NULL, major INTEGER NOT NULL, minor INTEGER NOT NULL, value BLOB NOT NULL,
                  sum INTEGER NOT NULL, PRIMARY KEY(space, major, minor)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS log(seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, pid INTEGER NOT NULL,
                 kind TEXT NOT NULL, service TEXT NOT NULL, args BLOB NOT NULL, result INTEGER NOT NULL,
                 done INTEGER NOT NULL, text TEXT NOT NULL, program TEXT NOT NULL DEFAULT '',
                 data BLOB NOT NULL DEFAULT x'');
)";

int64_t i64(uint64_t v) { return static_cast<int64_t>(v); }

// The log's entries a filter selects, newest first (so that a count reads
// only the entries it shows), with data for the bytes of each.
std::string selectLog(const char *data) {
    std::string kinds;
    for (std::size_t i = 0; i < kLogKindCount; ++i)
        if (namesService(static_cast<LogKind>(i)))
            kinds += cat({kinds.empty() ? "'" : ", '", logKindName(static_cast<LogKind>(i)), "'"});
    return cat({"SELECT seq, time, pid, kind, service, args, result, done, text, program, ", data,
                " FROM log WHERE seq > ? AND time >= ? AND (? OR pid = ?) AND (? OR program = ?) AND (? OR "
                "(service = ? AND "
                "kind IN (",
                kinds, "))) AND (? OR kind = ?) AND (? OR seq < ?) ORDER BY seq DESC LIMIT ?"});
}

// A row's checksum, as flash settings stores keep one with each entry: 64
// bits over its space, key and value, so that a changed byte, a value cut or
// lengthened and a row moved to another key all show. Each step is a
// bijection of the state for a given word and of the word for a given
// state, so one changed word (any one changed byte) always changes the sum.
// Words are read little-endian, so a file means the same on every host.
int64_t rowSum(Space sp, Key k, const Bytes &value) {
    uint64_t h = 0x9e3779b97f4a7c15u;
    auto mix = [&h](uint64_t w) { h = std::rotl(h ^ (w * 0x87c37b91114253d5u), 31) * 0x4cf5ad432745937fu; };
    mix(static_cast<uint64_t>(sp));
    mix(k.major);
    mix(k.minor);
    mix(value.size());
    for (std::size_t i = 0; i < value.size(); i += 8) {
        uint64_t w = 0;
        for (std::size_t j = 0; j < 8 && i + j < value.size(); ++j) w |= uint64_t{value[i + j]} << (8 * j);
        mix(w);
    }
    h = (h ^ (h >> 33)) * 0xff51afd7ed558ccdu; // the last word's bits reach the low ones too
    return i64(h ^ (h >> 33));
}

// A row as messages name it, by what it holds for the device.
std::string rowName(Space sp, Key k) {
    const std::string major = std::to_string(k.major), minor = std::to_string(k.minor);
    switch (sp) {
    case Space::settings:
        return cat({"settings ID ", hex(k.major)});
    case Space::jobs:
        return cat({"job ", major});
    case Space::values:
        return cat({"value ID ", hex(k.minor), " of job ", major});
    case Space::parents:
        return cat({"parent link of job ", major});
    case Space::children:
        return cat({"child link ", minor, " of job ", major});
    case Space::faults:
        return cat({"armed fault ", major});
    case Space::meta:
        return cat({"device record ", major});
    }
    return cat({"row ", std::to_string(static_cast<int>(sp)), " ", major, " ", minor});
}

std::string mismatch(Space sp, Key k) { return cat({rowName(sp, k), " does not match its checksum"}); }

// The bytes of the file SQLite locks: every connection holds them shared
// while it is open (pending, reserved and shared bytes).
constexpr off_t kFileLocks = 0x40000000, kFileLocksSize = 512;
// A byte of the file SQLite never locks: held by a process that opens the
// device from its look at the companion files until SQLite holds the file.
constexpr off_t kOpening = kFileLocks + kFileLocksSize;
// Bytes of -shm past SQLite's locks, where each process using it through
// this simulator marks the file it holds: a shared lock at an offset from
// the file's inode number. SQLite's own locks do not say whose -shm it is.
constexpr off_t kMarks = off_t{1} << 32, kMarksSize = off_t{1} << 31;
off_t markOf(ino_t ino) { return kMarks + static_cast<off_t>(ino % kMarksSize); }

// Whether any process, this one too, holds a lock on those bytes of fd.
bool lockedByAnyone(int fd, off_t start, off_t size) {
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    l.l_start = start;
    l.l_len = size;
    return ::fcntl(fd, F_OFD_GETLK, &l) == 0 && l.l_type != F_UNLCK;
}

// Blocks SIGXFSZ while the file is written, so that a write past the file
// size limit fails (and is answered) instead of ending the program, and
// discards the one the write raised. Without a limit there is nothing to
// do. The program's own disposition is left alone, and so is a SIGXFSZ it
// blocks itself (one pending then may be its own).
class NoFileSizeSignal {
public:
    NoFileSizeSignal() {
        rlimit limit{};
        if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
        sigemptyset(&xfsz_);
        sigaddset(&xfsz_, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &xfsz_, &old_);
        active_ = sigismember(&old_, SIGXFSZ) == 0;
    }
    ~NoFileSizeSignal() {
        if (!active_) return;
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGXFSZ) == 1) {
            const timespec now{};
            sigtimedwait(&xfsz_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    NoFileSizeSignal(const NoFileSizeSignal &) = delete;
    NoFileSizeSignal &operator=(const NoFileSizeSignal &) = delete;

private:
    sigset_t xfsz_{}, old_{};
    bool active_ = false;
};

class FileStore final : public Store {
public:
    FileStore(const std::string &path, unsigned timeout_ms) : path_(path), timeout_ms_(timeout_ms) {}
    // The last process to close the file folds the WAL into it and removes
    // -wal and -shm (SQLite does this when no other connection is open), so
    // that a copy of a device no process holds is the whole device. The fold
    // syncs the WAL and then the file: two fsyncs for that last process
    // only, against a file that a power cut in an unsynced fold could leave
    // damaged rather than merely short of its last changes. A file no
    // longer at the path is let go without touching the path (letGo()).
    // The descriptors close last: closing one drops this process's locks.
    ~FileStore() override {
        NoFileSizeSignal no_signal;
        for (auto &[sql, stmt] : stmts_) sqlite3_finalize(stmt);
        if (db_ != nullptr && !gone_ && moved()) letGo();
        sqlite3_close(db_);
        if (shm_fd_ >= 0) ::close(shm_fd_);
        if (file_fd_ >= 0) ::close(file_fd_);
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

    // Runs body inside the transaction (or savepoint) just begun, counted
    // as open; undoes it when body throws.
    void inside(const std::function<void()> &body, bool outer) {
        ++depth_;
        try {
            body();
        } catch (...) {
            --depth_;
            undo(outer);
            throw;
        }
        --depth_;
    }

    // Runs body inside the transaction (or savepoint) just begun, then
    // commits it, or undoes it when body or the commit throws.
    void finish(const std::function<void()> &body, bool outer) {
        inside(body, outer);
        try {
            exec(outer ? "COMMIT" : "RELEASE nested");
        } catch (...) {
            undo(outer);
            throw;
        }
    }

public:
    // A transaction inside another (a service call inside a batch) is a
    // savepoint: it is undone alone when it fails, and kept with the outer one.
    void transact(const std::function<void()> &body) override {
        NoFileSizeSignal no_signal;
        if (read_only_) readOnly();
        bool outer = depth_ == 0;
        if (outer) stillAtPath();
        exec(outer ? "BEGIN IMMEDIATE" : "SAVEPOINT nested");
        finish(body, outer);
    }

    bool transactNow(const std::function<void()> &body) override {
        NoFileSizeSignal no_signal;
        if (read_only_) readOnly();
        if (depth_ != 0) {
            transact(body);
            return true;
        }
        stillAtPath();
        sqlite3_busy_timeout(db_, 0);
        const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(db_, static_cast<int>(timeout_ms_));
        if ((rc & 0xff) == SQLITE_BUSY) return false;
        if (rc != SQLITE_OK) fail();
        finish(body, true);
        return true;
    }

    // A read inside a transaction is part of it; an outer one is BEGIN
    // DEFERRED, which in WAL mode reads its own snapshot beside a writer,
    // and ends in ROLLBACK so that nothing it did can reach the file.
    void read(const std::function<void()> &body) override {
        NoFileSizeSignal no_signal;
        if (depth_ != 0) {
            body();
            return;
        }
        // Reads go on in the file held, wherever it is now: a deleted
        // device's log can still be read.
        if (!gone_ && moved()) letGo();
        if (!marked_ && !gone_) mark();
        exec("BEGIN");
        inside(body, true);
        exec("ROLLBACK");
    }

    std::optional<Bytes> get(Space sp, Key k) override {
        Query q(*this, sums_ ? "SELECT value, sum FROM rows WHERE space = ? AND major = ? AND minor = ?"
                             : "SELECT value, 0 FROM rows WHERE space = ? AND major = ? AND minor = ?");
        q.bind(1, static_cast<int64_t>(sp)).bind(2, i64(k.major)).bind(3, i64(k.minor));
        if (!q.row()) return std::nullopt;
        return checked(q, 0, sp, k);
    }
    void put(Space sp, Key k, const Bytes &value) override {
        Query(*this, "INSERT OR REPLACE INTO rows(space, major, minor, value, sum) VALUES(?, ?, ?, ?, ?)")
            .bind(1, static_cast<int64_t>(sp))
            .bind(2, i64(k.major))
            .bind(3, i64(k.minor))
            .bind(4, value)
            .bind(5, rowSum(sp, k, value))
            .run();
    }
    void erase(Space sp, Key k) override {
        Query(*this, "DELETE FROM rows WHERE space = ? AND major = ? AND minor = ?")
            .bind(1, static_cast<int64_t>(sp))
            .bind(2, i64(k.major))
            .bind(3, i64(k.minor))
            .run();
    }
    std::vector<Row> scan(Space sp, std::optional<uint64_t> major) override {
        Query q(*this, sums_
                           ? "SELECT major, minor, value, sum FROM rows WHERE space = ? AND (? OR major = ?) "
                             "ORDER BY major, minor"
                           : "SELECT major, minor, value, 0 FROM rows WHERE space = ? AND (? OR major = ?) "
                             "ORDER BY major, minor");
        q.bind(1, static_cast<int64_t>(sp)).bind(2, !major).bind(3, i64(major.value_or(0)));
        std::vector<Row> out;
        while (q.row()) {
            const Key k{static_cast<uint64_t>(q.integer(0)), static_cast<uint64_t>(q.integer(1))};
            out.push_back(Row{k, checked(q, 2, sp, k)});
        }
        return out;
    }
    std::vector<Key> keys(Space sp, std::optional<uint64_t> major) override {
        Query q(*this,
                "SELECT major, minor FROM rows WHERE space = ? AND (? OR major = ?) ORDER BY major, minor");
        q.bind(1, static_cast<int64_t>(sp)).bind(2, !major).bind(3, i64(major.value_or(0)));
        std::vector<Key> out;
        while (q.row())
            out.push_back({static_cast<uint64_t>(q.integer(0)), static_cast<uint64_t>(q.integer(1))});
        return out;
    }
    std::vector<std::string> tampered() override {
        std::vector<std::string> out;
        if (!sums_) return out;
        Query q(*this, "SELECT space, major, minor, value, sum FROM rows ORDER BY space, major, minor");
        while (q.row()) {
            const auto sp = static_cast<Space>(q.integer(0));
            const Key k{static_cast<uint64_t>(q.integer(1)), static_cast<uint64_t>(q.integer(2))};
            if (q.integer(4) != rowSum(sp, k, q.blob(3))) out.push_back(mismatch(sp, k));
        }
        return out;
    }

    void append(const LogEntry &e) override {
        Bytes args(e.args.size() * sizeof(uint64_t));
        if (!e.args.empty()) std::memcpy(args.data(), e.args.data(), args.size());
        Query(*this,
              "INSERT INTO log(seq, time, pid, kind, service, args, result, done, text, program, data) "
              "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .bind(1, i64(e.seq))
            .bind(2, e.time_us)
            .bind(3, e.pid)
            .bind(4, std::string(logKindName(e.kind)))
            .bind(5, std::string(serviceName(e.service)))
            .bind(6, args)
            .bind(7, e.result)
            .bind(8, e.done)
            .bind(9, e.text)
            .bind(10, e.program)
            .bind(11, e.data)
            .run();
    }
    std::vector<LogEntry> log(const LogFilter &f) override {
        // Newest first, so that a count reads only the entries it shows.
        static const std::string sql[2] = {selectLog("x''"), selectLog("data")};
        Query q(*this, sql[data_].c_str());
        q.bind(1, i64(f.after_seq)).bind(2, f.since_us).bind(3, !f.pid).bind(4, f.pid.value_or(0));
        q.bind(5, f.program.empty()).bind(6, f.program);
        q.bind(7, !f.service).bind(8, std::string(f.service ? serviceName(*f.service) : ""));
        q.bind(9, !f.kind).bind(10, std::string(f.kind ? logKindName(*f.kind) : ""));
        q.bind(11, f.before_seq == 0).bind(12, i64(f.before_seq));
        q.bind(13, f.newest == 0 ? int64_t{-1} : static_cast<int64_t>(f.newest));
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
            e.program = q.text(9);
            e.data = q.blob(10);
            out.push_back(std::move(e));
        }
        std::reverse(out.begin(), out.end());
        return out;
    }
    uint64_t newestSeq() override {
        Query q(*this, "SELECT coalesce(max(seq), 0) FROM log");
        return q.row() ? static_cast<uint64_t>(q.integer(0)) : 0;
    }
    void drop(uint64_t through) override {
        Query(*this, "DELETE FROM log WHERE seq <= ?").bind(1, i64(through)).run();
    }

    DeviceStatus status() override {
        DeviceStatus s;
        s.path = path_;
        s.schema_version = static_cast<int>(pragma("PRAGMA user_version"));
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0) s.file_size = static_cast<uint64_t>(st.st_size);
        s.created_now = created_now_;
        return s;
    }

private:
    std::string path_;
    unsigned timeout_ms_;
    bool created_now_ = false;
    bool read_only_ = false;
    bool sums_ = true;    // false for a file of the format before them, read as it is
    bool data_ = true;    // false for a file of a format before the log kept bytes, read as it is
    bool gone_ = false;   // the file was found no longer at path_
    bool marked_ = false; // this process's mark is on the -shm
    int shm_fd_ = -1;
    int file_fd_ = -1;
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

    // The value in column col of a row just read, once the sum in the next
    // column matches it and its key.
    Bytes checked(Query &q, int col, Space sp, Key k) {
        Bytes value = q.blob(col);
        if (sums_ && q.integer(col + 1) != rowSum(sp, k, value)) damaged(path_, mismatch(sp, k));
        return value;
    }

    // The error of the last SQLite call, as the device's answer to it,
    // named by its cause.
    [[noreturn]] void fail() {
        const int rc = sqlite3_errcode(db_) & 0xff;
        const int e = sqlite3_system_errno(db_);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            std::string who = "another process";
            if (pid_t pid = lockHolder(); pid > 0) who += " (pid " + std::to_string(pid) + ")";
            throw DeviceError(kDeviceBusy, cat({path_, ": locked by ", who, " for more than ",
                                                std::to_string(timeout_ms_), " ms"}));
        }
        std::string cause;
        if (rc == SQLITE_NOTADB)
            throw DeviceError(kDeviceFile,
                              path_ + ": not a device file (not an SQLite database); it was left as it is");
        if (e == EFBIG)
            cause = "too large for the file size limit (ulimit -f)";
        else if (rc == SQLITE_READONLY)
            cause = "read-only";
        else if (rc == SQLITE_FULL || e == ENOSPC)
            cause = "disk full";
        else if (rc == SQLITE_CORRUPT)
            cause = "damaged";
        else if (e == EACCES || e == EPERM || rc == SQLITE_PERM)
            cause = "permission denied";
        else if (e == EROFS)
            cause = "read-only";
        std::string why = sqlite3_errmsg(db_);
        if (e != 0 && (rc == SQLITE_IOERR || rc == SQLITE_CANTOPEN))
            why = cat({why, " (", std::strerror(e), ")"});
        throw DeviceError(kDeviceFile,
                          cause.empty() ? cat({path_, ": ", why}) : cat({path_, ": ", cause, ": ", why}));
    }
    [[noreturn]] void readOnly() {
        throw DeviceError(kDeviceFile,
                          path_ + ": read-only: this process cannot write the file or its folder");
    }
    // Whether the file SQLite holds is no longer the one at path_: deleted,
    // moved away or replaced (one stat).
    bool moved() {
        int moved = 0;
        return sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
    }
    // Each outer write transaction first makes sure that the file is still
    // the one at path_. Once it is not, the path's file and companions may
    // be another device's: this process answers the device file's failure
    // to every write from then on and never reads, writes or removes
    // anything at the path again.
    void stillAtPath() {
        if (!gone_ && !moved()) {
            if (!marked_) mark();
            return;
        }
        if (!gone_) letGo();
        throw DeviceError(kDeviceFile, path_ + ": the file was deleted, moved or replaced while in use; this "
                                               "process no longer uses it (open the device again)");
    }
    // What was committed goes into the file, which a move keeps, and the
    // -wal is left empty; SQLite's removal of -wal and -shm by name at the
    // last close is turned off, as those names may be another file's now.
    void letGo() {
        gone_ = true;
        sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        int keep = 1;
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    }
    // Marks the -shm as one this process uses for its file (kMarks); once
    // SQLite has made it, while the file is at the path.
    void mark() {
        struct stat file {};
        if (read_only_ || file_fd_ < 0 || ::fstat(file_fd_, &file) != 0) return;
        if (shm_fd_ < 0) shm_fd_ = ::open((path_ + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
        struct flock l {};
        l.l_type = F_RDLCK;
        l.l_whence = SEEK_SET;
        l.l_start = markOf(file.st_ino);
        l.l_len = 1;
        marked_ = shm_fd_ >= 0 && ::fcntl(shm_fd_, F_OFD_SETLK, &l) == 0;
    }
    // The process holding the write lock, when the system says: the lock
    // is a byte of -shm. The descriptor stays open until the connection
    // closes, as closing it would drop this process's own locks on -shm.
    pid_t lockHolder() {
        if (shm_fd_ < 0 && !gone_ && !moved())
            shm_fd_ = ::open((path_ + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
        if (shm_fd_ < 0) return 0;
        struct flock l {};
        l.l_type = F_WRLCK;
        l.l_whence = SEEK_SET;
        l.l_start = 120; // the WAL's write lock
        l.l_len = 1;
        if (::fcntl(shm_fd_, F_GETLK, &l) != 0 || l.l_type == F_UNLCK) return 0;
        return l.l_pid;
    }
    void exec(const char *sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail();
    }
    int64_t pragma(const char *sql) {
        Query q(*this, sql);
        return q.row() ? q.integer(0) : 0;
    }
    void createFile();
    void holdOpening(bool on);
    void setAsideStale();
    void checkFiles(const struct stat &file);
    bool checkLayout(bool may_write);
    void upgrade(int64_t from);
    void tablesToRows(int64_t from);
};

void FileStore::createFile() {
    // The file holds passwords: only its owner may read it, and the owner
    // must be able to write it whatever the umask (SQLite gives -wal and
    // -shm the file's mode).
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
        throw DeviceError(kDeviceFile, path_ + ": cannot create: " + std::strerror(errno));
    if (fd >= 0 && ::fchmod(fd, 0600) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(path_.c_str());
        throw DeviceError(kDeviceFile, path_ + ": cannot create: " + std::strerror(e));
    }
    if (fd >= 0) ::close(fd);
    created_now_ = fd >= 0;
}

// Processes open the file one at a time, from the look at its companions
// until SQLite holds it in WAL mode, so that none judges another's new -wal
// and -shm. A stopped process is waited for up to the busy timeout; a file
// that cannot be opened for writing goes without.
void FileStore::holdOpening(bool on) {
    struct flock l {};
    l.l_type = on ? F_WRLCK : F_UNLCK;
    l.l_whence = SEEK_SET;
    l.l_start = kOpening;
    l.l_len = 1;
    for (unsigned waited_ms = 0; ::fcntl(file_fd_, F_OFD_SETLK, &l) != 0; waited_ms += 2) {
        if (errno != EAGAIN && errno != EACCES) return;
        if (waited_ms >= timeout_ms_)
            throw DeviceError(kDeviceBusy, cat({path_, ": another process has been opening it for more than ",
                                                std::to_string(timeout_ms_), " ms"}));
        const timespec pause{0, 2000000};
        nanosleep(&pause, nullptr);
    }
}

// -wal and -shm left by a file that is no longer at the path (deleted,
// moved away or replaced while a process held it) would be taken by SQLite
// for the file there now, and damage it. They are renamed aside, never
// applied, when no process holds the file at the path and either this
// process has just made that file or the -shm bears the mark of another
// file and none of this one's. Left by a process that was killed, or used
// by a program without this simulator, they cannot be told from the file's
// own: they are kept.
void FileStore::setAsideStale() {
    const std::string wal = path_ + "-wal", shm = path_ + "-shm";
    struct stat st {};
    auto there = [&st](const std::string &p) { return ::lstat(p.c_str(), &st) == 0; };
    if (file_fd_ < 0 || lockedByAnyone(file_fd_, kFileLocks, kFileLocksSize)) return;
    if (!created_now_) {
        struct stat file {};
        if (!there(shm) || !S_ISREG(st.st_mode) || ::fstat(file_fd_, &file) != 0) return;
        shm_fd_ = ::open(shm.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        const off_t mine = markOf(file.st_ino);
        if (shm_fd_ < 0 || lockedByAnyone(shm_fd_, mine, 1) ||
            !((mine > kMarks && lockedByAnyone(shm_fd_, kMarks, mine - kMarks)) ||
              lockedByAnyone(shm_fd_, mine + 1, kMarks + kMarksSize - mine - 1)))
            return;
        ::close(shm_fd_);
        shm_fd_ = -1;
    }
    std::string suffix = ".stale";
    for (int n = 2; there(wal + suffix) || there(shm + suffix); ++n) suffix = ".stale" + std::to_string(n);
    std::string aside;
    for (const std::string &p : {wal, shm}) {
        if (!there(p)) continue;
        if (::rename(p.c_str(), (p + suffix).c_str()) != 0)
            throw DeviceError(kDeviceFile,
                              cat({p, ": left by a file no longer there, and cannot be set aside: ",
                                   std::strerror(errno)}));
        aside += cat({aside.empty() ? "" : " and ", p, suffix});
    }
    if (!aside.empty())
        std::fprintf(stderr,
                     "devsim: %s: set aside %s, left by a file deleted, moved or replaced while in use\n",
                     path_.c_str(), aside.c_str());
}

// What is there before SQLite opens it. A device file's data may be only
// in its -wal until the last process closes it; an empty file next to a
// -wal that holds something is such a device, damaged, not a new one. A
// file that does not start as SQLite's do is not a device file, whatever
// its size. The companion files are never more open than the file, and
// all of them must be the user's own.
void FileStore::checkFiles(const struct stat &file) {
    const char *trust = std::getenv("ENTMLST_TRUST_OWNER");
    const bool trust_owner = trust != nullptr && std::string(trust) == "1";
    auto owned = [&](const std::string &p, const struct stat &st) {
        if (trust_owner || st.st_uid == ::geteuid()) return;
        const passwd *pw = ::getpwuid(st.st_uid);
        throw DeviceError(kDeviceFile,
                          cat({p, ": owned by ", pw ? pw->pw_name : "uid " + std::to_string(st.st_uid),
                               ", not by you: another user could read the passwords you set "
                               "(ENTMLST_TRUST_OWNER=1 uses it anyway)"}));
    };
    owned(path_, file);
    off_t companions = 0;
    for (const char *suffix : {"-wal", "-shm"}) {
        const std::string p = path_ + suffix;
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) continue;
        if (!S_ISREG(st.st_mode)) throw DeviceError(kDeviceFile, p + ": not a regular file");
        owned(p, st);
        if (std::string(suffix) == "-wal") companions += st.st_size;
        if ((st.st_mode & 0777 & ~(file.st_mode & 0777)) != 0 &&
            ::chmod(p.c_str(), st.st_mode & file.st_mode & 0777) != 0)
            throw DeviceError(
                kDeviceFile,
                cat({p, ": cannot narrow its mode to the device file's: ", std::strerror(errno)}));
    }
    if (file.st_size == 0) {
        if (companions > 0)
            throw DeviceError(kDeviceFile,
                              cat({path_, ": damaged: the file is empty but its -wal holds ",
                                   std::to_string(companions), " bytes; both were left as they are"}));
        return; // a new device, or one whose making was cut short
    }
    char head[16] = {};
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t got = fd >= 0 ? ::read(fd, head, sizeof head) : -1;
    if (fd >= 0) ::close(fd);
    if (got < 0) return; // SQLite says why
    if (got != sizeof head || std::memcmp(head, "SQLite format 3", 16) != 0)
        throw DeviceError(kDeviceFile,
                          path_ + ": not a device file (not an SQLite database); it was left as it is");
}

void FileStore::open() {
    NoFileSizeSignal no_signal;
    const std::size_t slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0               ? std::string("/")
                                                       : path_.substr(0, slash);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw DeviceError(kDeviceFile, path_ + ": directory " + dir + " does not exist");
    const bool there = ::stat(path_.c_str(), &st) == 0;
    if (there && !S_ISREG(st.st_mode)) throw DeviceError(kDeviceFile, path_ + ": not a regular file");
    if (!there) createFile();
    // Kept open until the connection closes: closing it would drop this
    // process's locks on the file.
    file_fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (file_fd_ < 0) file_fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    holdOpening(true);
    setAsideStale();
    if (there) checkFiles(st);
    // A write to a file that is read as it is answers "read-only".
    std::string name = readOnlyName(path_);
    read_only_ = !name.empty();
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (read_only_)
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    else
        name = path_;
    if (sqlite3_open_v2(name.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        if (db_ == nullptr) throw DeviceError(kDeviceFile, path_ + ": out of memory");
        fail();
    }
    sqlite3_busy_timeout(db_, static_cast<int>(timeout_ms_));
    exec("PRAGMA synchronous = NORMAL");
    // A process that opens the file first reads the WAL through; folding it
    // back every 200 pages keeps that short (each service call adds about one).
    exec("PRAGMA wal_autocheckpoint = 200");
    exec("PRAGMA journal_size_limit = 1048576");
    // Checked in a read transaction first: a file that needs no change is
    // opened without waiting for a writer.
    bool ready = false;
    read([&] { ready = checkLayout(false); });
    if (!ready) transact([&] { checkLayout(true); });
    // Only now is it known to be a device file, with the device's passwords.
    if (::stat(path_.c_str(), &st) == 0 && (st.st_mode & 077))
        std::fprintf(stderr,
                     "devsim: warning: %s (and its -wal and -shm) can be read by other users (mode %03o) and "
                     "holds the device's passwords; chmod 600 it\n",
                     path_.c_str(), static_cast<unsigned>(st.st_mode & 0777));
    // Persistent in the file; a no-op once set.
    if (!read_only_) {
        Query mode(*this, "PRAGMA journal_mode = WAL");
        if (!mode.row() || mode.text(0) != "wal")
            throw DeviceError(kDeviceFile, path_ + ": cannot switch to WAL mode");
    }
    holdOpening(false);
}

// Makes the layout in an empty file, upgrades one written by an older
// libdevsim or entmlst, and refuses anything else without touching it.
// False when it would have to write and may not.
bool FileStore::checkLayout(bool may_write) {
    int64_t app = pragma("PRAGMA application_id");
    int64_t version = pragma("PRAGMA user_version");
    int64_t objects = pragma("SELECT count(*) FROM sqlite_master");
    if (app == 0 && version == 0 && objects == 0) {
        if (!may_write) return false;
        exec(kTables);
        exec(cat({"PRAGMA application_id = ", std::to_string(kApplicationId)}).c_str());
        exec(cat({"PRAGMA user_version = ", std::to_string(kFormatVersion)}).c_str());
        created_now_ = true;
        return true;
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
    if (version == kFormatVersion) return true;
    // The formats since the program's name read the same; a file of one
    // that cannot be written here is read as it is: format 4's rows
    // unchecked, format 5's armings and clearings logged as kind "fault".
    if (version >= 4 && read_only_) {
        sums_ = version >= 5;
        data_ = version >= 7;
        if (!sums_)
            std::fprintf(
                stderr,
                "devsim: %s: device file format %d, read as it is: its rows carry no checksums, so a "
                "value changed behind the device's back goes unnoticed until it is opened where it can "
                "be written (and upgraded)\n",
                path_.c_str(), static_cast<int>(version));
        return true;
    }
    if (!may_write) return false;
    upgrade(version);
    return true;
}

// Format 1 and 2's tables become rows, in the layout device_state.cpp
// reads; format 1's log lines become notes. Armed faults are not kept.
// Entries logged before format 4 have no program; every row gets its sum.
// Before format 6 an arming or clearing was a "fault" whose text started
// "armed " or "cleared "; the kind now says so.
void FileStore::upgrade(int64_t from) {
    if (from <= 2)
        tablesToRows(from);
    else if (from <= 4)
        exec("ALTER TABLE rows ADD COLUMN sum INTEGER NOT NULL DEFAULT 0");
    if (from <= 3) exec("ALTER TABLE log ADD COLUMN program TEXT NOT NULL DEFAULT ''");
    if (from <= 6) exec("ALTER TABLE log ADD COLUMN data BLOB NOT NULL DEFAULT x''");
    std::vector<std::pair<Space, Row>> all;
    if (from <= 4) {
        Query q(*this, "SELECT space, major, minor, value FROM rows");
        while (q.row())
            all.push_back(
                {static_cast<Space>(q.integer(0)),
                 Row{{static_cast<uint64_t>(q.integer(1)), static_cast<uint64_t>(q.integer(2))}, q.blob(3)}});
    }
    for (const auto &[sp, r] : all) put(sp, r.key, r.value);
    for (LogKind k : {LogKind::armed, LogKind::cleared}) {
        const std::string name = logKindName(k);
        exec(cat({"UPDATE log SET kind = '", name, "', text = substr(text, ", std::to_string(name.size() + 2),
                  ") WHERE kind = 'fault' AND substr(text, 1, ", std::to_string(name.size() + 1), ") = '",
                  name, " '"})
                 .c_str());
    }
    exec(cat({"PRAGMA user_version = ", std::to_string(kFormatVersion)}).c_str());
    std::fprintf(stderr, "devsim: %s: upgraded from device file format %d to %d\n", path_.c_str(),
                 static_cast<int>(from), kFormatVersion);
}

void FileStore::tablesToRows(int64_t from) {
    if (from == 1)
        exec("CREATE TABLE log(seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, pid INTEGER NOT NULL, "
             "kind TEXT NOT NULL, service TEXT NOT NULL, args BLOB NOT NULL, result INTEGER NOT NULL, "
             "done INTEGER NOT NULL, text TEXT NOT NULL);"
             "INSERT INTO log(time, pid, kind, service, args, result, done, text) "
             "SELECT 0, 0, 'note', '', x'', 0, 0, line FROM events ORDER BY seq;"
             "DROP TABLE events;");
    exec(kTables);
    auto space = [](Space sp) { return std::to_string(static_cast<int>(sp)); };
    // Summed with the rest by upgrade().
    exec(cat({"INSERT INTO rows SELECT ", space(Space::settings), ", id, 0, value, 0 FROM settings;",
              "INSERT INTO rows SELECT ", space(Space::jobs), ", id, 0, x'', 0 FROM jobs;",
              "INSERT INTO rows SELECT ", space(Space::values), ", job, value_id, value, 0 FROM job_values;"})
             .c_str());
    {
        Query q(*this, "SELECT job, parent FROM parents");
        while (q.row())
            put(Space::parents, {static_cast<uint64_t>(q.integer(0))}, packU64s({u32(q.integer(1))}));
    }
    {
        Query q(*this, "SELECT job, seq, kind, link FROM children");
        while (q.row())
            put(Space::children, {static_cast<uint64_t>(q.integer(0)), static_cast<uint64_t>(q.integer(1))},
                packU64s({u32(q.integer(2)), u32(q.integer(3))}));
    }
    for (auto &[sql, stmt] : stmts_) sqlite3_finalize(stmt);
    stmts_.clear();
    exec("DROP TABLE settings; DROP TABLE jobs; DROP TABLE job_values; DROP TABLE parents; DROP TABLE "
         "children;");
    if (from >= 2) exec("DROP TABLE faults; DROP TABLE meta;");
}

} // namespace

std::string readOnlyName(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0               ? std::string("/")
                                                       : path.substr(0, slash);
    struct stat wal {};
    if (::stat((path + "-wal").c_str(), &wal) == 0 && wal.st_size > 0) return {};
    if (::access(path.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK) == 0) return {};
    std::string name = "file:";
    for (char c : path) name += c == '%' ? "%25" : c == '?' ? "%3f" : c == '#' ? "%23" : std::string(1, c);
    return name + "?immutable=1";
}

// Opens (creating 0600 in an existing directory if missing) the device file.
const BackEnd kFileBackEnd("file",
                           [](const std::string &path, unsigned busy_timeout_ms) -> std::unique_ptr<Store> {
                               auto store = std::make_unique<FileStore>(path, busy_timeout_ms);
                               store->open();
                               return store;
                           });

} // namespace devsim
