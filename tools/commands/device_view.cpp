// device_view.cpp - the page's reads and changes, and the watcher that
// follows the device for the event streams.
#include "commands/device_view.h"

#include "base/errors.h"
#include "cli/result_codes.h"
#include "commands/group_set.h"
#include "commands/settings_import.h"
#include "device/device_control.h"
#include "devsim.h"
#include "document/values.h"

#include <sys/stat.h>

#include <chrono>

namespace entmlst {
namespace {

using namespace std::chrono_literals;

// How often the watcher looks at the device's files, and how long it trusts
// that unchanged files mean an unchanged device.
constexpr auto kLookEvery = 200ms;
constexpr auto kReadAtLeastEvery = 2s;
// The status and check read the whole log: after a change, at most this often.
constexpr auto kStatusEvery = 5s;
// A stream says it is still there this often.
constexpr auto kKeepAlive = 15s;
// Log entries a page asks for at once.
constexpr std::size_t kDefaultPage = 100, kMaxPage = 1000;

const char *kindName(Kind k) {
    switch (k) {
    case Kind::text:
        return "text";
    case Kind::number:
        return "number";
    case Kind::native:
        return "native";
    case Kind::hex:
        return "hex";
    }
    return "";
}

// Sizes, times and inodes of the device file and its write-ahead log: a
// commit by any process changes one of them.
std::string filesKey(const std::string &device) {
    if (device == devsim::kMemoryDevice) return {};
    std::string key;
    for (const std::string &p : {device, device + "-wal"}) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0) continue;
        key += std::to_string(st.st_ino) + ':' + std::to_string(st.st_size) + ':' +
               std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + ' ';
    }
    return key;
}

std::string oneLine(const Json &j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

Reply json(unsigned status, const Json &j) { return {status, oneLine(j)}; }

template <typename T>
Json allNames(std::size_t count, const char *(*name)(T)) {
    Json names = Json::array();
    for (std::size_t i = 0; i < count; ++i) names.push_back(name(static_cast<T>(i)));
    return names;
}

} // namespace

DeviceView::DeviceView(const Options &o) : options_(o) {
    refresh(true);
    watcher_ = std::thread([this] {
        std::unique_lock lock(news_);
        while (!told_.wait_for(lock, kLookEvery, [this] { return stopping_; })) {
            lock.unlock();
            try {
                refresh(false);
            } catch (const std::exception &) {
                // The device is unusable for now (locked, replaced): the next look tries again.
            }
            lock.lock();
        }
    });
}

DeviceView::~DeviceView() { stop(); }

void DeviceView::stop() {
    {
        std::lock_guard lock(news_);
        stopping_ = true;
    }
    told_.notify_all();
    if (watcher_.joinable()) watcher_.join();
}

Json DeviceView::readState() {
    Json j{{"device", options_.device}};
    LibraryAccess lib;
    DeviceRead read;
    control([&] { devsim::inspect([&] { read = readDevice(lib, true); }); });
    devsim::inspectedEntries(); // what those reads would have logged: nobody's business
    Json all = Json::array();
    for (const Group &g : groups()) {
        Json records = Json::array();
        for (const Instance &i : read.instances) {
            if (i.group != &g) continue;
            Json fields = Json::array();
            for (const Field &f : groupFields(g)) {
                Json field{{"name", f.name}, {"kind", kindName(f.kind)}};
                // A password goes nowhere: the form can set one, never show it.
                if (f.secret)
                    field["secret"] = true;
                else
                    field["value"] = jsonValue(f, i.record.data());
                fields.push_back(std::move(field));
            }
            records.push_back({{"recipient", i.recipient}, {"fields", std::move(fields)}});
        }
        all.push_back({{"name", g.name},
                       {"summary", g.summary},
                       {"writable", g.set != nullptr},
                       {"records", std::move(records)}});
    }
    j["groups"] = std::move(all);
    if (read.code != 0) j["read_error"] = read.failed + ": " + codeText(read.code);
    j["jobs"] = exportJobs();
    Json faults = Json::array();
    for (const devsim::FaultInfo &f : control([] { return devsim::faults(); }))
        faults.push_back(faultJson(f));
    j["faults"] = std::move(faults);
    j["services"] = allNames(devsim::kServiceCount, devsim::serviceName);
    j["kinds"] = allNames(devsim::kLogKindCount, devsim::logKindName);
    return j;
}

void DeviceView::refresh(bool always) {
    const auto now = std::chrono::steady_clock::now();
    std::string files = filesKey(options_.device);
    {
        std::lock_guard lock(news_);
        if (!always && files == files_seen_ && now - read_at_ < kReadAtLeastEvery) return;
    }
    std::string state;
    uint64_t newest = 0;
    {
        std::lock_guard lock(device_);
        files = filesKey(options_.device); // before the read: a change during it is seen next time
        newest = control([] { return devsim::lastLogSeq(); });
        Json j = readState();
        if (always || (status_files_ != files && now - status_at_ >= kStatusEvery)) {
            status_ = {{"status", statusJson()}, {"check", control([] { return devsim::checkDevice(); })}};
            status_files_ = files;
            status_at_ = now;
        }
        j.update(status_);
        state = oneLine(j);
    }
    std::lock_guard lock(news_);
    files_seen_ = files;
    read_at_ = now;
    bool changed = false;
    if (state != state_) {
        state_ = std::move(state);
        state_at_ = ++generation_;
        changed = true;
    }
    if (newest != newest_seq_ || log_at_ == 0) {
        newest_seq_ = newest;
        log_at_ = ++generation_;
        changed = true;
    }
    if (changed) told_.notify_all();
}

bool DeviceView::events(uint64_t &cursor, std::string &out) {
    std::unique_lock lock(news_);
    told_.wait_for(lock, kKeepAlive, [&] { return stopping_ || generation_ > cursor; });
    if (stopping_) return false;
    if (generation_ == cursor) {
        out = ": still here\n\n";
        return true;
    }
    if (state_at_ > cursor) out += "event: state\ndata: " + state_ + "\n\n";
    if (log_at_ > cursor) out += "event: log\ndata: {\"newest\":" + std::to_string(newest_seq_) + "}\n\n";
    cursor = generation_;
    return true;
}

Reply DeviceView::log(const Request &r) {
    devsim::LogFilter f;
    auto given = [&](const char *key) -> const std::string * {
        auto it = r.query.find(key);
        return it == r.query.end() || it->second.empty() ? nullptr : &it->second;
    };
    if (auto *v = given("before")) f.before_seq = parseUnsigned("before", *v, UINT64_MAX);
    if (auto *v = given("after")) f.after_seq = parseUnsigned("after", *v, UINT64_MAX);
    f.newest = kDefaultPage;
    if (auto *v = given("n")) f.newest = parseUnsigned("n", *v, kMaxPage, 1);
    if (auto *v = given("service")) {
        f.service = devsim::serviceByName(*v);
        if (!f.service) throw UsageError("service: \"" + *v + "\" is not a service");
    }
    if (auto *v = given("kind")) {
        f.kind = devsim::logKindByName(*v);
        if (!f.kind) throw UsageError("kind: \"" + *v + "\" is not a kind of entry");
    }
    if (auto *v = given("program")) f.program = *v;
    std::lock_guard lock(device_);
    const uint64_t newest = control([] { return devsim::lastLogSeq(); });
    const auto entries = control([&] { return devsim::log(f); });
    return {200, "{\"newest\":" + std::to_string(newest) + ",\"entries\":" + logEntriesJson(entries) + "}"};
}

// The changes, each as the tool's command makes it.
Reply DeviceView::change(const Request &r) {
    const Json in = Json::parse(r.body, nullptr, false);
    if (!in.is_object()) throw UsageError("the request is not a JSON object");
    auto text = [&](const char *key) {
        auto it = in.find(key);
        if (it == in.end() || !it->is_string()) throw UsageError(std::string("\"") + key + "\": give a text");
        return it->get<std::string>();
    };
    Json body;
    {
        std::lock_guard lock(device_);
        if (r.path == "/api/set") {
            const Group &g = findGroup(text("group"));
            if (!g.set) throw UsageError(std::string("group ") + g.name + " is read only");
            uint32_t n = 0;
            if (g.per_recipient) {
                const Json given = in.value("recipient", Json());
                if (!given.is_number_unsigned() || given < 1 || given > kRecipients)
                    throw UsageError("recipient: give 1.." + std::to_string(kRecipients));
                n = given.get<uint32_t>();
            }
            const Json values = in.value("values", Json::object());
            if (!values.is_object() || values.empty())
                throw UsageError("set " + text("group") + ": give at least one field");
            std::vector<Wanted> wanted;
            Json refused = Json::object();
            for (const auto &[name, value] : values.items()) {
                try {
                    if (!value.is_string()) throw UsageError(name + ": give the value as text");
                    wanted.push_back(wantedField(g, n, name, value.get<std::string>()));
                } catch (const UsageError &e) {
                    refused[name] = e.what();
                }
            }
            // Nothing is written while one value is refused.
            if (!refused.empty()) return json(400, {{"refused", refused}});
            GroupSet done = setFields(options_, g, n, wanted);
            body = std::move(done.body);
            body["result"] = codeText(done.code);
            body["monitor"] = done.news.diagnostics;
        } else if (r.path == "/api/fault/add") {
            const devsim::FaultSpec spec = faultSpec(text("fault"));
            const uint64_t id = control([&] { return devsim::addFault(spec); });
            body = {{"armed", id}};
        } else if (r.path == "/api/fault/clear") {
            if (in.contains("id")) {
                const auto id = in["id"].is_number_unsigned() ? in["id"].get<uint64_t>() : 0;
                if (!control([&] { return devsim::clearFault(id); }))
                    throw UsageError("fault clear: no fault " + std::to_string(id));
                body = {{"cleared", 1}};
            } else {
                const std::size_t armed = control([] { return devsim::faults().size(); });
                control([] { devsim::clearFaults(); });
                body = {{"cleared", armed}};
            }
        } else if (r.path == "/api/reset") {
            const bool keep_jobs = in.value("keep_jobs", false);
            control([&] { devsim::factoryReset(keep_jobs); });
            body = {{"settings", "factory"}, {"jobs", keep_jobs ? "kept" : "cleared"}};
        } else {
            return json(404, {{"error", "no such change"}});
        }
    }
    refresh(true);
    return json(200, body);
}

Reply DeviceView::answer(const Request &r) {
    try {
        const bool changes =
            r.path.rfind("/api/set", 0) == 0 || r.path.rfind("/api/fault/", 0) == 0 || r.path == "/api/reset";
        if (changes != (r.method == "POST"))
            return json(405, {{"error", changes ? "changes are POSTs" : "not a change"}});
        if (changes) return change(r);
        if (r.path == "/api/state") {
            std::lock_guard lock(news_);
            return {200, state_};
        }
        if (r.path == "/api/log") return log(r);
        return json(404, {{"error", "no such page"}});
    } catch (const UsageError &e) {
        return json(400, {{"error", e.what()}});
    } catch (const DeviceFileError &e) {
        return json(503, {{"error", e.what()}});
    } catch (const std::exception &e) {
        return json(500, {{"error", e.what()}});
    }
}

} // namespace entmlst
