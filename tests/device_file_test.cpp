// The simulated device kept in a file: one device for every process, the
// file's layout and permissions, and what happens when the file is locked,
// read-only, full, damaged or not a device file at all. Every test uses a
// file of its own in a scratch directory.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "corvellib.h"
#include "device_services.h"
#include "devsim.h"
#include "support/calls.h"
#include "support/device_file.h"

namespace {

namespace fs = std::filesystem;
using devsim::Bytes;
using devsim::Service;

constexpr uint32_t kArea = devsim::kStatusArea;
constexpr uint32_t kWriter = devsim::kWriter;
// A 64-byte text setting (the SMTP server) and a 2-byte number (its port).
constexpr uint32_t kServer = 0x85005484;
constexpr uint32_t kPort = 0x85006334;

// Runs body in a child process (which opens the device again itself) and
// returns its exit status, or -signal.
int inChild(const std::function<int()> &body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int ws = 0;
    waitpid(pid, &ws, 0);
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws);
}

// Each text row of the SMTP group holds what it held before or one byte
// pattern whole: server, user, password, from, signature, reply-to, domains.
bool rowsWhole(const ENTMLSTSMTP &seen, const ENTMLSTSMTP &before) {
    for (auto [off, n] : {std::pair{0x004, 64},
                          {0x047, 64},
                          {0x087, 64},
                          {0x0ca, 128},
                          {0x14a, 256},
                          {0x24a, 128},
                          {0x2cb, 32},
                          {0x3eb, 32}}) {
        const auto *p = reinterpret_cast<const uint8_t *>(&seen) + off;
        const auto *was = reinterpret_cast<const uint8_t *>(&before) + off;
        if (!std::equal(p, p + n, was) && (p[0] == 0 || std::count(p, p + n, p[0]) != n)) return false;
    }
    return true;
}

// What the device error thrown by f says, "taken" when f threw none.
std::string refusal(const std::function<void()> &f) {
    try {
        f();
    } catch (const devsim::DeviceError &e) {
        EXPECT_EQ(e.code, devsim::kDeviceFile);
        return e.what();
    }
    return "taken";
}

std::string integrity(const fs::path &file) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *q = nullptr;
    std::string out = "cannot run";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &q, nullptr) == SQLITE_OK &&
        sqlite3_step(q) == SQLITE_ROW)
        out = reinterpret_cast<const char *>(sqlite3_column_text(q, 0));
    sqlite3_finalize(q);
    sqlite3_close(db);
    return out;
}

class DeviceFile : public ::testing::Test {
protected:
    fs::path dir, file;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("devsim-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "device.db";
        devsim::setBusyTimeout(5000);
        devsim::openDevice(file.string());
        devsim::reset();
        devsim::fakeSleep(true);
    }
    void TearDown() override {
        devsim::setBusyTimeout(5000);
        devsim::openDevice(devsim::kMemoryDevice);
        fs::remove_all(dir);
    }
    static Bytes stored(uint32_t id) { return devsim::setting(id).value(); }
};

TEST_F(DeviceFile, TheFileIsPrivateAndAnOpenOneIsNamed) {
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    devsim::openDevice(devsim::kMemoryDevice);
    fs::permissions(file, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    ::testing::internal::CaptureStderr();
    devsim::openDevice(file.string());
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(file.string() + " (and its -wal and -shm) can be read by other users (mode 644)"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("chmod 600"), std::string::npos) << err;

    // A companion file left more open than the file is brought down to its mode.
    devsim::openDevice(devsim::kMemoryDevice);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path wal = file.string() + "-wal";
    std::ofstream(wal).close();
    fs::permissions(wal, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    devsim::openDevice(file.string());
    EXPECT_EQ(fs::status(wal).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // A new file records when it was made (to the microsecond, from the clock).
    using namespace std::chrono;
    const auto before = system_clock::now() - seconds(1);
    devsim::openDevice((dir / "new.db").string());
    const system_clock::time_point made{microseconds(devsim::deviceStatus().created_us)};
    EXPECT_TRUE(before <= made && made <= system_clock::now());
}

// What the last process to close the device leaves is one whole file: no
// -wal or -shm beside it, and a copy of it holds the newest values.
TEST_F(DeviceFile, TheLastToCloseLeavesEverythingInTheFile) {
    uint8_t first[64] = "first.example", latest[64] = "latest.example";
    ASSERT_EQ(meSTCSetStatus(kWriter, kArea, kServer, first), 0u);
    sql(file, "PRAGMA wal_checkpoint(TRUNCATE)");
    ASSERT_EQ(meSTCSetStatus(kWriter, kArea, kServer, latest), 0u);
    devsim::openDevice(devsim::kMemoryDevice);
    EXPECT_FALSE(fs::exists(file.string() + "-wal"));
    EXPECT_FALSE(fs::exists(file.string() + "-shm"));
    const fs::path copy = dir / "copy.db";
    fs::copy_file(file, copy);
    devsim::openDevice(copy.string());
    EXPECT_EQ(stored(kServer), Bytes(latest, latest + 64));
}

// The same settings through every back end's call, and the default device
// comes from the environment.
TEST_F(DeviceFile, TheDeviceIsNamedByTheEnvironment) {
    const char *was = getenv(devsim::kDeviceVariable);
    std::string saved = was ? was : "";
    setenv(devsim::kDeviceVariable, file.c_str(), 1);
    EXPECT_EQ(devsim::configuredDevice(), file.string());
    unsetenv(devsim::kDeviceVariable);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    EXPECT_EQ(devsim::configuredDevice(), (dir / "data" / "entmlst" / "device.db").string());
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(devsim::configuredDevice(), std::string(getenv("HOME")) + "/.local/share/entmlst/device.db");
    setenv(devsim::kDeviceVariable, "", 1);
    EXPECT_NE(refusal([] { devsim::configuredDevice(); }).find("ENTMLST_DEVICE is set but empty"),
              std::string::npos);
    if (was)
        setenv(devsim::kDeviceVariable, saved.c_str(), 1);
    else
        unsetenv(devsim::kDeviceVariable);
}

TEST_F(DeviceFile, FilesThatAreNotThisDevicesAreRefusedAndLeftAlone) {
    struct Case {
        const char *name, *made, *message;
    } cases[] = {
        {"other program's", "PRAGMA application_id = 1234; CREATE TABLE t(x);", "application_id 0x4d2"},
        {"newer", "PRAGMA application_id = 1296847700; PRAGMA user_version = 8; CREATE TABLE t(x);",
         "format 8 is newer than this libdevsim reads (7)"},
    };
    devsim::openDevice(devsim::kMemoryDevice);
    for (const Case &c : cases) {
        fs::path p = dir / c.name;
        sql(p, c.made);
        const std::string before = slurp(p);
        const std::string said = refusal([&] { devsim::openDevice(p.string()); });
        EXPECT_NE(said.find(c.message), std::string::npos) << said;
        EXPECT_EQ(said.rfind(p.string(), 0), 0u) << said;
        EXPECT_EQ(slurp(p), before) << c.name;
        EXPECT_EQ(devsim::devicePath(), devsim::kMemoryDevice);
    }
}

// A file of an older format: its settings, jobs and links are kept, and
// its log (format 1's lines become notes), shown escaped whatever bytes it
// holds, each entry without a program. Armed faults are kept from format 3
// on, a fault row as older devices wrote it (eight numbers) too. Every row
// gets its checksum.
TEST_F(DeviceFile, AFileOfAnOlderFormatIsUpgraded) {
    // Format 1's tables, kept by format 2 beside its own.
    const std::string tables = R"(
        CREATE TABLE settings(id INTEGER PRIMARY KEY, value BLOB NOT NULL);
        CREATE TABLE jobs(id INTEGER PRIMARY KEY);
        CREATE TABLE job_values(job INTEGER NOT NULL, value_id INTEGER NOT NULL, value BLOB NOT NULL,
                                PRIMARY KEY(job, value_id));
        CREATE TABLE parents(job INTEGER PRIMARY KEY, parent INTEGER NOT NULL);
        CREATE TABLE children(seq INTEGER PRIMARY KEY, job INTEGER NOT NULL, kind INTEGER NOT NULL,
                              link INTEGER NOT NULL);
        INSERT INTO settings VALUES(2231395124, x'024b');
        INSERT INTO jobs VALUES(5); INSERT INTO jobs VALUES(6);
        INSERT INTO parents VALUES(5, 6);
        INSERT INTO children(job, kind, link) VALUES(5, 192, 6);
    )";
    // Format 2 and 3's log.
    const std::string log = R"(
        CREATE TABLE log(seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, pid INTEGER NOT NULL,
                         kind TEXT NOT NULL, service TEXT NOT NULL, args BLOB NOT NULL, result INTEGER NOT NULL,
                         done INTEGER NOT NULL, text TEXT NOT NULL);
        INSERT INTO log VALUES(1, 0, 7, 'notify', 'mscMLRPTChgSMTPProtocol', x'0100000000000000', 0, 1, '');
        INSERT INTO log VALUES(2, 0, 7, 'note', '', x'', 0, 0, CAST(x'6f6c64ff1b5c' AS TEXT));
    )";
    const std::string formats[] = {
        tables + R"(
            CREATE TABLE events(seq INTEGER PRIMARY KEY, line TEXT NOT NULL);
            INSERT INTO events(line) VALUES('notify mscMLRPTChgSMTPProtocol(1)');
            INSERT INTO events(line) VALUES(CAST(x'6f6c64ff1b5c' AS TEXT));
        )",
        tables + log + R"(
            CREATE TABLE faults(id INTEGER PRIMARY KEY AUTOINCREMENT, service TEXT NOT NULL, code INTEGER NOT NULL,
                                write_first INTEGER NOT NULL, calls_left INTEGER NOT NULL, percent REAL NOT NULL,
                                seed INTEGER NOT NULL, fired INTEGER NOT NULL, rng INTEGER NOT NULL);
            CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);
        )",
        log + R"(
            CREATE TABLE rows(space INTEGER NOT NULL, major INTEGER NOT NULL, minor INTEGER NOT NULL,
                              value BLOB NOT NULL, PRIMARY KEY(space, major, minor)) WITHOUT ROWID;
            INSERT INTO rows VALUES(0, 2231395124, 0, x'024b');
            INSERT INTO rows VALUES(1, 5, 0, x''); INSERT INTO rows VALUES(1, 6, 0, x'');
            INSERT INTO rows VALUES(3, 5, 0, x'0600000000000000');
            INSERT INTO rows VALUES(4, 5, 1, x'c0000000000000000600000000000000');
            INSERT INTO rows VALUES(5, 99, 0, x'00000000000000002143000000000000000000000000000002000000000000000000000000000000000000000000000000000000000000000000000000000000');
            INSERT INTO rows VALUES(5, 100, 0, x'00000000000000002143000000000000000000000000000000000000000000000000000000000000000000000000000001000000000000000000000000000000');
        )",
    };
    for (int version = 1; version <= 4; ++version) {
        SCOPED_TRACE("format " + std::to_string(version));
        devsim::openDevice(devsim::kMemoryDevice);
        fs::path old = dir / ("old" + std::to_string(version) + ".db");
        sql(old, formats[std::min(version, 3) - 1] +
                     (version == 4 ? "ALTER TABLE log ADD program TEXT;" : "") +
                     "PRAGMA application_id = 1296847700; PRAGMA user_version = " + std::to_string(version));
        ::testing::internal::CaptureStderr();
        devsim::openDevice(old.string());
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("upgraded from device file format " +
                                                                std::to_string(version) + " to 7"),
                  std::string::npos);
        EXPECT_EQ(devsim::deviceStatus().schema_version, 7);
        EXPECT_EQ(devsim::checkDevice(), std::vector<std::string>{});
        EXPECT_EQ(stored(kPort), (Bytes{0x02, 0x4b}));
        EXPECT_EQ(stored(kServer).size(), 64u); // settings the old file lacked have their defaults
        auto state = devsim::exportState();
        EXPECT_EQ(state.parents.at(5), 6u);
        EXPECT_EQ(state.children, (decltype(state.children){{5, 192, 6}}));
        EXPECT_EQ(state.events,
                  (std::vector<std::string>{"notify mscMLRPTChgSMTPProtocol(1)", "old\xff\x1b\\"}));
        const devsim::LogEntry last = devsim::log().back();
        EXPECT_EQ(last.program, "");
        const std::string shown = devsim::formatLogEntry(last);
        EXPECT_EQ(shown.substr(shown.find(" - note ")), " - note old\\xff\\x1b\\\\");
        const auto faults = devsim::faults();
        ASSERT_EQ(faults.size(), version >= 3 ? 2u : 0u);
        if (version >= 3) { // the second one spent
            EXPECT_EQ(devsim::faultSpecText(faults[0].spec), "meSTCGetStatus#2=0x4321");
            EXPECT_EQ(devsim::faultSpecText(faults[1].spec), "meSTCGetStatus=0x4321");
        }
        EXPECT_EQ(integrity(old), "ok");
    }
    // Format 5 logged an arming and a clearing as a "fault" saying so.
    const fs::path five = dir / "old5.db";
    devsim::openDevice(five.string());
    devsim::clearFault(devsim::addFault(devsim::parseFaultSpec("meSTCGetStatus#2=0x4321")));
    devsim::openDevice(devsim::kMemoryDevice);
    sql(five, "UPDATE log SET text = kind || ' ' || text, kind = 'fault' WHERE kind IN ('armed', 'cleared'); "
              "ALTER TABLE log DROP COLUMN data; PRAGMA user_version = 5");
    devsim::openDevice(five.string());
    std::string kinds;
    for (const devsim::LogEntry &e : devsim::log())
        kinds += devsim::logKindName(e.kind) + (" " + e.text) + ";";
    EXPECT_EQ(kinds, "armed 1 meSTCGetStatus#2=0x4321;cleared 1;");
    EXPECT_EQ(integrity(five), "ok");
}

// A process stopped while it holds the lock: a Set in another process
// answers its own failure after the busy timeout instead of waiting for the
// holder, says so once on stderr naming the holder, and the log records it.
TEST_F(DeviceFile, AStoppedLockHolderIsAnsweredWithinTheTimeoutAndLogged) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    simtest::failCall(Service::meSVCGetCurrent, 1, 0x4321);
    devsim::openDevice(devsim::kMemoryDevice); // the holder starts with no SQLite state of the file
    pid_t holder = fork();
    if (holder == 0) {
        sqlite3 *db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        (void)!write(ready[1], "x", 1);
        raise(SIGSTOP);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    devsim::setBusyTimeout(300);
    devsim::openDevice(file.string());
    const auto held = std::chrono::system_clock::now().time_since_epoch() / std::chrono::microseconds(1);
    ENTMLSTSMTP smtp;
    ASSERT_EQ(entMLSTGetSmtp(&smtp), ENTMLST_OK); // a reader does not wait
    smtp.port = 2525;
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(entMLSTSetSmtp(0xffffffff, &smtp), ENTMLST_ERR_STATUS_SET);
        EXPECT_LT(std::chrono::steady_clock::now() - start,
                  std::chrono::seconds(60)); // never waits for the holder
    }
    // A read with a fault armed waits for the write that counts it.
    EXPECT_EQ(meSVCGetCurrent(7, 0x00460000, reinterpret_cast<uint8_t *>(&smtp)), devsim::kDeviceBusy);
    std::string err = ::testing::internal::GetCapturedStderr();
    const std::string told = "devsim: " + file.string() + ": locked by another process (pid " +
                             std::to_string(holder) + ") for more than 300 ms\n";
    EXPECT_EQ(err.substr(err.find("devsim: " + file.string())), told) << err;
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);

    EXPECT_EQ(meSTCGetStatus(kArea, kPort, reinterpret_cast<uint8_t *>(&smtp)), 0u); // logs what waited
    auto entries = devsim::log();
    auto why = std::find_if(entries.begin(), entries.end(),
                            [](const devsim::LogEntry &e) { return e.kind == devsim::LogKind::device; });
    ASSERT_NE(why, entries.end());
    EXPECT_TRUE(std::any_of(entries.begin(), why, [&](const devsim::LogEntry &e) {
        return e.time_us >= held;
    })) << "the reads beside the holder are logged";
    EXPECT_EQ(why->result, devsim::kDeviceBusy);
    EXPECT_NE(why->text.find("meSTCSetStatus answered 0xe007"), std::string::npos) << why->text;
}

// An inspection reads beside another process's write transaction, leaves the
// log and the device's armed faults as they were, and only this process's
// own faults answer it.
TEST_F(DeviceFile, AnInspectionReadsBesideAWriterAndLeavesNoTrace) {
    devsim::setBusyTimeout(50);
    devsim::openDevice(file.string());
    simtest::failCall(Service::meSTCGetStatus, 1, 0x55);
    devsim::failCallHere(Service::meSVCGetCurrent, 1, 0x66);
    devsim::createJob(7);
    const devsim::DeviceStatus before = devsim::deviceStatus();
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    uint8_t b[64] = {};
    devsim::inspect([&] {
        EXPECT_EQ(meSTCGetStatus(kArea, kPort, b), 0u);
        EXPECT_EQ(meSVCGetCurrent(7, 0x00460000, b), 0x66u);
        EXPECT_EQ(devsim::faults().size(), 1u);
    });
    auto seen = devsim::inspectedEntries();
    EXPECT_EQ(seen.size(), 3u); // two calls and the fault that fired
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const devsim::DeviceStatus after = devsim::deviceStatus();
    EXPECT_EQ(after.log_entries, before.log_entries);
    EXPECT_EQ(after.faults, 1u);
    EXPECT_GT(after.file_size, 0u);
}

// ---- robustness -----------------------------------------------------------------

// Several processes write the SMTP group (all 24 rows, one byte pattern per
// Set) and their own POP3 user at once. Every call answers 0 (a lock is
// waited for, never passed off as an answer), every value read is one
// pattern whole, and each process's last write of its user is kept.
TEST_F(DeviceFile, ConcurrentWritersLoseNothingAndTearNothing) {
    constexpr int kProcesses = 3, kRounds = 25;
    ENTMLSTSMTP before;
    ASSERT_EQ(entMLSTGetSmtp(&before), ENTMLST_OK);
    std::vector<pid_t> pids;
    for (uint32_t k = 1; k <= kProcesses; ++k) {
        pid_t pid = fork();
        if (pid == 0) {
            devsim::setBusyTimeout(120000); // a lock is waited for however loaded the machine
            int bad = 0;
            for (int r = 1; r <= kRounds; ++r) {
                const uint8_t pattern = static_cast<uint8_t>(k * 64 + r);
                ENTMLSTSMTP smtp;
                std::memset(&smtp, pattern, sizeof smtp);
                bad |= entMLSTSetSmtp(0x00ffffff, &smtp) != ENTMLST_OK;
                ENTMLSTSMTP seen;
                bad |= entMLSTGetSmtp(&seen) != ENTMLST_OK;
                bad |= !rowsWhole(seen, before) << 1;
                ENTMLSTPOP3USER user;
                std::memset(&user, pattern, sizeof user);
                bad |= entMLSTSetPop3User(0xffffffff, k, &user) != ENTMLST_OK;
            }
            _exit(bad);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int ws = 0;
        waitpid(pid, &ws, 0);
        EXPECT_TRUE(WIFEXITED(ws)) << "killed";
        EXPECT_EQ(WEXITSTATUS(ws), 0) << "bits: 1 a call failed, 2 torn value";
    }
    for (uint32_t k = 1; k <= kProcesses; ++k) {
        ENTMLSTPOP3USER user;
        ASSERT_EQ(entMLSTGetPop3User(k, &user), ENTMLST_OK);
        EXPECT_EQ(user.server[0], static_cast<uint8_t>(k * 64 + kRounds)) << "user " << k;
    }
    for (const devsim::LogEntry &e : devsim::log()) EXPECT_NE(e.kind, devsim::LogKind::device) << e.text;
    EXPECT_EQ(integrity(file), "ok");
}

// A process killed at a random moment of a Set leaves each row either as it
// was or as written, never in between, and the file intact.
TEST_F(DeviceFile, AProcessKilledMidSetLeavesEveryRowWholeOrNotWritten) {
    std::mt19937 rng(11);
    for (int round = 0; round < 6; ++round) {
        ENTMLSTSMTP before;
        ASSERT_EQ(entMLSTGetSmtp(&before), ENTMLST_OK);
        int writing[2];
        ASSERT_EQ(pipe(writing), 0);
        pid_t pid = fork();
        if (pid == 0) {
            for (uint8_t pattern = 1;; pattern = static_cast<uint8_t>(pattern % 250 + 1)) {
                ENTMLSTSMTP smtp;
                std::memset(&smtp, pattern, sizeof smtp);
                entMLSTSetSmtp(0x00ffffff, &smtp);
                if (pattern == 1) (void)!write(writing[1], "x", 1);
            }
        }
        char c;
        ASSERT_EQ(read(writing[0], &c, 1), 1); // killed among its writes however slowly it started
        close(writing[0]);
        close(writing[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 30000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ASSERT_EQ(integrity(file), "ok") << "round " << round;
        ENTMLSTSMTP seen;
        ASSERT_EQ(entMLSTGetSmtp(&seen), ENTMLST_OK);
        EXPECT_TRUE(rowsWhole(seen, before)) << "round " << round;
    }
}

// A child forked while another thread is inside a device call can use the
// device at once, and its parent goes on.
TEST_F(DeviceFile, AChildForkedWhileAnotherThreadIsInsideACallUsesTheDevice) {
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        uint8_t b[64] = "busy.example";
        while (!stop) {
            meSTCSetStatus(kWriter, kArea, kServer, b);
            meSTCGetStatus(kArea, kServer, b);
        }
    });
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(inChild([] {
                      devsim::setBusyTimeout(120000);
                      ENTMLSTSMTP smtp;
                      return entMLSTGetSmtp(&smtp) == ENTMLST_OK && entMLSTSetSmtp(0x1, &smtp) == ENTMLST_OK
                                 ? 0
                                 : 1;
                  }),
                  0)
            << "child " << i;
    stop = true;
    busy.join();
    ENTMLSTSMTP smtp;
    EXPECT_EQ(entMLSTGetSmtp(&smtp), ENTMLST_OK);
}

// Writes with the file size limited and SIGXFSZ at its default: the
// program lives on, the writes that answered 0 are all there afterwards,
// those that could not be written answered kDeviceFile.
TEST_F(DeviceFile, AFullDiskIsAnsweredAndLosesNothingCommitted) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int status = inChild([&] {
        uint8_t b[64];
        meSTCGetStatus(kArea, kServer, b); // opens the device before the limit
        std::error_code ec;
        auto limit = std::max(fs::file_size(file, ec), fs::file_size(file.string() + "-wal", ec)) + 16384;
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        uint32_t answer = 0;
        for (uint32_t i = 1; i <= 5000 && answer == 0; ++i) {
            std::memset(b, 0, sizeof b);
            std::snprintf(reinterpret_cast<char *>(b), sizeof b, "write %u", i);
            answer = meSTCSetStatus(kWriter, kArea, kServer, b);
            if (answer == 0 && write(fds[1], &i, sizeof i) != sizeof i) return 9;
        }
        return answer == devsim::kDeviceFile ? 0 : 1;
    });
    close(fds[1]);
    uint32_t last = 0, i = 0;
    while (read(fds[0], &i, sizeof i) == sizeof i) last = i;
    close(fds[0]);
    ASSERT_EQ(status, 0) << "the child never met the limit, or answered something else";
    ASSERT_GT(last, 0u);
    Bytes want(64, 0);
    std::string text = "write " + std::to_string(last);
    std::copy(text.begin(), text.end(), want.begin());
    EXPECT_EQ(stored(kServer), want);
    EXPECT_EQ(integrity(file), "ok");
}

} // namespace

TEST_F(DeviceFile, ABatchIsOneTransactionKeptWholeOrNotAtAll) {
    uint8_t server[64] = "batch.example";
    const Bytes before = stored(kServer);
    // Thrown out of the batch: the write made inside is not kept, nor logged.
    uint64_t mark = devsim::lastLogSeq();
    EXPECT_THROW(devsim::batch([&] {
                     ASSERT_EQ(meSTCSetStatus(kWriter, kArea, kServer, server), 0u);
                     throw std::runtime_error("caller gave up");
                 }),
                 std::runtime_error);
    EXPECT_EQ(stored(kServer), before);
    EXPECT_EQ(devsim::lastLogSeq(), mark);

    // Kept: while it runs, another process reads what was there before at
    // once, and a write waits for it (and past its timeout says so);
    // afterwards everyone sees all of it.
    devsim::batch([&] {
        ASSERT_EQ(meSTCSetStatus(kWriter, kArea, kServer, server), 0u);
        EXPECT_EQ(inChild([&] {
                      devsim::setBusyTimeout(50);
                      uint8_t b[64];
                      bool read = meSTCGetStatus(kArea, kServer, b) == 0 && Bytes(b, b + 64) == before;
                      return read && meSTCSetStatus(kWriter, kArea, kServer, b) == devsim::kDeviceBusy ? 0
                                                                                                       : 1;
                  }),
                  0);
    });
    EXPECT_EQ(stored(kServer), Bytes(server, server + 64));
    EXPECT_EQ(inChild([&] {
                  uint8_t b[64];
                  return meSTCGetStatus(kArea, kServer, b) == 0 && std::memcmp(b, server, 64) == 0 ? 0 : 1;
              }),
              0);
    auto calls = simtest::calls(Service::meSTCSetStatus);
    EXPECT_EQ(calls.size(), 1u);
}
