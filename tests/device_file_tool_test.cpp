// The device file in a bad state, as a user meets it through entmlst: each
// row is a state of the file (or of what holds it), a command, the exit
// status and the one line the user reads, and whether the file is left
// byte for byte as it was.
#include "support/tool_process.h"

#include <sqlite3.h>

#include <sys/mount.h>
#include <sys/resource.h>

#include <cstring>
#include <functional>

namespace {

using namespace tool_support;

enum Hold { none, lock, read_only, full, file_limit };

struct Expect {
    Args command;
    int status;
    std::string message; // in the one line on stderr; "" for none
};

struct Row {
    const char *state;
    bool init; // made by `init` first
    std::function<void(const fs::path &)> make;
    Hold hold;
    std::vector<Expect> commands;
};

void write(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }
std::function<void(const fs::path &)> bytes(const std::string &b) {
    return [b](const fs::path &p) { write(p, b); };
}

class DeviceFileTool : public ToolTest {
protected:
    // Runs the command with what the row holds; the device is made first.
    Outcome run(const Row &r, const Args &command) {
        sqlite3 *db = nullptr;
        rlimit was{};
        if (r.hold == lock) {
            EXPECT_EQ(sqlite3_open(device.c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        } else if (r.hold == file_limit) {
            getrlimit(RLIMIT_FSIZE, &was);
            rlimit small{4096, was.rlim_max};
            setrlimit(RLIMIT_FSIZE, &small);
        }
        Outcome out = tool(command);
        if (db != nullptr) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        if (r.hold == file_limit) setrlimit(RLIMIT_FSIZE, &was);
        return out;
    }
};

TEST_F(DeviceFileTool, EachBadStateIsOneLineAnExitStatusAndTheFileUntouched) {
    const bool root = geteuid() == 0;
    const std::string locked =
        ": locked by another process (pid " + std::to_string(getpid()) + ") for more than 5000 ms";
    const Row rows[] = {
        {"one byte of text", false, bytes("\n"), none, {{{"get", "smtp"}, 3, "not a device file"}}},
        {"a page of text",
         false,
         bytes(std::string(4096, 'x')),
         none,
         {{{"set", "smtp", "port=1"}, 3, "not a device file"}}},
        {"torn after SQLite's header",
         false,
         bytes(std::string("SQLite format 3\0", 16) + std::string(200, '\x7f')),
         none,
         {{{"get", "smtp"}, 3, ""}, {{"set", "smtp", "port=1"}, 3, ""}}},
        {"an empty folder",
         false,
         [](const fs::path &p) { fs::create_directory(p); },
         none,
         {{{"get", "smtp"}, 3, ""}, {{"set", "smtp", "port=1"}, 3, ""}}},
        {"empty beside a -wal that holds something",
         false,
         [](const fs::path &p) {
             write(p, "");
             write(p.string() + "-wal", "x");
         },
         none,
         {{{"log"}, 3, ": damaged: the file is empty but its -wal holds 1 bytes"}}},
        {"damaged in the middle",
         true,
         [](const fs::path &p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             for (std::streamoff at = 4096; at < static_cast<std::streamoff>(fs::file_size(p)); at += 4096) {
                 f.seekp(at + 8);
                 f.write("\xff\xff\xff\xff\xff\xff\xff\xff", 8);
             }
         },
         none,
         {{{"get", "smtp"}, 3, ": damaged"}}},
        {"locked by another process",
         true,
         nullptr,
         lock,
         {{{"get", "smtp"}, 0, ""},
          {{"export"}, 0, ""},
          {{"log"}, 0, ""},
          {{"fault", "list"}, 0, ""},
          {{"job", "ip", "5"}, 1, "the library answered"},
          {{"set", "smtp", "port=2"}, 3, locked}}},
        {"past the file size limit",
         true,
         nullptr,
         file_limit,
         {{{"set", "smtp", "port=3"}, 3, ": too large for the file size limit"}}},
        {"on a read-only file system",
         true,
         nullptr,
         read_only,
         {{{"get", "smtp"}, 0, ""},
          {{"log"}, 0, ""},
          {{"set", "smtp", "port=4"}, 3, ": read-only"},
          {{"init"}, 3, ": read-only"}}},
        {"on a full file system",
         true,
         nullptr,
         full,
         {{{"set", "smtp", "port=26", "server=x.example"}, 3, ": disk full"}, {{"init"}, 3, ": disk full"}}},
        {"another user's",
         true,
         [](const fs::path &p) { ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0); },
         none,
         {{{"get", "smtp"}, 3, ": owned by "}}},
    };
    for (const Row &r : rows) {
        if (std::string(r.state) == "another user's" && !root) continue; // only root can give a file away
        const fs::path mnt = dir / "small";
        device = dir / "device.db";
        if (r.hold == read_only || r.hold == full) {
            fs::create_directories(mnt);
            if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0)
                continue; // not allowed here
            device = mnt / "device.db";
        }
        for (const Expect &e : r.commands) {
            SCOPED_TRACE(std::string(r.state) + ": " + e.command[0]);
            fs::remove_all(device);
            for (const char *companion : {"-wal", "-shm"}) fs::remove(device.string() + companion);
            fs::remove(mnt / "fill");
            if (r.init) {
                ASSERT_EQ(tool({"init"}).status, 0);
            }
            if (r.make) r.make(device);
            if (r.hold == full) {
                std::ofstream fill(mnt / "fill", std::ios::binary);
                for (int i = 0; i < 1024 && fill; ++i) fill << std::string(1024, 'x') << std::flush;
            }
            const std::string before = slurp(device);
            if (r.hold == read_only) {
                ASSERT_EQ(mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
            }
            Outcome out = run(r, e.command);
            if (r.hold == read_only) {
                ASSERT_EQ(mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT, nullptr), 0);
            }
            EXPECT_EQ(out.status, e.status) << out.err;
            if (e.status == 0) {
                EXPECT_EQ(out.err, "");
            } else {
                EXPECT_EQ(out.err.rfind("entmlst: " + device.string(), 0) == 0 || e.status != 3, true)
                    << out.err;
                EXPECT_NE(out.err.find(e.message), std::string::npos) << out.err;
                EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
            }
            EXPECT_EQ(slurp(device) == before, true) << "the file changed";
        }
        if (r.hold == read_only || r.hold == full) umount(mnt.c_str());
    }
}

} // namespace
