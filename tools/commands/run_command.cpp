// run_command.cpp - entmlst run: a program under test on a device of its
// own, made fresh for it in a private folder and removed afterwards (or
// kept where the user says). The device the user has configured is never
// opened.
#include "cli/command_line.h"
#include "device/device_control.h"

#include "base/errors.h"
#include "cli/output_file.h"
#include "cli/result_codes.h"
#include "commands/settings_import.h"
#include "device/call_trace.h"
#include "devsim.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

extern char **environ;

namespace entmlst {
namespace {

namespace fs = std::filesystem;

// The device file's name, in the private folder and in a --keep folder.
constexpr const char *kDeviceName = "device.db";
constexpr const char *kCompanions[] = {"", "-wal", "-shm"};
// Monitor lines the summary shows; the rest are counted.
constexpr std::size_t kMonitorLinesShown = 3;

struct RunArgs {
    std::string state;
    std::vector<std::string> faults;
    std::string keep;
    std::string log_json;
    bool quiet = false;
    bool require_fired = false;
    std::string trace;
    std::string expect_trace;
    bool update_trace = false;
    std::vector<std::string> program;
};

// A failure of run itself: exit 125, whatever the program did.
struct RunFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string errnoText(const std::string &what) { return what + ": " + std::strerror(errno); }

// The private folder and the device in it: the device closed (its WAL
// folded by the last process to close it) and the folder removed when the
// run ends, however it ends, unless the device was kept.
class PrivateDevice {
public:
    PrivateDevice() {
        const std::string temporary = temporaryFolder();
        sweep(temporary);
        // The lock is held while the run lasts, even when it is killed: a
        // folder whose lock is free belongs to a run that has gone. Another
        // run's sweep may take a folder before its lock is held: then another.
        for (int attempt = 0; lock_ < 0; ++attempt) {
            std::string pattern = temporary + "/" + kFolderPrefix + "XXXXXX";
            if (::mkdtemp(pattern.data()) == nullptr)
                throw RunFailure(errnoText("cannot make a folder " + pattern));
            const int fd = ::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            struct stat st {};
            if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
                lock_ = fd;
                folder_ = pattern;
            } else if (fd >= 0) {
                ::close(fd);
            }
            if (lock_ < 0 && attempt == 9)
                throw RunFailure("cannot hold a folder of its own in " + temporary);
        }
        path_ = (folder_ / kDeviceName).string();
    }
    ~PrivateDevice() {
        close();
        std::error_code ec;
        fs::remove_all(folder_, ec);
        if (lock_ >= 0) ::close(lock_);
    }
    PrivateDevice(const PrivateDevice &) = delete;
    PrivateDevice &operator=(const PrivateDevice &) = delete;

    const std::string &path() const { return path_; }
    // This process lets go of the device; a later control call would open
    // it again.
    void close() {
        try {
            devsim::openDevice(devsim::kMemoryDevice);
        } catch (const devsim::DeviceError &) {
        }
    }
    // Moves the device's files into folder (which holds none of them), once
    // this process has let go of it.
    void keepIn(const fs::path &folder) {
        close();
        for (const char *suffix : kCompanions) {
            const std::string from = path_ + suffix;
            const std::string to = (folder / kDeviceName).string() + suffix;
            // -shm is only an index of the -wal, made anew by the next process to open it.
            if (::access(from.c_str(), F_OK) != 0 || std::string(suffix) == "-shm") continue;
            if (::link(from.c_str(), to.c_str()) == 0) continue;
            if (errno != EXDEV) throw RunFailure(errnoText("cannot keep the device as " + to));
            copyNew(from, to);
        }
    }

private:
    // $TMPDIR when set; else a folder in memory when there is one, where the
    // file's syncs cost nothing (a device thrown away needs none); else /tmp.
    static std::string temporaryFolder() {
        for (const char *variable : {"TMPDIR", "XDG_RUNTIME_DIR"})
            if (const char *dir = std::getenv(variable); dir != nullptr && *dir != '\0') return dir;
        struct stat st {};
        if (::stat(kSharedMemory, &st) == 0 && S_ISDIR(st.st_mode) &&
            ::access(kSharedMemory, W_OK | X_OK) == 0)
            return kSharedMemory;
        return "/tmp";
    }
    static constexpr const char *kSharedMemory = "/dev/shm";

    // Removes this user's run folders in temporary whose run has gone (killed
    // before it could remove its own).
    static void sweep(const std::string &temporary) {
        std::error_code ec;
        for (fs::directory_iterator it(temporary, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            struct stat st {};
            if (name.rfind(kFolderPrefix, 0) != 0 || ::lstat(it->path().c_str(), &st) != 0 ||
                !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
                continue;
            const int fd = ::open(it->path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) continue;
            std::error_code ignored;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) fs::remove_all(it->path(), ignored);
            ::close(fd);
        }
    }
    static constexpr const char *kFolderPrefix = "entmlst-run-";

    // Another file system: a copy, into a file made for it.
    static void copyNew(const std::string &from, const std::string &to) {
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool ok = in >= 0 && out >= 0 && ::fchmod(out, 0600) == 0; // whatever the umask
        char buf[1 << 16];
        for (ssize_t n; ok && (n = ::read(in, buf, sizeof buf)) != 0;)
            ok = n > 0 && ::write(out, buf, static_cast<std::size_t>(n)) == n;
        if (in >= 0) ::close(in);
        if (out >= 0 && ::close(out) != 0) ok = false;
        if (ok) return;
        const std::string why = std::strerror(errno);
        if (out >= 0) ::unlink(to.c_str()); // half a device is none
        throw RunFailure("cannot keep the device as " + to + ": " + why);
    }

    fs::path folder_;
    std::string path_;
    int lock_ = -1;
};

// A --keep folder: made if missing, refused when it holds a device already.
fs::path keepFolder(const std::string &dir) {
    std::error_code ec;
    // Each folder made here is its owner's alone, whatever the umask: the
    // device holds passwords.
    std::vector<fs::path> missing;
    struct stat st {};
    for (fs::path p = fs::absolute(dir, ec);
         !ec && !p.empty() && ::lstat(p.c_str(), &st) != 0 && errno == ENOENT; p = p.parent_path())
        missing.push_back(p);
    for (auto p = missing.rbegin(); !ec && p != missing.rend(); ++p) {
        if (::mkdir(p->c_str(), 0700) == 0 ? ::chmod(p->c_str(), 0700) == 0 : errno == EEXIST) continue;
        ec.assign(errno, std::generic_category());
    }
    if (ec) throw RunFailure("--keep " + dir + ": " + ec.message());
    if (!fs::is_directory(dir, ec)) throw RunFailure("--keep " + dir + ": not a folder");
    for (const char *suffix : kCompanions) {
        const fs::path there = fs::path(dir) / (std::string(kDeviceName) + suffix);
        if (fs::symlink_status(there, ec).type() != fs::file_type::not_found)
            throw RunFailure("--keep " + dir + ": it holds a device file already (" + there.string() +
                             "); name another folder, or move that one away");
    }
    return dir;
}

// A target of an option's output that cannot take it is refused before
// anything runs; writing it decides in the end.
void checkTarget(const std::string &option, const std::string &file) {
    std::error_code ec;
    const fs::path p(file);
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec))
        throw RunFailure(option + " " + file + ": no folder " + folder.string());
    const fs::file_status st = fs::status(p, ec);
    if (st.type() != fs::file_type::not_found && st.type() != fs::file_type::regular)
        throw RunFailure(option + " " + file + ": not a regular file");
}

// The golden trace to compare with, checked before anything runs.
std::string goldenTrace(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad())
        throw RunFailure("--expect-trace " + file + ": cannot read it: " + std::strerror(errno));
    if (auto why = notATrace(text.str()))
        throw RunFailure("--expect-trace " + file + ": not a call trace (" + *why +
                         "); --update-trace writes a new one");
    return text.str();
}

// The settings document at path, imported as import does (its jobs too), on
// a device in memory: its state then goes to the new device whole, whose log
// starts with the program.
devsim::State importedState(const std::string &path) {
    control([] { devsim::openDevice(devsim::kMemoryDevice); });
    Options o;
    o.device = devsim::kMemoryDevice;
    LibraryAccess lib;
    Import in;
    if (!importDocument(o, path, false, lib, in))
        throw RunFailure("--state " + path + ": not imported; nothing was run");
    if (in.done.code != 0)
        throw RunFailure("--state " + path + ": the library answered " + codeText(in.done.code) +
                         "; nothing was run");
    return control([] { return devsim::exportState(); });
}

// SIGINT, SIGTERM and SIGHUP sent to run go to the program while run waits
// for it; those run was started ignoring, the program ignores too. A
// program still running kGraceSeconds after the first is killed.
constexpr int kForwarded[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kGraceSeconds = 5;

struct Ran {
    int status = kExitRunFailed; // run's exit status for it
    std::string how;             // "exited with status 3", "was killed by signal 9 (Killed)"
    bool ran = false;            // the program started
    bool killed = false;         // run killed it after the grace period
};

// Where a command name leads, as the shell finds it: a path as it is,
// else the first executable file of that name in $PATH.
std::string located(const std::string &name) {
    if (name.find('/') != std::string::npos) return name;
    const char *path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string file = end == start ? "." : dirs.substr(start, end - start);
        file += '/';
        file += name;
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0)
            return file;
        start = end + 1;
    }
    return name;
}

timespec monotonicNow() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

// Waits for the program, passing on the signals of waited but SIGCHLD (all
// blocked); kills it kGraceSeconds after the first one passed on.
int waitFor(pid_t child, const sigset_t &waited, Ran &r) {
    int ws = 0;
    std::optional<timespec> deadline;
    while (::waitpid(child, &ws, WNOHANG) != child) {
        siginfo_t info{};
        int sig = 0;
        if (!deadline) {
            sig = sigwaitinfo(&waited, &info);
        } else {
            const timespec now = monotonicNow();
            long long left = (deadline->tv_sec - now.tv_sec) * 1000000000LL + deadline->tv_nsec - now.tv_nsec;
            const timespec wait{static_cast<time_t>(std::max(left, 0LL) / 1000000000LL),
                                static_cast<long>(std::max(left, 0LL) % 1000000000LL)};
            sig = left > 0 ? sigtimedwait(&waited, &info, &wait) : (errno = EAGAIN, -1);
        }
        if (sig < 0 && errno == EAGAIN) {
            ::kill(child, SIGKILL);
            r.killed = true;
            while (::waitpid(child, &ws, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        if (sig <= 0 || sig == SIGCHLD) continue;
        ::kill(child, sig);
        if (!deadline) {
            deadline = monotonicNow();
            deadline->tv_sec += kGraceSeconds;
            r.how = std::string(" ") + std::to_string(kGraceSeconds) + " s after signal " +
                    std::to_string(sig) + " (" + strsignal(sig) + ")";
        }
    }
    // A signal that came as the program ended was for it: dropped, not run's end.
    const timespec none{};
    while (sigtimedwait(&waited, nullptr, &none) > 0) {
    }
    return ws;
}

// Runs the program with ENTMLST_DEVICE naming device, and waits for it.
// Forked, so that the program dies with run, even when run is killed: a
// test's program never outlives the test that started it.
Ran runProgram(const std::vector<std::string> &program, const std::string &device) {
    std::vector<std::string> env;
    const std::string variable = std::string(devsim::kDeviceVariable) + "=";
    for (char **e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, variable.c_str(), variable.size()) != 0) env.emplace_back(*e);
    env.push_back(variable + device);
    std::vector<char *> envp, argv;
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = program;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    // Blocked until the program has ended, and taken by waitFor: no handler,
    // so the program starts with run's own dispositions (an ignored signal
    // stays ignored) and its mask. SIGCHLD at its default while run waits:
    // ignored, the program would be reaped unseen.
    sigset_t waited, old_mask;
    sigemptyset(&waited);
    sigaddset(&waited, SIGCHLD);
    for (int sig : kForwarded) {
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        if (now.sa_handler != SIG_IGN) sigaddset(&waited, sig);
    }
    struct sigaction child_default {
    }, old_child{};
    child_default.sa_handler = SIG_DFL;
    sigemptyset(&child_default.sa_mask);
    sigaction(SIGCHLD, &child_default, &old_child);
    sigprocmask(SIG_BLOCK, &waited, &old_mask);

    // The child reports a failed exec here; a successful one closes it.
    int report[2] = {-1, -1};
    int spawn_error = ::pipe2(report, O_CLOEXEC) == 0 ? 0 : errno;
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const pid_t child = spawn_error == 0 ? ::fork() : -1;
    if (child == 0) {
        // Dies with run; run may have gone before this took effect.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(kExitRunFailed);
        sigaction(SIGCHLD, &old_child, nullptr);
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
        // A file of commands without a #! line goes to the shell, as execvp() does.
        ::execvpe(argv[0], argv.data(), envp.data());
        const int e = errno;
        (void)!::write(report[1], &e, sizeof e);
        ::_exit(kExitNotFound);
    }
    if (child < 0 && spawn_error == 0) spawn_error = errno;
    if (report[1] >= 0) ::close(report[1]);
    if (child > 0) {
        int e = 0;
        ssize_t n;
        while ((n = ::read(report[0], &e, sizeof e)) < 0 && errno == EINTR) {
        }
        if (n == sizeof e) spawn_error = e;
    }
    if (report[0] >= 0) ::close(report[0]);

    Ran r;
    int ws = 0;
    if (child > 0) ws = spawn_error != 0 ? (::waitpid(child, nullptr, 0), 0) : waitFor(child, waited, r);
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    sigaction(SIGCHLD, &old_child, nullptr);

    if (spawn_error != 0) {
        struct stat st {};
        const std::string file = located(program[0]);
        // A file that is there, but whose #! interpreter is not.
        const bool here = spawn_error == ENOENT && ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        r.status = spawn_error == ENOENT && !here ? kExitNotFound : kExitCannotRun;
        r.how = r.status == kExitNotFound ? "not found"
                : here                    ? "cannot be run: its interpreter (#! line) was not found"
                                          : std::string("cannot be run: ") + std::strerror(spawn_error);
        return r;
    }
    r.ran = true;
    if (r.killed) {
        r.status = 128 + SIGKILL;
        r.how = "was still running" + r.how + ", and run killed it (signal 9)";
    } else if (WIFSIGNALED(ws)) {
        r.status = 128 + WTERMSIG(ws);
        r.how = "was killed by signal " + std::to_string(WTERMSIG(ws)) + " (" + strsignal(WTERMSIG(ws)) + ")";
    } else {
        r.status = WEXITSTATUS(ws);
        r.how = "exited with status " + std::to_string(r.status);
    }
    return r;
}

// What the device received while the program ran, in a few lines on
// standard error: calls per service, fault entries, broken rules, storage
// problems and the first monitor lines.
void printSummary(const std::string &program, const Ran &ran, const std::vector<devsim::LogEntry> &entries) {
    std::array<std::size_t, devsim::kServiceCount> calls{};
    std::map<std::string, std::size_t> faults;
    std::vector<std::string> problems, monitor;
    for (const devsim::LogEntry &e : entries) {
        using devsim::LogKind;
        const std::string text = devsim::escapeLogText(e.text, true);
        switch (e.kind) {
        case LogKind::call:
        case LogKind::notification:
            ++calls[static_cast<std::size_t>(e.service)];
            break;
        case LogKind::monitor:
            ++calls[static_cast<std::size_t>(e.service)];
            monitor.push_back(
                devsim::escapeLogText(e.text.substr(0, e.text.find_last_not_of('\n') + 1), true));
            break;
        case LogKind::fault:
            ++faults[text];
            break;
        case LogKind::violation:
        case LogKind::device:
            problems.push_back(std::string(devsim::logKindName(e.kind)) + ": " + text);
            break;
        case LogKind::armed:
        case LogKind::cleared:
        case LogKind::note:
            break;
        }
    }
    std::string line;
    for (std::size_t s = 0; s < calls.size(); ++s)
        if (calls[s] != 0) {
            line += line.empty() ? "" : ", ";
            line += devsim::serviceName(static_cast<devsim::Service>(s));
            line += ' ';
            line += std::to_string(calls[s]);
        }
    std::fprintf(stderr, "entmlst run: %s %s\n", program.c_str(), ran.how.c_str());
    std::fprintf(stderr, "  calls: %s\n", line.empty() ? "none" : line.c_str());
    line.clear();
    for (const auto &[text, times] : faults) {
        line += line.empty() ? "" : "; ";
        line += text;
        if (times > 1) {
            line += " (";
            line += std::to_string(times);
            line += " times)";
        }
    }
    std::fprintf(stderr, "  faults: %s\n", line.empty() ? "none fired" : line.c_str());
    for (const std::string &p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
    for (std::size_t i = 0; i < monitor.size() && i < kMonitorLinesShown; ++i)
        std::fprintf(stderr, "  monitor: %s\n", monitor[i].c_str());
    if (monitor.size() > kMonitorLinesShown)
        std::fprintf(stderr, "  monitor: %zu lines more\n", monitor.size() - kMonitorLinesShown);
}

int runRun(const Options &, const RunArgs &a) {
    int status = kExitRunFailed;
    bool lost = false;
    try {
        std::vector<devsim::FaultSpec> faults;
        for (const std::string &text : a.faults) {
            try {
                faults.push_back(devsim::parseFaultSpec(text));
            } catch (const std::invalid_argument &e) {
                throw RunFailure("--fault " + text + ": " + e.what());
            }
        }
        std::optional<fs::path> keep;
        if (!a.keep.empty()) keep = keepFolder(a.keep);
        if (!a.log_json.empty()) checkTarget("--log-json", a.log_json);
        if (!a.trace.empty()) checkTarget("--trace", a.trace);
        std::optional<std::string> golden;
        if (a.update_trace)
            checkTarget("--expect-trace", a.expect_trace);
        else if (!a.expect_trace.empty())
            golden = goldenTrace(a.expect_trace);
        std::optional<devsim::State> state;
        if (!a.state.empty()) state = importedState(a.state);
        PrivateDevice dev;
        std::vector<uint64_t> ids; // the --faults, in the device
        control([&] {
            devsim::openDevice(dev.path());
            if (state) devsim::importState(*state);
            for (const devsim::FaultSpec &f : faults) ids.push_back(devsim::addFault(f));
        });
        uint64_t mark = control([] { return devsim::lastLogSeq(); });
        struct stat made {};
        ::stat(dev.path().c_str(), &made);

        const Ran ran = runProgram(a.program, dev.path());
        status = ran.status;
        if (!ran.ran || ran.killed)
            std::fprintf(stderr, "entmlst: run: %s: %s\n", a.program[0].c_str(), ran.how.c_str());

        // A device the program made anew in place of its own: all of its log is the program's.
        struct stat now {};
        const bool there = ::stat(dev.path().c_str(), &now) == 0;
        if (there && (now.st_ino != made.st_ino || now.st_dev != made.st_dev)) {
            mark = 0;
            dev.close();
            control([&] { devsim::openDevice(dev.path()); });
        }
        const std::vector<devsim::LogEntry> entries = control([] { return devsim::log(); });
        std::vector<devsim::LogEntry> program_entries;
        for (const devsim::LogEntry &e : entries)
            if (e.seq > mark) program_entries.push_back(e);
        if (ran.ran && !a.quiet) printSummary(a.program[0], ran, program_entries);
        // A fault that never fired tested nothing: said, and with --require-fired
        // a failed check, which fails a run whose program exited 0.
        if (ran.ran) {
            bool unfired = false;
            for (const devsim::FaultInfo &f : control([] { return devsim::faults(); }))
                if (f.fired == 0 && std::find(ids.begin(), ids.end(), f.id) != ids.end()) {
                    std::fprintf(stderr, "entmlst: run: fault %llu %s never fired\n",
                                 static_cast<unsigned long long>(f.id),
                                 devsim::faultSpecText(f.spec).c_str());
                    unfired = true;
                }
            if (unfired && a.require_fired && status == 0) status = kExitFailed;
        }
        // The trace, written and compared once the program has run.
        const std::string trace = ran.ran ? callTrace(program_entries) : std::string();
        auto write = [&](const std::string &option, const std::string &file) {
            try {
                writeFileWhole(file, trace, false);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "entmlst: run: %s %s: %s\n", option.c_str(), file.c_str(), e.what());
                lost = true;
            }
        };
        if (ran.ran && !a.trace.empty()) write("--trace", a.trace);
        if (ran.ran && a.update_trace) write("--expect-trace", a.expect_trace);
        if (ran.ran && golden) {
            const std::string diff = unifiedDiff(a.expect_trace, *golden, "this run", trace);
            if (!diff.empty()) {
                std::fprintf(stderr, "entmlst: run: the calls differ from --expect-trace %s:\n%s",
                             a.expect_trace.c_str(), diff.c_str());
                if (status == 0) status = kExitFailed;
            }
        }
        if (!a.log_json.empty()) {
            try {
                writeFileWhole(a.log_json, logEntriesJson(entries) + "\n", true);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "entmlst: run: --log-json %s: %s\n", a.log_json.c_str(), e.what());
                lost = true;
            }
        }
        if (keep && !there) {
            // What is left of a deleted device (its -wal) would be read into
            // the next device made there: nothing is kept.
            std::fprintf(stderr, "entmlst: run: the program deleted its device; nothing is kept in %s\n",
                         keep->string().c_str());
            return kExitRunFailed;
        }
        if (keep) {
            dev.keepIn(*keep);
            if (!a.quiet)
                std::fprintf(stderr, "entmlst run: the device is kept as %s\n",
                             (*keep / kDeviceName).string().c_str());
        }
    } catch (const RunFailure &e) {
        std::fprintf(stderr, "entmlst: run: %s\n", e.what());
        return kExitRunFailed;
    }
    // Output the user asked for was lost: not the program's status.
    return lost ? kExitRunFailed : status;
}

} // namespace

void bindRun(CLI::App &cmd, Chosen &chosen) {
    define<RunArgs>(
        cmd, chosen,
        [](CLI::App &c, RunArgs &a) {
            // An empty value would read as the option not given.
            const auto named = [](const std::string &v) {
                return v.empty() ? std::string("empty") : std::string();
            };
            c.add_option("--state", a.state,
                         "import this settings document (as export --jobs writes it, jobs too) into the new "
                         "device first")
                ->type_name("FILE.json")
                ->check(named);
            c.add_option("--fault", a.faults,
                         "arm a fault in the new device, as fault add does (SPEC as fault add takes it); "
                         "again for more")
                ->type_name("SPEC")
                ->allow_extra_args(false);
            c.add_option("--keep", a.keep,
                         "leave the device in DIR as device.db (DIR is made if missing, and must hold none)")
                ->type_name("DIR")
                ->check(named);
            c.add_option("--log-json", a.log_json,
                         "write the device's whole log to FILE as JSON, as --json log prints it")
                ->type_name("FILE")
                ->check(named);
            c.add_flag("--require-fired", a.require_fired,
                       "a --fault that never fired is a failed check (run says each on standard error, "
                       "without this too)");
            c.add_flag("-q,--quiet", a.quiet, "no summary on standard error");
            c.add_option("--trace", a.trace,
                         "write the program's service calls to FILE as a call trace: one line per call, "
                         "with the names and values it read and wrote and the answer, the same in every "
                         "run of the same program (see TRACES)")
                ->type_name("FILE")
                ->check(named);
            auto *expect =
                c.add_option("--expect-trace", a.expect_trace,
                             "compare the program's call trace with the one in FILE and show a unified "
                             "diff on standard error where they differ: a failed check. A FILE that "
                             "cannot be read or holds no trace is refused before the program runs (125)")
                    ->type_name("FILE")
                    ->check(named);
            c.add_flag("--update-trace", a.update_trace,
                       "write the program's call trace to the --expect-trace FILE instead of comparing; "
                       "run exits with the program's status")
                ->needs(expect);
            c.add_option(
                 "program", a.program,
                 "the program to run and its arguments, after --. A SIGINT, SIGTERM or SIGHUP sent to "
                 "run goes to it; still running " +
                     std::to_string(kGraceSeconds) +
                     " s after the first, it is killed (status 137). It dies with run, even when run "
                     "is killed; the processes it starts are its own affair")
                ->required()
                ->type_name("PROGRAM");
            c.footer(
                std::string(
                    "The checks (--require-fired, --expect-trace) are reported on standard error. When "
                    "the program exits non-zero, run exits with its status; when it exits 0 and a check "
                    "fails, run exits 1. An --expect-trace file that cannot be read or holds no trace is "
                    "refused before the program runs (125).\n\n") +
                c.get_footer());
        },
        runRun);
}

} // namespace entmlst
