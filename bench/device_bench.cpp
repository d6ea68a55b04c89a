// device_bench: the simulated device kept in a file, as a program on a PC
// meets it. Prints medians (and the 90th percentile) of
//   - one service call, a read and a write, on the file device and in memory;
//   - a read on the file device while another process holds its write lock;
//   - entMLSTSetSmtp changing all 24 rows on the file device;
//   - `entmlst get smtp` as a whole process next to `sqlite3 FILE 'select 1'`,
//     timed alternately in the same run, and their ratio.
// Goals on the file: read <= 15 us, write <= 30 us, a read beside a held
// write lock <= 1 ms, Set of 24 rows <= 5 ms, process ratio <= 1.3. Not a
// test: the figures depend on the machine and its load.
//   device_bench [ENTMLST [SQLITE3 [FILE]]]
// FILE: the file device to time, left in place (one that a `entmlst serve`
// follows, say); by default one of its own, removed at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "corvellib.h"
#include "device_services.h"
#include "devsim.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median_us, p90_us;
};

Figures measure(int runs, const std::function<void(int)> &once) {
    std::vector<double> us;
    us.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        once(i);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10]};
}

void row(const char *what, Figures f, double goal_us) {
    std::printf("%-44s %10.1f %10.1f %10.0f  %s\n", what, f.median_us, f.p90_us, goal_us,
                goal_us > 0 ? (f.median_us <= goal_us ? "ok" : "OVER") : "");
}

// Runs a program with its output thrown away; false if it did not exit 0.
bool runQuietly(const std::vector<std::string> &argv) {
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    int ws = 0;
    return rc == 0 && waitpid(pid, &ws, 0) == pid && WIFEXITED(ws) && WEXITSTATUS(ws) == 0;
}

constexpr uint32_t kServer = 0x85005484; // a 64-byte stored value

void serviceCalls(const char *where, double read_goal, double write_goal) {
    uint8_t value[64] = {};
    row((std::string("read call (meSTCGetStatus), ") + where).c_str(),
        measure(5000, [&](int) { meSTCGetStatus(devsim::kStatusArea, kServer, value); }), read_goal);
    row((std::string("write call (meSTCSetStatus), ") + where).c_str(),
        measure(2000,
                [&](int i) {
                    std::snprintf(reinterpret_cast<char *>(value), sizeof value, "server%d.example", i);
                    meSTCSetStatus(devsim::kWriter, devsim::kStatusArea, kServer, value);
                }),
        write_goal);
}

// Reads while a child holds the file's write lock (a batch with a write in it).
void readBesideALock() {
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) return;
    pid_t child = fork();
    if (child == 0) {
        devsim::batch([&] {
            uint8_t v[64] = "held.example";
            meSTCSetStatus(devsim::kWriter, devsim::kStatusArea, kServer, v);
            char c = 'x';
            (void)!write(ready[1], &c, 1);
            (void)!read(done[0], &c, 1);
        });
        _exit(0);
    }
    char c;
    if (read(ready[0], &c, 1) != 1) return;
    uint8_t value[64] = {};
    row("read call beside a held write lock, file",
        measure(500, [&](int) { meSTCGetStatus(devsim::kStatusArea, kServer, value); }), 1000);
    (void)!write(done[1], &c, 1);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

} // namespace

int main(int argc, char **argv) {
    const std::string entmlst = argc > 1 ? argv[1] : ENTMLST_TOOL;
    const std::string sqlite3 = argc > 2 ? argv[2] : "/usr/bin/sqlite3";
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("device-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string file = argc > 3 ? argv[3] : (dir / "device.db").string();

    std::printf("%-44s %10s %10s %10s\n", "", "median us", "p90 us", "goal us");
    devsim::openDevice(devsim::kMemoryDevice);
    serviceCalls("memory", 0, 0);
    devsim::openDevice(file);
    serviceCalls("file", 15, 30);
    readBesideALock();

    ENTMLSTSMTP a, b;
    entMLSTGetSmtp(&a);
    std::memset(&b, 0x41, sizeof b);
    row("entMLSTSetSmtp, all 24 rows changed, file",
        measure(200,
                [&](int i) {
                    uint32_t rc = entMLSTSetSmtp(0x00ffffff, i % 2 ? &a : &b);
                    if (rc != ENTMLST_OK)
                        std::fprintf(stderr, "entMLSTSetSmtp: 0x%x\n", static_cast<unsigned>(rc));
                }),
        5000);

    // Whole processes, alternately, on the same file.
    const std::vector<std::string> get = {entmlst, "--device", file, "get", "smtp"};
    const std::vector<std::string> select = {sqlite3, file, "select 1"};
    // The same program not touching the device: what starting it costs.
    const std::vector<std::string> floor = {entmlst, "groups"};
    if (!runQuietly(get) || !runQuietly(select)) {
        std::printf("cannot run %s or %s; process figures skipped\n", entmlst.c_str(), sqlite3.c_str());
    } else {
        std::vector<double> tool, base, start;
        for (int i = 0; i < 60; ++i) {
            for (auto [argv_, out] :
                 {std::pair{&get, &tool}, std::pair{&select, &base}, std::pair{&floor, &start}}) {
                auto t0 = Clock::now();
                runQuietly(*argv_);
                out->push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
        }
        std::sort(tool.begin(), tool.end());
        std::sort(base.begin(), base.end());
        const Figures t{tool[tool.size() / 2], tool[tool.size() * 9 / 10]};
        const Figures s{base[base.size() / 2], base[base.size() * 9 / 10]};
        std::sort(start.begin(), start.end());
        row("process: entmlst get smtp", t, 0);
        row("process: entmlst groups (no device)", {start[start.size() / 2], start[start.size() * 9 / 10]},
            0);
        row("process: sqlite3 FILE 'select 1'", s, 0);
        std::printf("%-44s %10.2f %21s %s\n", "ratio entmlst / sqlite3 (medians)", t.median_us / s.median_us,
                    "1.30", t.median_us / s.median_us <= 1.3 ? "ok" : "OVER");
    }
    devsim::openDevice(devsim::kMemoryDevice);
    fs::remove_all(dir);
    return 0;
}
