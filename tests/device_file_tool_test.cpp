// The device file in a bad state, as a user meets it through entmlst: each
// row is a state of the file (or of what holds it), a command, the exit
// status and the one line the user reads, and whether the file is left
// byte for byte as it was.
#include "support/tool_process.h"

#include "corvellib.h"
#include "device_services.h"
#include "devsim.h"

#include <sqlite3.h>

#include <sys/mount.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>

namespace {

using namespace tool_support;

enum Hold { none, lock, read_only, full, file_limit };

// What stands where the device file is; from `damaged` on, `init` makes it first.
enum State {
    byte_of_text,
    page_of_text,
    torn,
    folder,
    empty_beside_wal,
    damaged,
    no_rows,
    initialised,
    old,
    others
};

struct Row {
    State state;
    Hold hold;
    const char *command; // several: split at " ; ", each on the state as made
    int status;
    std::string message; // in the one line on stderr; "" for none
};

void write(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }

void make(State state, const fs::path &p) {
    if (state == byte_of_text) write(p, "\n");
    if (state == page_of_text) write(p, std::string(4096, 'x'));
    if (state == torn) write(p, std::string("SQLite format 3\0", 16) + std::string(200, '\x7f'));
    if (state == folder) fs::create_directory(p);
    if (state == empty_beside_wal) write(p.string() + "-wal", "x"), write(p, "");
    std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
    for (std::streamoff at = 4096; state == damaged && at < std::streamoff(fs::file_size(p)); at += 4096)
        f.seekp(at + 8).write("\xff\xff\xff\xff\xff\xff\xff\xff", 8);
    EXPECT_TRUE(state != others || chown(p.c_str(), 65534, 65534) == 0);
    if (state == old)
        sql(p, "ALTER TABLE rows DROP COLUMN sum; ALTER TABLE log DROP COLUMN data; PRAGMA user_version = 4");
    if (state == no_rows) sql(p, "DROP TABLE rows");
}

using DeviceFileTool = ToolTest;

TEST_F(DeviceFileTool, EachBadStateIsOneLineAnExitStatusAndTheFileUntouched) {
    const std::string locked =
        ": locked by another process (pid " + std::to_string(getpid()) + ") for more than 5000 ms";
    const Row rows[] = {
        {byte_of_text, none, "get smtp", 3, "not a device file"},
        {page_of_text, none, "set smtp port=1", 3, "not a device file"},
        {torn, none, "get smtp ; set smtp port=1", 3, ": "},
        {folder, none, "get smtp ; set smtp port=1", 3, ": "},
        {empty_beside_wal, none, "log", 3, ": damaged: the file is empty but its -wal holds 1 bytes"},
        {damaged, none, "get smtp", 3, ": damaged"},
        {no_rows, none, "get smtp", 3, "device.db: no such table: rows"},
        {initialised, lock, "get smtp ; export ; log ; fault list", 0, ""},
        {initialised, lock, "job ip 5", 1, "the library answered"},
        {initialised, lock, "set smtp port=2", 3, locked},
        {initialised, file_limit, "set smtp port=3", 3, ": too large for the file size limit"},
        {initialised, read_only, "get smtp ; log ; check", 0, ""},
        {old, read_only, "get smtp ; check", 0, "format 4, read as it is: its rows carry no checksums"},
        {initialised, read_only, "set smtp port=4 ; init", 3, ": read-only"},
        {initialised, full, "set smtp port=26 server=x.example ; init", 3, ": disk full"},
        {others, none, "get smtp", 3, ": owned by "},
    };
    const fs::path mnt = dir / "small";
    for (const Row &r : rows) {
        SCOPED_TRACE(std::to_string(r.state) + " " + std::to_string(r.hold) + ": " + r.command);
        if (r.state == others && geteuid() != 0) continue; // only root can give a file away
        device = dir / "device.db";
        const bool mounted = r.hold == read_only || r.hold == full;
        if (mounted) {
            fs::create_directories(mnt);
            if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0)
                continue; // not allowed here
            device = mnt / "device.db";
        }
        fs::remove_all(device);
        for (const char *companion : {"-wal", "-shm"}) fs::remove(device.string() + companion);
        if (r.state >= damaged) {
            ASSERT_EQ(tool({"init"}).status, 0);
        }
        make(r.state, device);
        if (r.hold == full) {
            std::ofstream fill(mnt / "fill", std::ios::binary);
            for (int i = 0; i < 1024 && fill; ++i) fill << std::string(1024, 'x') << std::flush;
        }
        const std::string before = slurp(device);
        if (r.hold == read_only) {
            ASSERT_EQ(mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        }
        sqlite3 *db = nullptr;
        rlimit was{};
        getrlimit(RLIMIT_FSIZE, &was);
        if (r.hold == lock) {
            EXPECT_EQ(sqlite3_open(device.c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const rlimit small{4096, was.rlim_max};
        if (r.hold == file_limit) setrlimit(RLIMIT_FSIZE, &small);
        std::string rest = r.command + std::string(" ; ");
        for (std::size_t at; (at = rest.find(" ; ")) != std::string::npos; rest.erase(0, at + 3)) {
            Outcome out = tool(words(rest.substr(0, at)));
            EXPECT_EQ(out.status, r.status) << rest << out.err;
            EXPECT_TRUE(r.status != 3 || out.err.rfind("entmlst: " + device.string(), 0) == 0) << out.err;
            EXPECT_NE(out.err.find(r.message), std::string::npos) << out.err;
            EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), r.message.empty() ? 0 : 1) << out.err;
            EXPECT_TRUE(!r.message.empty() || out.err.empty()) << out.err;
            EXPECT_EQ(slurp(device) == before, true) << rest << ": the file changed";
        }
        setrlimit(RLIMIT_FSIZE, &was);
        sqlite3_close_v2(db); // ends the lock's transaction
        if (mounted) umount(mnt.c_str());
    }
}

// A byte of a stored row changed behind the device's back, in the file (as
// dd would) or by SQL, for each kind of row: the call that meets it answers
// the library's Get error (a service's own code where the library passes
// it on) and the log names the row; the tool's read of it exits 3 with one
// line naming it and writes no output; check names it.
TEST_F(DeviceFileTool, AByteChangedBehindTheDevicesBackIsFoundWhereverTheRowIsRead) {
    uint32_t (*get_smtp)() = [] { return entMLSTGetSmtp(std::make_unique<ENTMLSTSMTP>().get()); };
    uint32_t (*get_ip)() = [] { return entMLSTGetIpJob(5, std::make_unique<ENTMLSTIPJOB>().get()); };
    uint32_t (*get_sent)() = [] {
        int32_t n = 0;
        return entMLSTGetSendJobResult(5, ENTMLST_LINK_KIND_FAX, 1,
                                       std::make_unique<ENTMLSTSENDRESULT>().get(), &n);
    };
    const fs::path doc = dir / "doc.json";
    const struct {
        const char *where, *name; // the row ("": the server's text in the file), named
        std::string read;         // a read of it by the tool
        uint32_t (*call)();
        uint32_t answer;
    } rows[] = {
        {"", "settings ID 0x85005484", "get smtp", get_smtp, ENTMLST_ERR_STATUS_GET},
        {"space = 0 AND major = 0x85005484", "settings ID 0x85005484", "export -o " + doc.string(), get_smtp,
         ENTMLST_ERR_STATUS_GET},
        {"space = 2 AND minor = 0x318002", "value ID 0x318002 of job 5", "job ip 5", get_ip,
         ENTMLST_ERR_JOB_GET},
        {"space = 3", "parent link of job 5", "job ip 5", get_ip, ENTMLST_ERR_PARENT_LINK},
        {"space = 4", "child link 1 of job 5", "job send-result 5 fax", get_sent, devsim::kDeviceFile},
        {"space = 5", "armed fault 1", "fault list", get_smtp, ENTMLST_ERR_STATUS_GET},
    };
    // The last byte of a row's value, changed.
    const std::string flip = "UPDATE rows SET value = CAST(substr(value, 1, length(value) - 1) || CASE "
                             "substr(value, -1) WHEN x'00' THEN x'01' ELSE x'00' END AS BLOB) WHERE ";
    for (const auto &r : rows) {
        SCOPED_TRACE(r.where);
        for (const char *companion : {"", "-wal", "-shm"}) fs::remove(device.string() + companion);
        for (const char *made : {"set smtp server=flip.example", "job create 5 --parent 6 ip.subject=Invoice",
                                 "job link 5 fax 6", "fault add meSVCSetCurrent#9=1"})
            ASSERT_EQ(tool(words(made)).status, 0) << made;
        std::string bytes = slurp(device);
        // The log keeps the bytes each call moved too: the row is one of them.
        for (std::size_t at = 0; (at = bytes.find("flip.example", at)) != std::string::npos;) bytes[at] = 'g';
        *r.where ? sql(device, flip + r.where) : write(device, bytes);
        const std::string said = r.name + std::string(" does not match its checksum");
        const Outcome check = tool({"check"}), read = tool(words(r.read));
        EXPECT_EQ(check.out, said + "\n");
        EXPECT_EQ(check.status, 1);
        EXPECT_EQ(read.status, 3);
        EXPECT_EQ(read.out + read.err, "entmlst: " + device.string() + ": damaged: " + said +
                                           " (make a new device with: entmlst reset)\n");
        EXPECT_FALSE(fs::exists(doc));
        devsim::openDevice(device.string());
        EXPECT_EQ(r.call(), r.answer);
        devsim::batch([] {}); // logs what waited for a write
        const auto logged = devsim::log({0, 0, {}, {}, devsim::LogKind::device, 1});
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_NE(logged[0].text.find("answered 0xe008: " + device.string() + ": damaged: " + said),
                  std::string::npos);
        devsim::openDevice(devsim::kMemoryDevice);
    }
}

// Tampering is not guarded against, but not hidden either: a -wal emptied
// under a stopped writer is damage that check reports.
TEST_F(DeviceFileTool, CheckReportsAWalTruncatedUnderAWriter) {
    ASSERT_EQ(tool({"init"}).status, 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        devsim::openDevice(device.string());
        for (uint8_t i = 0;; ++i) {
            const uint8_t port[2] = {0, i};
            meSTCSetStatus(devsim::kWriter, devsim::kStatusArea, 0x85006334, port); // smtp.port
            if (i == 20) (void)!::write(ready[1], "w", 1);
        }
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    kill(writer, SIGSTOP);
    fs::resize_file(device.string() + "-wal", 0);
    const Outcome r = tool({"check"});
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(r.status == 1 || r.status == 3) << r.status << r.out << r.err;
    EXPECT_TRUE(std::regex_search(r.out + r.err, std::regex("disk I/O error|malformed|damaged")))
        << r.out << r.err;
}

// A device file deleted, moved away or replaced while a follower (started
// while the file was locked: it waits), a program reading or a program
// writing holds it. The new device there is whole (one made anew has
// factory settings, the old -wal and -shm set aside); the follower follows
// it from its first entry, a program's next write answers the device
// file's failure (a read reads the file held), and what a holder does as
// it ends changes no file at the path. A moved file keeps what was
// committed. Each said once.
TEST_F(DeviceFileTool, AFileGoneWhileHeldLeavesTheNextOneWhole) {
    enum Holder { follower, reader, writer };
    for (const Holder holder : {follower, reader, writer})
        for (const std::string action : {"rm", "mv", "onto"}) {
            SCOPED_TRACE(std::to_string(holder) + " " + action);
            const fs::path at = dir / (std::to_string(holder) + action), moved = at / "moved",
                           other = at / "other";
            fs::create_directory(at);
            device = at / "device.db";
            ASSERT_EQ(tool({"init"}).status, 0);
            ASSERT_EQ(tool({"--device", other.string(), "set", "smtp", "port=2626"}).status, 0);
            sqlite3 *lock = nullptr; // a follower starts while the file is locked, even to readers
            if (holder == follower && sqlite3_open(device.c_str(), &lock) == SQLITE_OK)
                sqlite3_exec(lock, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr,
                             nullptr);
            const pid_t pid = holder == follower ? start({"log", "--follow"}, 7) : fork();
            if (pid == 0) { // a program: one call, stopped, then one more
                devsim::openDevice(device.string());
                uint8_t port[2] = {0x10, 0x92};
                auto call = [&] {
                    return holder == reader
                               ? meSTCGetStatus(devsim::kStatusArea, 0x85006334, port)
                               : meSTCSetStatus(devsim::kWriter, devsim::kStatusArea, 0x85006334, port);
                };
                const bool first = call() == 0;
                raise(SIGSTOP);
                // A write is refused; a read reads the file held (port 4321).
                const bool then =
                    holder == reader ? call() == 0 && port[1] == 0xe1 : call() == devsim::kDeviceFile;
                devsim::openDevice(devsim::kMemoryDevice); // lets the file go
                _exit(first && then ? 0 : 1);
            }
            int ws = 0;
            EXPECT_TRUE(!lock ||
                        eventually(dir / "err7", " is locked by another process; waiting for it\n", pid));
            sqlite3_close(lock);
            ASSERT_TRUE(holder == follower ? eventually(dir / "out7", "mscMLPRNChgSchedule", pid)
                                           : waitpid(pid, &ws, WUNTRACED) == pid && WIFSTOPPED(ws));
            ASSERT_EQ(tool({"set", "smtp", "port=4321"}).status, 0);
            if (action == "rm") fs::remove(device);
            if (action == "mv") fs::rename(device, moved);
            if (action == "onto") fs::rename(other, device);
            EXPECT_TRUE(holder != follower || action == "onto" || // it waits, saying so, for a file there
                        eventually(dir / "err7", " was deleted; waiting for a device file there\n", pid));
            const Outcome made = tool({action == "onto" ? "check" : "init"});
            EXPECT_TRUE(
                made.status == 0 &&
                (action == "onto" || made.err.find(device.string() + "-wal.stale") != std::string::npos))
                << made.err;
            const std::string fresh = tool({"log"}).out, before = slurp(device);
            if (holder == follower) {
                EXPECT_TRUE(
                    eventually(dir / "out7", fresh.substr(fresh.rfind('\n', fresh.size() - 2) + 1), pid));
                kill(pid, SIGINT);
                const Outcome r = finish(pid, 7);
                EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), fresh.size())), fresh);
                const std::string said =
                    "[^\n]* is locked by another process; waiting for it\n" +
                    std::string(action == "onto" ? ""
                                                 : "[^\n]* was deleted; waiting for a device file there\n");
                const std::regex told(said +
                                      "[^\n]* was replaced; following the new file from its first entry\n");
                EXPECT_TRUE(std::regex_match(r.err, told)) << r.err;
            } else {
                kill(pid, SIGCONT);
                EXPECT_EQ(finish(pid, 8).status, 0);
                EXPECT_TRUE(slurp(device) == before);
            }
            // The file at the path, and the one moved away with what was committed.
            for (const auto &[file, port] :
                 {std::pair{device, action == "onto" ? "2626" : "25"}, {moved, "4321"}}) {
                if (!fs::exists(file)) continue;
                EXPECT_EQ(tool({"--device", file.string(), "check"}).out, "ok\n");
                EXPECT_TRUE(std::regex_search(tool({"--device", file.string(), "get", "smtp"}).out,
                                              std::regex(std::string("port: +") + port + "\n")));
            }
        }
}

} // namespace
