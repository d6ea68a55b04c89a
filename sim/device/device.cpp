// device.cpp - the simulator's process-wide state: which device it uses,
// one transaction per call, armed faults firing, broken rules.
#include "device/device.h"

#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace devsim {
namespace {

int64_t nowMicros() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// splitmix64: small, and its whole state fits the fault's row.
uint64_t nextRandom(uint64_t &state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// mkdir -p, new directories private to the user and writable by them
// whatever the umask; a failure names the device file it was for.
void makePrivateDirs(const std::string &dir, const std::string &file) {
    for (std::size_t at = 1; at <= dir.size(); ++at) {
        if (at != dir.size() && dir[at] != '/') continue;
        std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0700) == 0 ? ::chmod(part.c_str(), 0700) != 0 : errno != EEXIST)
            throw DeviceError(kDeviceFile,
                              cat({file, ": cannot create its folder ", part, ": ", std::strerror(errno)}));
    }
}

// The per-user default device file; its directory is made on first use.
std::string defaultDevice(bool create) {
    std::string base;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        throw DeviceError(kDeviceFile, "no HOME: name the device file with ENTMLST_DEVICE=FILE");
    std::string dir = base + "/entmlst";
    if (create) makePrivateDirs(dir, dir + "/device.db");
    return dir + "/device.db";
}

std::string configured(bool create) {
    if (!fileStoreAvailable()) return kMemoryDevice;
    if (const char *env = std::getenv(kDeviceVariable)) {
        try {
            checkDeviceName(env, kDeviceVariable);
        } catch (const std::invalid_argument &e) {
            throw DeviceError(kDeviceFile, e.what());
        }
        return env;
    }
    return defaultDevice(create);
}

// A process made by fork() must not use its parent's connection: it
// leaves it alone (closing it would disturb the parent's locks) and opens
// the device again at its next call.
// fork() waits for a device call of another thread to end (the parent
// holds the device lock across it), so that the child never inherits a
// transaction in progress.
void lockForFork() { device().mu.lock(); }
void unlockAfterFork() { device().mu.unlock(); }

void forgetStoreInChild() {
    Device &d = device();
    // Kept, never destroyed: its destructor would close the parent's file.
    static auto *parents = new std::vector<std::unique_ptr<Store>>;
    if (auto store = d.abandonStore()) parents->push_back(std::move(store));
    // Taken by lockForFork(); a new lock, as the child's thread is not the
    // one the old lock names as its owner.
    new (&d.mu) std::recursive_mutex;
}

thread_local bool t_inside = false;

struct Inside {
    bool was = t_inside;
    Inside() { t_inside = true; }
    ~Inside() { t_inside = was; }
    Inside(const Inside &) = delete;
    Inside &operator=(const Inside &) = delete;
};

void closeAtExit() {
    Device &d = device();
    std::lock_guard lock(d.mu);
    d.close();
}

} // namespace

bool insideDevice() { return t_inside; }

Device &device() {
    // Never destroyed: the library may still call in from static destructors.
    static Device *d = [] {
        auto *dev = new Device;
        pthread_atfork(lockForFork, unlockAfterFork, forgetStoreInChild);
        // The file is closed at exit, its locks and statements released.
        // A call made later still finds the device (it opens it again).
        std::atexit(closeAtExit);
        return dev;
    }();
    return *d;
}

std::string configuredDevice() { return configured(false); }

void checkDeviceName(const std::string &name, const std::string &what) {
    if (name == kMemoryDevice) return;
    if (name.find_first_not_of(" \t") == std::string::npos)
        throw std::invalid_argument(cat({what, name.empty() ? " is set but empty" : " is blank",
                                         ": name a device file, or ", kMemoryDevice}));
    if (name.front() == ':')
        throw std::invalid_argument(cat({what, " ", name, " is not a device name: only ", kMemoryDevice,
                                         " starts with ':' (./", name, " names a file)"}));
}

Store &Device::open() {
    if (store_) return *store_;
    Inside inside;
    if (where_.empty()) where_ = configured(true);
    StoreMaker make = storeMaker(where_ == kMemoryDevice ? "memory" : "file");
    if (!make) throw DeviceError(kDeviceFile, where_ + ": this libdevsim keeps the device in memory only");
    std::unique_ptr<Store> st = make(where_, busy_timeout_ms_);
    DeviceState state(*st);
    bool set_up = true;
    st->read([&] { set_up = !state.needsSetUp(); });
    if (!set_up) st->transact([&] { state.setUp(); });
    store_ = std::move(st);
    return *store_;
}

void Device::use(const std::string &where) {
    store_.reset();
    where_ = fileStoreAvailable() ? where : kMemoryDevice;
    try {
        // Never the default device for a name that is most likely a mistake.
        try {
            checkDeviceName(where, "the device's name");
        } catch (const std::invalid_argument &e) {
            throw DeviceError(kDeviceFile, e.what());
        }
        open();
    } catch (const DeviceError &) {
        where_ = kMemoryDevice;
        store_.reset();
        open();
        throw;
    }
}

std::string Device::path() const { return where_.empty() ? configuredDevice() : where_; }

void Device::setBusyTimeout(unsigned milliseconds) {
    busy_timeout_ms_ = milliseconds;
    store_.reset(); // reopened with the new timeout
}

void Device::close() {
    // Entries still waiting go in now if the lock is free.
    if (store_ && !pending_.empty()) try {
            transact(
                Service{}, [](DeviceState &) {}, Access::now);
        } catch (const DeviceError &) {
        }
    store_.reset();
}

std::string programName() {
    static std::mutex mu;
    static pid_t cached_pid = 0;
    static std::string cached;
    std::lock_guard lock(mu);
    pid_t now = ::getpid();
    if (now != cached_pid) {
        cached.clear();
        if (FILE *f = std::fopen("/proc/self/comm", "re")) {
            char buf[64] = {};
            if (std::fgets(buf, sizeof buf, f)) cached = buf;
            std::fclose(f);
        }
        if (!cached.empty() && cached.back() == '\n') cached.pop_back();
        cached_pid = now;
    }
    return cached;
}

LogEntry Device::entry(LogKind kind, Service s) const {
    LogEntry e;
    e.time_us = nowMicros();
    e.pid = static_cast<int32_t>(::getpid());
    e.program = programName();
    e.kind = kind;
    e.service = s;
    return e;
}

void Device::record(LogEntry e) {
    if (inspecting_ != 0)
        inspected_.push_back(std::move(e));
    else if (pending_.size() < kPendingLimit)
        pending_.push_back(std::move(e));
}

bool Device::transact(Service about, const std::function<void(DeviceState &)> &body, Access access) {
    Inside inside;
    try {
        Store &store = open();
        DeviceState st(store);
        if (access == Access::read || inspecting_ != 0) {
            store.read([&] { body(st); });
            return true;
        }
        auto write = [&] {
            body(st);
            for (LogEntry &e : pending_) st.append(e);
        };
        if (access == Access::now) {
            if (!store.transactNow(write)) return false;
        } else {
            store.transact(write);
        }
        pending_.clear();
        return true;
    } catch (const DeviceError &e) {
        problem(about, e);
        throw;
    }
}

void Device::problem(Service about, const DeviceError &e) {
    last_problem_ = e;
    if (!told_.insert(e.what()).second) return;
    // Logged by the next transaction that succeeds, once per problem.
    LogEntry p = entry(LogKind::device, about);
    p.result = e.code;
    p.text = cat({serviceName(about), " answered ", hex(e.code), ": ", e.what()});
    if (pending_.size() < kPendingLimit) pending_.push_back(std::move(p));
    if (tell_problems_) std::fprintf(stderr, "devsim: %s\n", e.what());
}

void Device::logPending(DeviceState &st) {
    for (LogEntry &e : pending_) st.append(e);
    pending_.clear();
}

void Device::inspect(const std::function<void()> &body) {
    ++inspecting_;
    try {
        batch(body, Access::read);
    } catch (...) {
        --inspecting_;
        throw;
    }
    --inspecting_;
}

void Device::batch(const std::function<void()> &body, Access access) {
    transact(
        Service{},
        [&](DeviceState &) {
            // The body's calls are the caller's own, as outside a batch (its
            // sleeps_ are the simulated ones).
            bool was = t_inside;
            t_inside = false;
            try {
                body();
            } catch (...) {
                t_inside = was;
                throw;
            }
            t_inside = was;
        },
        access);
}

namespace {

enum class Step { keep, update, spent };

// Whether a call is one the fault is aimed at: its service, one of its ID
// arguments, its process and its program.
bool aimedAt(const FaultSpec &spec, Service s, std::initializer_list<uint64_t> args) {
    if (spec.service != s) return false;
    if (spec.match) {
        const unsigned ids = idArguments(s);
        bool named = false;
        std::size_t i = 0;
        for (uint64_t a : args) named = named || ((ids >> i++ & 1u) != 0 && a == *spec.match);
        if (!named) return false;
    }
    if (spec.pid && *spec.pid != static_cast<int32_t>(::getpid())) return false;
    return spec.program.empty() || programName() == std::string_view(spec.program).substr(0, kProgramNameMax);
}

// What one matching call does to an armed fault: a random fault draws, a
// counted one counts down and fires at 1, on as many calls in a row as it
// has times. Only one fault fires per call; a counted fault due on a call
// that another fault took fires on the next one.
Step step(StoredFault &f, Armed &a) {
    FaultInfo &i = f.info;
    if (i.percent > 0) {
        if (a.on) return Step::keep;
        double draw = static_cast<double>(nextRandom(f.rng) >> 11) * 0x1.0p-53 * 100.0;
        if (draw < i.percent) {
            a = {true, i.code, i.write_first};
            ++i.fired;
        }
        return Step::update;
    }
    if (spent(i)) return Step::keep;
    if (i.calls_left > 1) {
        --i.calls_left;
        return Step::update;
    }
    if (a.on) return Step::keep;
    a = {true, i.code, i.write_first};
    if (++i.fired < i.spec.times) return Step::update;
    i.calls_left = 0;
    return Step::spent;
}

} // namespace

Armed Device::arm(DeviceState &st, Service s, std::initializer_list<uint64_t> args, bool device_faults) {
    Armed a;
    uint64_t fired_id = 0;
    // This process's own faults first (gone once spent), then those kept
    // with the device (kept, spent, for their hits).
    for (auto it = own_faults_.begin(); it != own_faults_.end();) {
        if (aimedAt(it->info.spec, s, args) && step(*it, a) == Step::spent)
            it = own_faults_.erase(it);
        else
            ++it;
    }
    // An inspection is not the program's call: the device's faults wait for one.
    for (StoredFault &f : inspecting_ != 0 || !device_faults ? std::vector<StoredFault>{} : st.faults(s)) {
        if (!aimedAt(f.info.spec, s, args)) continue;
        const bool was_on = a.on;
        if (step(f, a) != Step::keep) st.updateFault(f);
        if (a.on && !was_on) fired_id = f.info.id;
    }
    if (a.on) {
        LogEntry e = entry(LogKind::fault, s);
        e.result = a.code;
        e.text = cat({serviceName(s), " answers ", hex(a.code), a.write_first ? " after doing its work" : "",
                      fired_id != 0 ? cat({" (fault ", std::to_string(fired_id), ")"}) : ""});
        record(std::move(e));
    }
    return a;
}

uint32_t Device::violate(uint32_t code, const std::string &what) {
    violations_.push_back(what);
    std::fprintf(stderr, "devsim: violation: %s\n", what.c_str());
    LogEntry e = entry(LogKind::violation, Service{});
    e.result = code;
    e.text = what;
    record(std::move(e));
    return code;
}

void Device::freeAllBlocks() {
    for (auto &[p, size] : blocks_) std::free(p);
    blocks_.clear();
    live_bytes_ = 0;
}

void Device::resetProcess() {
    id = IdSetup{};
    id_sync_script_.clear();
    own_faults_.clear();
    violations_.clear();
    sleeps_.clear();
    fake_sleep_ = false;
    freeAllBlocks();
    mem_ = MemStats{};
    pending_.clear();
    inspected_.clear();
}

uint32_t Device::nextIdSyncAnswer() {
    if (id_sync_script_.empty()) return 0;
    uint32_t answer = id_sync_script_.front();
    id_sync_script_.pop_front();
    return answer;
}

void *Device::allocate(uint32_t size) {
    void *p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) return nullptr;
    // Nothing the partition hands out is cleared.
    std::memset(p, kGarbage, size);
    blocks_[p] = size;
    live_bytes_ += size;
    mem_.allocs++;
    if (live_bytes_ > mem_.peak_bytes) mem_.peak_bytes = live_bytes_;
    return p;
}

bool Device::release(void *block) {
    auto it = blocks_.find(block);
    if (it == blocks_.end()) return false;
    // Scribbled over, so that a use after free reads rubbish.
    std::memset(block, 0xdd, it->second);
    std::free(block);
    live_bytes_ -= it->second;
    blocks_.erase(it);
    mem_.frees++;
    return true;
}

MemStats Device::memStats() const {
    MemStats m = mem_;
    m.live = blocks_.size();
    return m;
}

bool Device::sleep(uint32_t usec) {
    sleeps_.push_back(usec);
    return fake_sleep_;
}

} // namespace devsim
