// device_file.cpp - the simulated device's state in an SQLite file.
//
// Every command holds the file's write lock (BEGIN IMMEDIATE) from loading
// the state to writing it back, so commands of several processes run one
// after the other and none loses another's writes; a process killed halfway
// leaves the file as the last COMMIT left it.
#include "device_session.h"

#include "devsim.h"
#include "record_fields.h"
#include "usage_error.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace entmlst {
namespace fs = std::filesystem;
namespace {

// Marks a file as ours ("MLST") and its layout's version.
constexpr int kApplicationId = 0x4d4c5354;
constexpr int kFormatVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

constexpr const char *kSchema = R"(
CREATE TABLE settings(id INTEGER PRIMARY KEY, value BLOB NOT NULL);
CREATE TABLE jobs(id INTEGER PRIMARY KEY);
CREATE TABLE job_values(job INTEGER NOT NULL, value_id INTEGER NOT NULL, value BLOB NOT NULL,
                        PRIMARY KEY(job, value_id));
CREATE TABLE parents(job INTEGER PRIMARY KEY, parent INTEGER NOT NULL);
CREATE TABLE children(seq INTEGER PRIMARY KEY, job INTEGER NOT NULL, kind INTEGER NOT NULL,
                      link INTEGER NOT NULL);
CREATE TABLE events(seq INTEGER PRIMARY KEY, line TEXT NOT NULL);
)";

using devsim::Bytes;

// A prepared statement; every failure becomes a DeviceFileError.
class Stmt {
public:
    Stmt(sqlite3 *db, const std::string &path, const char *sql) : db_(db), path_(path) {
        if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK)
            error();
    }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    Stmt &bind(int i, int64_t v) {
        check(sqlite3_bind_int64(s_, i, v));
        return *this;
    }
    Stmt &bind(int i, const Bytes &b) {
        check(sqlite3_bind_blob(s_, i, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Stmt &bind(int i, const std::string &t) {
        check(sqlite3_bind_text(s_, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT));
        return *this;
    }
    bool row() {
        int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            error();
        return false;
    }
    // Runs a statement that returns no rows, ready to be bound again.
    void run() {
        row();
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    int64_t integer(int col) { return sqlite3_column_int64(s_, col); }
    std::string text(int col) {
        const auto *p = sqlite3_column_text(s_, col);
        return p ? reinterpret_cast<const char *>(p) : "";
    }
    Bytes blob(int col) {
        const auto *p = static_cast<const uint8_t *>(sqlite3_column_blob(s_, col));
        return p ? Bytes(p, p + sqlite3_column_bytes(s_, col)) : Bytes();
    }

private:
    sqlite3 *db_;
    const std::string &path_;
    sqlite3_stmt *s_ = nullptr;
    void check(int rc) {
        if (rc != SQLITE_OK)
            error();
    }
    [[noreturn]] void error() { throw DeviceFileError(path_ + ": " + sqlite3_errmsg(db_)); }
};

uint32_t u32(int64_t v) { return static_cast<uint32_t>(v); }

} // namespace

// The open file and what was loaded from it. Closes the file (rolling back
// an open transaction) however the session ends, also when its constructor
// throws.
struct DeviceSession::File {
    sqlite3 *db = nullptr;
    bool in_transaction = false;
    std::string path;
    devsim::State loaded;
    std::size_t monitor_mark = 0;
    std::size_t events_mark = 0;

    explicit File(const std::string &p) : path(p) {}
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File() {
        if (in_transaction)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    void open();
    void exec(const char *sql);
    void initialise();
    void load();
    [[noreturn]] void fail(const std::string &what);
};

void simulatorOnly(const std::string &) {}

std::string devicePath(const std::string &option) {
    if (!option.empty())
        return option;
    if (const char *env = std::getenv("ENTMLST_DEVICE"); env && *env)
        return env;
    fs::path dir;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        dir = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        dir = fs::path(home) / ".local" / "share";
    else
        throw DeviceFileError("no HOME: give the device file with --device FILE");
    dir /= "entmlst";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw DeviceFileError(dir.string() + ": " + ec.message());
    return (dir / "device.db").string();
}

ArmedFault parseFault(const std::string &text) {
    auto [lhs, code] = splitAssignment(text);
    ArmedFault f;
    f.service = lhs;
    if (auto hash = lhs.find('#'); hash != std::string::npos) {
        f.service = lhs.substr(0, hash);
        f.nth = parseNumber("--fail call number", lhs.substr(hash + 1));
        if (f.nth == 0)
            throw UsageError("--fail " + text + ": calls are counted from 1");
    }
    if (!devsim::serviceByName(f.service))
        throw UsageError("--fail " + text + ": unknown service \"" + f.service + "\"");
    f.code = parseNumber("--fail code", code);
    return f;
}

std::optional<uint32_t> jobValueWidth(uint32_t value_id) { return devsim::valueWidth(value_id); }

DeviceSession::DeviceSession(const std::string &path) : file_(std::make_unique<File>(path)) { file_->open(); }

DeviceSession::~DeviceSession() = default;

void DeviceSession::File::open() {
    fs::path p(path);
    fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw DeviceFileError(path + ": directory " + dir.string() + " does not exist");
    if (fs::exists(p, ec) && !fs::is_regular_file(p, ec))
        throw DeviceFileError(path + ": not a regular file");
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        fail("cannot open");
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    int app = 0, version = 0, objects = 0;
    try {
        exec("BEGIN IMMEDIATE");
        in_transaction = true;
        Stmt a(db, path, "PRAGMA application_id");
        if (a.row())
            app = static_cast<int>(a.integer(0));
        Stmt v(db, path, "PRAGMA user_version");
        if (v.row())
            version = static_cast<int>(v.integer(0));
        Stmt n(db, path, "SELECT count(*) FROM sqlite_master");
        if (n.row())
            objects = static_cast<int>(n.integer(0));
    } catch (const DeviceFileError &) {
        if (sqlite3_errcode(db) == SQLITE_NOTADB)
            throw DeviceFileError(path + ": not an entmlst device file (not an SQLite database)");
        throw;
    }
    if (app == 0 && version == 0 && objects == 0)
        initialise();
    else if (app != kApplicationId)
        throw DeviceFileError(path + ": not an entmlst device file");
    else if (version != kFormatVersion)
        throw DeviceFileError(path + ": device file format " + std::to_string(version) + ", this entmlst reads " +
                              std::to_string(kFormatVersion));
    load();
}

void DeviceSession::File::fail(const std::string &what) {
    throw DeviceFileError(path + ": " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void DeviceSession::File::exec(const char *sql) {
    char *msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        throw DeviceFileError(path + ": " + text);
    }
}

// A new file gets the device's factory settings.
void DeviceSession::File::initialise() {
    exec(kSchema);
    exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
    exec(("PRAGMA user_version = " + std::to_string(kFormatVersion)).c_str());
    Stmt put(db, path, "INSERT INTO settings(id, value) VALUES(?, ?)");
    for (const auto &s : devsim::catalogue())
        put.bind(1, s.id).bind(2, s.default_value).run();
}

void DeviceSession::File::load() {
    devsim::State &s = loaded;
    {
        Stmt q(db, path, "SELECT id, value FROM settings");
        while (q.row()) {
            uint32_t id = u32(q.integer(0));
            Bytes v = q.blob(1);
            auto size = devsim::settingSize(id);
            if (!size || *size != v.size())
                throw DeviceFileError(path + ": damaged: settings ID " + std::to_string(id) + " is not the device's");
            s.settings[id] = std::move(v);
        }
    }
    {
        Stmt q(db, path, "SELECT job, value_id, value FROM job_values");
        while (q.row()) {
            uint32_t vid = u32(q.integer(1));
            Bytes v = q.blob(2);
            auto width = devsim::valueWidth(vid);
            if (!width || v.size() > *width)
                throw DeviceFileError(path + ": damaged: job value " + std::to_string(vid) + " is not the device's");
            s.job_values[{u32(q.integer(0)), vid}] = std::move(v);
        }
    }
    {
        Stmt q(db, path, "SELECT id FROM jobs ORDER BY id");
        while (q.row())
            s.jobs.push_back(u32(q.integer(0)));
        Stmt p(db, path, "SELECT job, parent FROM parents");
        while (p.row())
            s.parents[u32(p.integer(0))] = u32(p.integer(1));
        Stmt c(db, path, "SELECT job, kind, link FROM children ORDER BY seq");
        while (c.row())
            s.children.emplace_back(u32(c.integer(0)), static_cast<int32_t>(c.integer(1)), u32(c.integer(2)));
    }
    // The log stays in the file: the simulator starts with none, so all it
    // has at commit time is new.
    devsim::importState(s);
    s = devsim::exportState();
}

void DeviceSession::commit() {
    File &f = *file_;
    const devsim::State &was = f.loaded;
    devsim::State now = devsim::exportState();

    Stmt setting(f.db, f.path, "INSERT OR REPLACE INTO settings(id, value) VALUES(?, ?)");
    for (const auto &[id, value] : now.settings)
        if (auto it = was.settings.find(id); it == was.settings.end() || it->second != value)
            setting.bind(1, id).bind(2, value).run();

    Stmt value(f.db, f.path, "INSERT OR REPLACE INTO job_values(job, value_id, value) VALUES(?, ?, ?)");
    for (const auto &[key, v] : now.job_values)
        if (auto it = was.job_values.find(key); it == was.job_values.end() || it->second != v)
            value.bind(1, key.first).bind(2, key.second).bind(3, v).run();
    Stmt drop_value(f.db, f.path, "DELETE FROM job_values WHERE job = ? AND value_id = ?");
    for (const auto &[key, v] : was.job_values)
        if (!now.job_values.count(key))
            drop_value.bind(1, key.first).bind(2, key.second).run();

    if (now.jobs != was.jobs) {
        f.exec("DELETE FROM jobs");
        Stmt job(f.db, f.path, "INSERT INTO jobs(id) VALUES(?)");
        for (uint32_t id : now.jobs)
            job.bind(1, id).run();
    }
    if (now.parents != was.parents) {
        f.exec("DELETE FROM parents");
        Stmt parent(f.db, f.path, "INSERT INTO parents(job, parent) VALUES(?, ?)");
        for (const auto &[job, p] : now.parents)
            parent.bind(1, job).bind(2, p).run();
    }
    if (now.children != was.children) {
        f.exec("DELETE FROM children");
        Stmt child(f.db, f.path, "INSERT INTO children(job, kind, link) VALUES(?, ?, ?)");
        for (const auto &[job, kind, link] : now.children)
            child.bind(1, job).bind(2, kind).bind(3, link).run();
    }
    Stmt event(f.db, f.path, "INSERT INTO events(line) VALUES(?)");
    for (const std::string &line : now.events)
        event.bind(1, line).run();

    f.exec("COMMIT");
    f.in_transaction = false;
}

void DeviceSession::begin(const std::vector<ArmedFault> &faults) {
    file_->monitor_mark = devsim::monitor().size();
    file_->events_mark = devsim::exportState().events.size();
    for (const ArmedFault &f : faults)
        devsim::failCall(*devsim::serviceByName(f.service), f.nth, f.code);
}

News DeviceSession::finish() {
    devsim::clearFaults();
    News news;
    auto lines = devsim::monitor();
    for (std::size_t i = file_->monitor_mark; i < lines.size(); ++i) {
        std::string t = lines[i].text;
        if (!t.empty() && t.back() == '\n')
            t.pop_back();
        news.diagnostics.push_back(t);
    }
    const std::string notify = "notify ";
    auto events = devsim::exportState().events;
    for (std::size_t i = file_->events_mark; i < events.size(); ++i)
        if (events[i].rfind(notify, 0) == 0)
            news.notifications.push_back(events[i].substr(notify.size()));
    return news;
}

bool DeviceSession::jobMissing(uint32_t job) { return !devsim::jobExists(job); }
void DeviceSession::createJob(uint32_t job) { devsim::createJob(job); }
void DeviceSession::putJobValue(uint32_t job, uint32_t value_id, const std::vector<uint8_t> &bytes) {
    if (!devsim::putJobValue(job, value_id, bytes))
        throw UsageError("value " + std::to_string(value_id) + " does not fit the device's value");
}
void DeviceSession::setParent(uint32_t job, uint32_t parent) { devsim::setParentLink(job, parent); }
void DeviceSession::addChild(uint32_t job, int32_t kind, uint32_t child) { devsim::addChildLink(job, kind, child); }

std::vector<std::string> DeviceSession::log() {
    std::vector<std::string> out;
    Stmt q(file_->db, file_->path, "SELECT line FROM events ORDER BY seq");
    while (q.row())
        out.push_back(q.text(0));
    auto fresh = devsim::exportState().events; // this command's own, not yet written
    out.insert(out.end(), fresh.begin(), fresh.end());
    return out;
}

} // namespace entmlst
