// log_command.cpp - entmlst log: what the device received, from every
// process, read from the device's log.
#include "cli/command_line.h"
#include "device/call_trace.h"
#include "device/device_control.h"

#include "base/errors.h"
#include "devsim.h"
#include "document/values.h"

#include <fcntl.h>
#include <regex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

namespace entmlst {
namespace {

struct LogArgs {
    bool follow = false;
    std::optional<std::string> since;
    std::optional<std::string> pid;
    std::optional<std::string> program;
    std::optional<std::string> after;
    std::optional<std::string> newest;
    std::optional<std::string> service;
    std::optional<std::string> kind;
    std::optional<std::string> until;
    std::optional<std::string> timeout;
    bool trace = false;
};

// The bytes of output gathered before they are written.
constexpr std::size_t kWriteChunk = 1 << 16;

// A JSON string of valid UTF-8 as the tool's JSON library writes it: '"',
// '\\' and the control characters escaped, every other byte as it is.
void appendJsonString(std::string &out, std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0; // the start of the bytes not yet appended
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text, plain, i - plain);
        plain = i + 1;
        out += '\\';
        switch (c) {
        case '"':
            out += '"';
            break;
        case '\\':
            out += '\\';
            break;
        case '\b':
            out += 'b';
            break;
        case '\f':
            out += 'f';
            break;
        case '\n':
            out += 'n';
            break;
        case '\r':
            out += 'r';
            break;
        case '\t':
            out += 't';
            break;
        default:
            out += "u00";
            out += kDigits[c >> 4];
            out += kDigits[c & 0xf];
        }
    }
    out.append(text, plain);
    out += '"';
}

// A text of the log as a JSON string, shown safely as the log shows it;
// printable ASCII (most texts) is already so.
void appendLogText(std::string &out, std::string_view text) {
    const bool plain =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f && c != '\\'; });
    if (plain)
        appendJsonString(out, text);
    else
        appendJsonString(out, devsim::escapeLogText(text, false));
}

template <typename T>
void appendNumber(std::string &out, T n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

// One entry as a JSON object, written directly (a log of thousands of
// entries is read in full): on one line, or pretty as an element of an
// array indented by 2, byte for byte as the JSON library's dump() and
// dump(2) lay them out. "names" maps the index of each settings-ID argument
// to that ID's names.
void appendEntryJson(std::string &out, const devsim::LogEntry &e, bool pretty) {
    // Each level's new line: the members, the elements of args and names, names' list.
    const char *at[] = {pretty ? "\n    " : "", pretty ? "\n      " : "", pretty ? "\n        " : ""};
    const char *colon = pretty ? ": " : ":";
    // Each key with the comma and new line before it, made once per layout.
    static const auto kKeyTexts = [] {
        const char *keys[] = {"seq",  "time_us", "pid",    "program", "kind", "service",
                              "args", "names",   "result", "done",    "text"};
        std::array<std::array<std::string, std::size(keys)>, 2> texts;
        for (std::size_t layout = 0; layout < 2; ++layout)
            for (std::size_t k = 0; k < std::size(keys); ++k) {
                std::string &t = texts[layout][k];
                t = k == 0 ? "" : ",";
                t += layout ? "\n    \"" : "\"";
                t += keys[k];
                t += layout ? "\": " : "\":";
            }
        return texts;
    }();
    // Called with the keys in the order of the table.
    std::size_t next_key = 0;
    auto key = [&](const char *) { out += kKeyTexts[pretty][next_key++]; };
    // "[a, b]" of the items at level, closed on the line of the level above.
    auto list = [&](const auto &items, int level, auto each) {
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i != 0) out += ',';
            out += at[level];
            each(items[i]);
        }
        if (!items.empty()) out += at[level - 1];
        out += ']';
    };
    out += '{';
    key("seq");
    appendNumber(out, e.seq);
    key("time_us");
    appendNumber(out, e.time_us);
    key("pid");
    appendNumber(out, e.pid);
    key("program");
    appendLogText(out, e.program);
    key("kind");
    appendJsonString(out, devsim::logKindName(e.kind));
    key("service");
    appendJsonString(out, devsim::serviceName(e.service));
    key("args");
    list(e.args, 1, [&](uint64_t a) { appendNumber(out, a); });
    key("names");
    out += '{';
    if (auto named = devsim::settingsIdArgument(e)) {
        out += at[1];
        out += '"';
        appendNumber(out, *named);
        out += '"';
        out += colon;
        list(devsim::settingNames(static_cast<uint32_t>(e.args[*named])), 2,
             [&](const std::string &name) { appendJsonString(out, name); });
        out += at[0];
    }
    out += '}';
    key("result");
    appendNumber(out, e.result);
    key("done");
    out += e.done ? "true" : "false";
    key("text");
    appendLogText(out, e.text);
    out += pretty ? "\n  }" : "}";
}

// Log entries as a JSON array indented by 2, appended to out; spill, when
// given, takes out's bytes whenever a chunk has gathered.
void appendEntriesJson(std::string &out, const std::vector<devsim::LogEntry> &entries,
                       const std::function<void()> &spill) {
    out += '[';
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out += i == 0 ? "\n  " : ",\n  ";
        appendEntryJson(out, entries[i], true);
        if (spill && out.size() >= kWriteChunk) spill();
    }
    out += entries.empty() ? "]" : "\n]";
}

// An extended regular expression, matched against whole lines.
class Pattern {
public:
    explicit Pattern(const std::string &text) {
        const int rc = ::regcomp(&re_, text.c_str(), REG_EXTENDED | REG_NOSUB);
        if (rc != 0) {
            char why[256];
            ::regerror(rc, &re_, why, sizeof why);
            throw UsageError("--until: \"" + text + "\" is not an extended regular expression: " + why);
        }
    }
    ~Pattern() { ::regfree(&re_); }
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;
    bool matches(const std::string &line) const { return ::regexec(&re_, line.c_str(), 0, nullptr, 0) == 0; }

private:
    regex_t re_{};
};

// Every name in a list.
template <typename T>
std::string allNames(std::size_t count, const char *(*name)(T)) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += (i == 0 ? "" : ", ") + std::string(name(static_cast<T>(i)));
    return out;
}

// The member of a list that option names, looked up by its name; a name
// not in the list is refused with every name the list has.
template <typename T>
T byName(const char *option, const std::string &given, const char *what, std::size_t count,
         std::optional<T> (*find)(const std::string &), const char *(*name)(T)) {
    if (auto found = find(given)) return *found;
    throw UsageError(std::string(option) + ": \"" + given + "\" is not " + what + "; one of " +
                     allNames(count, name));
}

devsim::LogFilter filterOf(const LogArgs &a) {
    devsim::LogFilter filter;
    if (a.since)
        filter.since_us = parseMoment("--since", *a.since,
                                      std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
    if (a.pid) filter.pid = static_cast<int32_t>(parseUnsigned("--pid", *a.pid, INT32_MAX));
    if (a.program && a.program->empty()) throw UsageError("--program: no name given");
    if (a.program) filter.program = *a.program;
    if (a.after) filter.after_seq = parseUnsigned("--after", *a.after, UINT64_MAX);
    if (a.newest) filter.newest = parseUnsigned("-n", *a.newest, SIZE_MAX, 1);
    if (a.service)
        filter.service = byName("--service", *a.service, "a service", devsim::kServiceCount,
                                devsim::serviceByName, devsim::serviceName);
    if (a.kind)
        filter.kind = byName("--kind", *a.kind, "a kind of entry", devsim::kLogKindCount,
                             devsim::logKindByName, devsim::logKindName);
    return filter;
}

// Waiting ran past --timeout.
struct TimedOut {};

// A follower tries again after each wait for a lock, this long.
constexpr unsigned kFollowWaitMs = 1000;

using Clock = std::chrono::steady_clock;

// Runs call; while another process holds the device file locked, says so
// once and tries again, until the deadline if there is one.
template <typename Call>
auto waitingThroughLocks(const std::string &path, std::optional<Clock::time_point> deadline, Call call) {
    bool said = false;
    for (;;) {
        try {
            return call();
        } catch (const devsim::DeviceError &e) {
            if (e.code != devsim::kDeviceBusy) throw DeviceFileError(e.what());
            if (deadline && Clock::now() >= *deadline) throw TimedOut{};
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
    if (a.trace && o.json) throw UsageError("--trace prints text; drop --json");
    devsim::LogFilter filter = filterOf(a);
    const std::unique_ptr<Pattern> until = a.until ? std::make_unique<Pattern>(*a.until) : nullptr;
    std::optional<Clock::time_point> deadline;
    if (a.timeout) deadline = Clock::now() + std::chrono::microseconds(parseSeconds("--timeout", *a.timeout));

    // Prints the entries, up to the first that --until matches; true when one did.
    auto print = [&](const std::vector<devsim::LogEntry> &entries, bool lines_of_json) {
        bool matched = false;
        // Written in chunks, not an entry at a time.
        std::string out;
        auto spill = [&] {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        };
        if (o.json && !lines_of_json) {
            appendEntriesJson(out, entries, spill);
            out += '\n';
        } else {
            for (const auto &e : entries) {
                const std::string line = o.json && !until ? std::string() : devsim::formatLogEntry(e);
                if (o.json)
                    appendEntryJson(out, e, false);
                else
                    out += line;
                out += '\n';
                if (out.size() >= kWriteChunk) spill();
                filter.after_seq = e.seq;
                if (until && until->matches(line)) {
                    matched = true;
                    break;
                }
            }
        }
        spill();
        // A reader that went away ends the follow: nothing more can be shown.
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw OutputError("cannot write standard output");
        if (!entries.empty() && !matched) filter.after_seq = entries.back().seq;
        // -n counts the entries already there; a follower then shows every new one.
        filter.newest = 0;
        return matched;
    };
    if (!a.follow) {
        const auto entries = control([&] {
            devsim::openDevice(o.device);
            return devsim::log(filter);
        });
        if (!a.trace) {
            print(entries, false);
        } else if (std::fputs(callTrace(entries).c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            throw OutputError("cannot write standard output");
        }
        return 0;
    }

    // New entries as other processes make them, until interrupted (or
    // --until's entry or --timeout), through locks and across a new file
    // at the path.
    devsim::setBusyTimeout(kFollowWaitMs);
    // Watched from before the device opens: a file that replaces it in
    // between is then a new file to follow.
    auto openWatched = [&] {
        auto watched = std::make_unique<WatchedFile>(o.device);
        waitingThroughLocks(o.device, deadline, [&] { devsim::openDevice(o.device); });
        return watched;
    };
    try {
        auto watched = openWatched();
        // --until waits for an entry yet to come, or one after --after.
        if (until && !a.after)
            filter.after_seq = waitingThroughLocks(o.device, deadline, [] { return devsim::lastLogSeq(); });
        const bool file = o.device != devsim::kMemoryDevice;
        bool said_gone = false;
        for (;;) {
            bool gone = false;
            bool here = !file || watched->isAt(o.device, gone);
            if (!here) {
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
                    here = true;
                }
            }
            // A file no longer at the path is no longer the device there.
            if (here &&
                print(waitingThroughLocks(o.device, deadline, [&] { return devsim::log(filter); }), true))
                return kExitOk;
            if (deadline && Clock::now() >= *deadline) throw TimedOut{};
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    } catch (const TimedOut &) {
        std::fprintf(stderr, "entmlst: no entry matched \"%s\" within %s s\n", a.until->c_str(),
                     a.timeout->c_str());
        return kExitFailed;
    }
}

} // namespace

std::string logEntriesJson(const std::vector<devsim::LogEntry> &entries) {
    std::string out;
    appendEntriesJson(out, entries, nullptr);
    return out;
}

void bindLog(CLI::App &cmd, Chosen &chosen) {
    define<LogArgs>(
        cmd, chosen,
        [](CLI::App &c, LogArgs &a) {
            c.add_flag("-f,--follow", a.follow,
                       "keep printing new entries until interrupted; waits while the file is locked, "
                       "and when the file is deleted or replaced, says so and follows the new file");
            c.add_option(
                 "--since", a.since,
                 "only entries since WHEN: 90s, 1.5s, 10m, 2h, 1d ago; YYYY-MM-DD[ HH:MM[:SS[.fff]]][Z]; "
                 "HH:MM[:SS[.fff]]")
                ->type_name("WHEN");
            c.add_option("--pid", a.pid, "only the entries of one process")->type_name("PID");
            c.add_option("--program", a.program,
                         "only the entries of the programs named NAME; the system keeps a program's first 15 "
                         "bytes, so a longer name finds them by those")
                ->type_name("NAME");
            c.add_option("--after", a.after,
                         "only entries after the one numbered SEQ (a --json entry's \"seq\"), to read on "
                         "from where a script stopped")
                ->type_name("SEQ");
            c.add_option("-n", a.newest, "only the newest N entries, oldest first")->type_name("N");
            c.add_option(
                 "--service", a.service,
                 "only the calls and faults of one service, named as the log shows it (meSTCSetStatus, say)")
                ->type_name("SERVICE");
            c.add_option("--kind", a.kind,
                         "only the entries of one kind: " +
                             allNames(devsim::kLogKindCount, devsim::logKindName))
                ->type_name("KIND");
            auto *until =
                c.add_option("--until", a.until,
                             "with --follow: show the entries that come after the start (or after --after) "
                             "and exit 0 after the first that PATTERN matches, an extended regular "
                             "expression matched against the entry's line as shown without --json")
                    ->type_name("PATTERN");
            c.add_option("--timeout", a.timeout,
                         "with --until: exit 1 when no entry has matched after SECONDS (such as 5 or 0.5)")
                ->type_name("SECONDS")
                ->needs(until);
            until->needs(c.get_option("--follow"));
            c.add_flag("--trace", a.trace,
                       "print the service calls among the entries as a call trace, the text run --trace "
                       "writes (see TRACES)")
                ->excludes(c.get_option("--follow"));
            c.footer("The options narrow the entries together. --json entries carry seq, time_us, pid, "
                     "program, kind, service, args, names, result, done and text; names maps the index "
                     "of each settings-ID argument to that ID's names, such as {\"1\": [\"smtp.port\"]}.");
        },
        runLog);
}

} // namespace entmlst
