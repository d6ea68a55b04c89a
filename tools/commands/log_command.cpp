// log_command.cpp - entmlst log: what the device received, from every
// process, read from the device's log.
#include "cli/command_line.h"
#include "device/device_control.h"

#include "cli/usage_error.h"
#include "devsim.h"
#include "document/values.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <thread>

namespace entmlst {
namespace {

struct LogArgs {
    bool follow = false;
    std::optional<std::string> since;
    std::optional<std::string> pid;
};

Json entryJson(const devsim::LogEntry &e) {
    Json args = Json::array();
    for (uint64_t a : e.args) args.push_back(a);
    return Json{{"seq", e.seq},
                {"time_us", e.time_us},
                {"pid", e.pid},
                {"kind", devsim::logKindName(e.kind)},
                {"service", devsim::serviceName(e.service)},
                {"args", args},
                {"result", e.result},
                {"done", e.done},
                {"text", devsim::escapeLogText(e.text, false)}};
}

// A follower tries again after each wait for a lock, this long.
constexpr unsigned kFollowWaitMs = 1000;

// Runs call; while another process holds the device file locked, says so
// once and tries again.
template <typename Call>
auto waitingThroughLocks(const std::string &path, Call call) {
    bool said = false;
    for (;;) {
        try {
            return call();
        } catch (const devsim::DeviceError &e) {
            if (e.code != devsim::kDeviceBusy) throw DeviceFileError(e.what());
            if (!said)
                std::fprintf(stderr, "entmlst: %s is locked by another process; waiting for it\n",
                             path.c_str());
            said = true;
        }
    }
}

// The device file a follower reads, held by an O_PATH descriptor: its inode
// cannot go to a new file while held, so a new file at the path always
// differs, and closing it never drops the simulator's locks on the file.
class WatchedFile {
public:
    explicit WatchedFile(const std::string &path) : fd_(::open(path.c_str(), O_PATH | O_CLOEXEC)) {}
    ~WatchedFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    WatchedFile(const WatchedFile &) = delete;
    WatchedFile &operator=(const WatchedFile &) = delete;

    // True when path names this file; false when it names no file (gone)
    // or another one (replaced).
    bool isAt(const std::string &path, bool &gone) const {
        struct stat now = {};
        struct stat held = {};
        gone = ::stat(path.c_str(), &now) != 0;
        return !gone && fd_ >= 0 && ::fstat(fd_, &held) == 0 && now.st_dev == held.st_dev &&
               now.st_ino == held.st_ino;
    }

private:
    int fd_;
};

int runLog(const Options &o, const LogArgs &a) {
    devsim::LogFilter filter;
    if (a.since)
        filter.since_us = parseMoment("--since", *a.since,
                                      std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
    if (a.pid) filter.pid = static_cast<int32_t>(parseUnsigned("--pid", *a.pid, INT32_MAX));

    auto print = [&](const std::vector<devsim::LogEntry> &entries, bool lines_of_json) {
        if (o.json && !lines_of_json) {
            Json all = Json::array();
            for (const auto &e : entries) all.push_back(entryJson(e));
            std::printf("%s\n", all.dump(2).c_str());
        } else {
            for (const auto &e : entries)
                std::printf("%s\n", o.json ? entryJson(e).dump().c_str() : devsim::formatLogEntry(e).c_str());
        }
        // A reader that went away ends the follow: nothing more can be shown.
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw OutputError("cannot write standard output");
        if (!entries.empty()) filter.after_seq = entries.back().seq;
    };
    if (!a.follow) {
        print(control([&] {
                  devsim::openDevice(o.device);
                  return devsim::log(filter);
              }),
              false);
        return 0;
    }

    // New entries as other processes make them, until interrupted, through
    // locks and across a new file at the path.
    devsim::setBusyTimeout(kFollowWaitMs);
    auto openWatched = [&] {
        waitingThroughLocks(o.device, [&] { devsim::openDevice(o.device); });
        return std::make_unique<WatchedFile>(o.device);
    };
    auto watched = openWatched();
    const bool file = o.device != devsim::kMemoryDevice;
    bool said_gone = false;
    for (;;) {
        bool gone = false;
        if (file && !watched->isAt(o.device, gone)) {
            if (gone) {
                if (!said_gone)
                    std::fprintf(stderr, "entmlst: %s was deleted; waiting for a device file there\n",
                                 o.device.c_str());
                said_gone = true;
            } else if (struct stat st = {}; ::stat(o.device.c_str(), &st) == 0 && st.st_size > 0) {
                // Not while it is still empty: its maker has yet to set it up.
                std::fprintf(stderr,
                             "entmlst: %s was replaced; following the new file from its first entry\n",
                             o.device.c_str());
                watched.reset();
                watched = openWatched();
                filter.after_seq = 0;
                said_gone = false;
            }
        }
        print(waitingThroughLocks(o.device, [&] { return devsim::log(filter); }), true);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace

Json logEntryJson(const devsim::LogEntry &e) { return entryJson(e); }

void bindLog(CLI::App &cmd, Chosen &chosen) {
    define<LogArgs>(
        cmd, chosen,
        [](CLI::App &c, LogArgs &a) {
            c.add_flag("-f,--follow", a.follow,
                       "keep printing new entries until interrupted; waits while the file is locked, "
                       "and when the file is deleted or replaced, says so and follows the new file");
            c.add_option("--since", a.since,
                         "only entries since WHEN: 90s, 10m, 2h, 1d ago; YYYY-MM-DD[ HH:MM[:SS[.fff]]][Z]; "
                         "HH:MM[:SS[.fff]]")
                ->type_name("WHEN");
            c.add_option("--pid", a.pid, "only the entries of one process")->type_name("PID");
        },
        runLog);
}

} // namespace entmlst
