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
#include "devsim.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

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
        std::string pattern = temporaryFolder();
        pattern += "/entmlst-run-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw RunFailure(errnoText("cannot make a folder " + pattern));
        folder_ = pattern;
        path_ = (folder_ / kDeviceName).string();
    }
    ~PrivateDevice() {
        close();
        std::error_code ec;
        fs::remove_all(folder_, ec);
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

    // Another file system: a copy, into a file made for it.
    static void copyNew(const std::string &from, const std::string &to) {
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool ok = in >= 0 && out >= 0;
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
};

// A --keep folder: made if missing, refused when it holds a device already.
fs::path keepFolder(const std::string &dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
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

// A --log-json target that cannot take the log is refused before anything
// runs; writing it decides in the end.
void checkLogTarget(const std::string &file) {
    std::error_code ec;
    const fs::path p(file);
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec))
        throw RunFailure("--log-json " + file + ": no folder " + folder.string());
    const fs::file_status st = fs::status(p, ec);
    if (st.type() != fs::file_type::not_found && st.type() != fs::file_type::regular)
        throw RunFailure("--log-json " + file + ": not a regular file");
}

// The settings document at path, imported as import does, on a device in
// memory: its state then goes to the new device whole, whose log starts
// with the program.
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

// SIGINT, SIGTERM and SIGHUP go to the program while run waits for it;
// those run was started ignoring, the program ignores too.
constexpr int kForwarded[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t g_child = 0;
void forward(int sig) {
    if (g_child > 0) ::kill(static_cast<pid_t>(g_child), sig);
}

struct Ran {
    int status = kExitRunFailed; // run's exit status for it
    std::string how;             // "exited with status 3", "was killed by signal 9 (Killed)"
    bool ran = false;            // the program started
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

// Runs the program with ENTMLST_DEVICE naming device, and waits for it.
// Spawned, not forked: a copy of this process's memory would cost more
// than a short program takes.
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

    // Blocked until the child is known, so that none is lost or misdirected;
    // the child starts with the mask run was given, and exec gives a caught
    // signal back its default.
    sigset_t forwarded, old_mask;
    sigemptyset(&forwarded);
    for (int sig : kForwarded) sigaddset(&forwarded, sig);
    sigprocmask(SIG_BLOCK, &forwarded, &old_mask);
    std::array<struct sigaction, std::size(kForwarded)> old_actions{};
    struct sigaction handler {};
    handler.sa_handler = forward;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kForwarded); ++i) {
        sigaction(kForwarded[i], nullptr, &old_actions[i]);
        if (old_actions[i].sa_handler != SIG_IGN) sigaction(kForwarded[i], &handler, nullptr);
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setsigmask(&attr, &old_mask);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    std::fflush(nullptr);
    pid_t child = 0;
    int spawn_error = ::posix_spawnp(&child, argv[0], nullptr, &attr, argv.data(), envp.data());
    if (spawn_error == ENOEXEC) {
        // An executable file of commands without a #! line is the shell's, as
        // a shell and execvp() take it.
        std::string shell = "/bin/sh", script = located(program[0]);
        argv.insert(argv.begin(), shell.data());
        argv[1] = script.data();
        spawn_error = ::posix_spawn(&child, shell.c_str(), nullptr, &attr, argv.data(), envp.data());
    }
    posix_spawnattr_destroy(&attr);
    int ws = 0;
    if (spawn_error == 0) {
        g_child = child;
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
        while (::waitpid(child, &ws, 0) < 0 && errno == EINTR) {
        }
        g_child = 0;
    }
    for (std::size_t i = 0; i < std::size(kForwarded); ++i)
        sigaction(kForwarded[i], &old_actions[i], nullptr);
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);

    Ran r;
    if (spawn_error != 0) {
        r.status = spawn_error == ENOENT ? kExitNotFound : kExitCannotRun;
        r.how =
            spawn_error == ENOENT ? "not found" : std::string("cannot be run: ") + std::strerror(spawn_error);
        return r;
    }
    r.ran = true;
    if (WIFSIGNALED(ws)) {
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
        if (!a.log_json.empty()) checkLogTarget(a.log_json);
        std::optional<devsim::State> state;
        if (!a.state.empty()) state = importedState(a.state);
        PrivateDevice dev;
        control([&] {
            devsim::openDevice(dev.path());
            if (state) devsim::importState(*state);
            for (const devsim::FaultSpec &f : faults) devsim::addFault(f);
        });
        const uint64_t mark = control([] { return devsim::lastLogSeq(); });

        const Ran ran = runProgram(a.program, dev.path());
        status = ran.status;
        if (!ran.ran) std::fprintf(stderr, "entmlst: run: %s: %s\n", a.program[0].c_str(), ran.how.c_str());

        const std::vector<devsim::LogEntry> entries = control([] { return devsim::log(); });
        if (ran.ran && !a.quiet) {
            std::vector<devsim::LogEntry> program_entries;
            for (const devsim::LogEntry &e : entries)
                if (e.seq > mark) program_entries.push_back(e);
            printSummary(a.program[0], ran, program_entries);
        }
        if (!a.log_json.empty()) {
            Json all = Json::array();
            for (const devsim::LogEntry &e : entries) all.push_back(logEntryJson(e));
            try {
                writeFileWhole(a.log_json, all.dump(2) + "\n", true);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "entmlst: run: --log-json %s: %s\n", a.log_json.c_str(), e.what());
                lost = true;
            }
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
            c.add_option("--state", a.state,
                         "import this settings document (as export writes it) into the new device first")
                ->type_name("FILE.json");
            c.add_option("--fault", a.faults,
                         "arm a fault in the new device, as fault add does (SPEC as fault add takes it); "
                         "again for more")
                ->type_name("SPEC")
                ->allow_extra_args(false);
            c.add_option("--keep", a.keep,
                         "leave the device in DIR as device.db (DIR is made if missing, and must hold none)")
                ->type_name("DIR");
            c.add_option("--log-json", a.log_json,
                         "write the device's whole log to FILE as JSON, as --json log prints it")
                ->type_name("FILE");
            c.add_flag("-q,--quiet", a.quiet, "no summary on standard error");
            c.add_option("program", a.program, "the program to run and its arguments, after --")
                ->required()
                ->type_name("PROGRAM");
        },
        runRun);
}

} // namespace entmlst
