// sim_job_commands.cpp - job create, set and link: jobs, their values and
// links on the simulated device, made through libdevsim's control API; and
// the same for a settings document's jobs section and import --setup.
#include "cli/command_line.h"
#include "commands/job_words.h"
#include "commands/settings_import.h"
#include "device/call_trace.h"
#include "device/device_control.h"

#include "base/errors.h"
#include "base/hex.h"
#include "cli/result_codes.h"
#include "corvellib.h"
#include "devsim.h"
#include "document/record_fields.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace entmlst {
namespace {

struct CreateArgs {
    std::string job;
    std::optional<std::string> parent;
    std::vector<std::string> values;
};

struct JobArgs {
    std::string job;
};

struct LinkArgs {
    std::string job;
    std::string kind;
    std::string child;
};

void requireJob(uint32_t job) {
    if (!control([&] { return devsim::jobExists(job); }))
        throw UsageError("no job " + std::to_string(job) +
                         " on the device (create it with: entmlst job create " + std::to_string(job) + ")");
}

// A name the device keeps at its own width: the text and its NUL, if it has room.
std::vector<uint8_t> asKept(uint32_t value_id, std::vector<uint8_t> value) {
    if (devsim::widthPerValue(value_id)) {
        while (value.size() > 1 && value.back() == 0 && value[value.size() - 2] == 0) value.pop_back();
        if (value.size() == 1 && value[0] == 0) value.clear();
    }
    return value;
}

// The device's jobs, looked at out of band.
devsim::State jobsOfTheDevice() {
    devsim::State s;
    control([&] { devsim::inspect([&] { s = devsim::storedState(); }); });
    return s;
}

// The answer is no: exit 1.
[[noreturn]] void noJob(uint32_t job) {
    throw std::runtime_error("no job " + std::to_string(job) + " on the device");
}

int runJobList(const Options &o, const NoArgs &) {
    const devsim::State s = jobsOfTheDevice();
    if (o.json)
        std::printf("%s\n", Json(s.jobs).dump(2).c_str());
    else
        for (uint32_t job : s.jobs) std::printf("%u\n", job);
    return 0;
}

int runJobShow(const Options &o, const JobArgs &a) {
    const uint32_t job = jobId(a.job);
    const devsim::State s = jobsOfTheDevice();
    if (std::find(s.jobs.begin(), s.jobs.end(), job) == s.jobs.end()) noJob(job);
    Json values = Json::array();
    for (const auto &[key, bytes] : s.job_values)
        if (key.first == job)
            values.push_back(Json{{"name", devsim::valueName(key.second).value_or("")},
                                  {"id", hex8(key.second)},
                                  {"value", valueJson(key.second, bytes)}});
    Json children = Json::array();
    for (const auto &[from, kind, link] : s.children)
        if (from == job) children.push_back(Json{{"kind", linkKindText(kind)}, {"job", link}});
    Json body{{"job", job}};
    if (auto p = s.parents.find(job); p != s.parents.end()) body["parent"] = p->second;
    body["values"] = values;
    body["children"] = children;
    if (o.json)
        std::printf("%s\n", body.dump(2).c_str());
    else
        printText(body);
    return 0;
}

int runJobDelete(const Options &o, const JobArgs &a) {
    const uint32_t job = jobId(a.job);
    const bool existed = control([&] {
        bool there = false;
        devsim::batch([&] {
            there = devsim::jobExists(job);
            if (there) devsim::removeJob(job);
        });
        return there;
    });
    if (!existed) noJob(job);
    News none;
    none.seen = false;
    return report(o, Json{{"deleted", job}}, none, codeText(ENTMLST_OK), ENTMLST_OK);
}

// NAME=VALUE or VALUEID=VALUE, each value once, in the grammar of set;
// all of them checked before the device is touched.
using Puts = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;

void putValue(Puts &puts, const std::string &key, const std::string &value) {
    std::optional<uint32_t> id = devsim::valueByName(key);
    if (!id && (key.empty() || !std::isdigit(static_cast<unsigned char>(key[0]))))
        throw UsageError(key + ": no job value of that name (names are like ip.address, fax.status)");
    if (!id) id = parseNumber("value ID", key);
    auto width = devsim::valueWidth(*id);
    if (!width) throw UsageError("value ID " + key + " is not one the device knows");
    const std::string name = devsim::valueName(*id).value_or(key);
    for (const auto &given : puts)
        if (given.first == *id) throw UsageError(name + ": given twice");
    Field f{name, 0, *width, *width <= 4 ? Kind::number : Kind::text, 0};
    puts.emplace_back(*id, asKept(*id, parseValue(f, value)));
}

Puts jobValues(const std::vector<std::string> &assignments) {
    Puts puts;
    for (const std::string &assignment : assignments) {
        auto [key, value] = splitAssignment(assignment);
        putValue(puts, key, value);
    }
    return puts;
}

void putAll(uint32_t job, const Puts &puts) {
    for (const auto &[id, bytes] : puts)
        if (!devsim::putJobValue(job, id, bytes))
            throw UsageError("value " + std::to_string(id) + " does not fit the device's value");
}

int runJobCreate(const Options &o, const CreateArgs &a) {
    uint32_t job = jobId(a.job);
    std::optional<uint32_t> parent;
    if (a.parent) parent = parseNumber("--parent", *a.parent);
    const Puts puts = jobValues(a.values);

    control([&] {
        devsim::createJob(job);
        putAll(job, puts);
        if (parent) {
            devsim::createJob(*parent);
            devsim::setParentLink(job, *parent);
        }
    });
    Json body{{"job", job}, {"values", puts.size()}};
    if (parent) body["parent"] = *parent;
    News none;
    none.seen = false;
    return report(o, body, none, codeText(ENTMLST_OK), ENTMLST_OK);
}

int runJobSet(const Options &o, const CreateArgs &a) {
    const uint32_t job = jobId(a.job);
    const Puts puts = jobValues(a.values);
    requireJob(job);
    control([&] { putAll(job, puts); });
    News none;
    none.seen = false;
    return report(o, Json{{"job", job}, {"values", puts.size()}}, none, codeText(ENTMLST_OK), ENTMLST_OK);
}

int runJobLink(const Options &o, const LinkArgs &a) {
    uint32_t job = jobId(a.job), child = jobId(a.child);
    int32_t kind = parseLinkKind(a.kind);
    requireJob(job);
    requireJob(child);
    control([&] { devsim::addChildLink(job, kind, child); });
    News none;
    none.seen = false;
    return report(o, Json{{"job", job}, {"kind", kind}, {"child", child}}, none, codeText(ENTMLST_OK),
                  ENTMLST_OK);
}

uint32_t jobIdOf(const Json &v) {
    if (!v.is_number_unsigned() || v.get<uint64_t>() > 0xffffffffu)
        throw UsageError("expected a job ID 0..4294967295, not " + v.dump());
    return v.get<uint32_t>();
}

// A document value as job set takes it: a whole number, or text in its grammar.
std::string valueText(const Json &v) {
    if (v.is_number_unsigned()) return std::to_string(v.get<uint64_t>());
    if (v.is_string()) return v.get<std::string>();
    throw UsageError("expected a whole number 0.. or text, not " + v.dump());
}

// One key of a job, at ptr: a problem of the key itself is thrown, one of a
// value or a link in it appended with its own pointer.
void jobKey(SetupJob &job, const std::string &key, const Json &v, const std::string &ptr,
            std::vector<Problem> &problems) {
    if (key == "id") {
        job.id = jobIdOf(v);
    } else if (key == "parent") {
        job.parent = jobIdOf(v);
    } else if (key == "values") {
        if (!v.is_object())
            throw UsageError(std::string("expected an object of NAME: VALUE, not ") + v.type_name());
        for (const auto &[name, value] : v.items()) try {
                putValue(job.values, name, valueText(value));
            } catch (const UsageError &e) {
                std::string why = e.what();
                if (why.starts_with(name + ": ")) why.erase(0, name.size() + 2); // the pointer names it
                problems.push_back({ptr + pointerToken(name), why});
            }
    } else if (key == "links") {
        if (!v.is_array()) throw UsageError(std::string("expected an array of links, not ") + v.type_name());
        for (std::size_t i = 0; i < v.size(); ++i) try {
                const Json &l = v[i];
                if (!l.is_object() || l.size() != 2 || !l.contains("kind") || !l.contains("id"))
                    throw UsageError("expected {\"kind\": KIND, \"id\": JOB}, not " + l.dump());
                const Json &kind = l["kind"];
                job.links.emplace_back(
                    parseLinkKind(kind.is_string() ? kind.get<std::string>() : kind.dump()),
                    jobIdOf(l["id"]));
            } catch (const UsageError &e) {
                problems.push_back({ptr + pointerToken(std::to_string(i)), e.what()});
            }
    } else {
        throw UsageError("a job has id, parent, values and links, not \"" + key + "\"");
    }
}

bool hasJob(const devsim::State &s, uint32_t job) {
    return std::find(s.jobs.begin(), s.jobs.end(), job) != s.jobs.end();
}

} // namespace

std::vector<SetupJob> checkJobs(const Json &section, std::vector<Problem> &problems) {
    std::vector<SetupJob> jobs;
    for (std::size_t i = 0; i < section.size(); ++i) {
        const std::string ptr = std::string("/") + kJobsKey + "/" + std::to_string(i);
        const Json &j = section[i];
        if (!j.is_object() || !j.contains("id")) {
            problems.push_back({ptr, j.is_object()
                                         ? std::string("missing: a job has an \"id\"")
                                         : std::string("expected a job object, not ") + j.type_name()});
            continue;
        }
        SetupJob job;
        for (const auto &[key, v] : j.items()) try {
                jobKey(job, key, v, ptr + pointerToken(key), problems);
            } catch (const UsageError &e) {
                problems.push_back({ptr + pointerToken(key), e.what()});
            }
        for (const SetupJob &given : jobs)
            if (given.id == job.id)
                problems.push_back({ptr + "/id", "job " + std::to_string(job.id) + " is given twice"});
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<uint32_t> applyJobs(const std::vector<SetupJob> &jobs) {
    std::vector<uint32_t> changed;
    control([&] {
        devsim::batch([&] {
            const devsim::State s = devsim::exportState();
            for (const SetupJob &j : jobs) {
                bool change = !hasJob(s, j.id);
                if (change) devsim::createJob(j.id);
                for (const auto &[id, bytes] : j.values) {
                    auto now = s.job_values.find({j.id, id});
                    if (now != s.job_values.end() && now->second == bytes) continue;
                    putAll(j.id, {{id, bytes}});
                    change = true;
                }
                auto parent = s.parents.find(j.id);
                if (j.parent && (parent == s.parents.end() || parent->second != *j.parent)) {
                    devsim::setParentLink(j.id, *j.parent);
                    change = true;
                }
                for (const auto &[kind, child] : j.links)
                    if (std::find(s.children.begin(), s.children.end(), std::tuple(j.id, kind, child)) ==
                        s.children.end()) {
                        devsim::addChildLink(j.id, kind, child);
                        change = true;
                    }
                if (change) changed.push_back(j.id);
            }
        });
    });
    return changed;
}

Json exportJobs() {
    const devsim::State s = jobsOfTheDevice();
    Json jobs = Json::array();
    for (uint32_t job : s.jobs) {
        Json j{{"id", job}};
        if (auto p = s.parents.find(job); p != s.parents.end()) j["parent"] = p->second;
        Json values = Json::object();
        for (const auto &[key, bytes] : s.job_values)
            if (key.first == job)
                values[devsim::valueName(key.second).value_or(hex8(key.second))] =
                    valueJson(key.second, bytes);
        j["values"] = values;
        Json links = Json::array();
        for (const auto &[from, kind, link] : s.children)
            if (from == job) links.push_back(Json{{"kind", linkKindText(kind)}, {"id", link}});
        j["links"] = links;
        jobs.push_back(std::move(j));
    }
    return jobs;
}

bool importForSetup(const Options &o, const std::string &path, LibraryAccess &lib, Import &out) {
    if (!o.faults.empty()) throw UsageError("import --setup arms no faults: drop " + o.faults[0].given);
    // A device in memory persists nothing: there is nothing to keep out of its log.
    if (o.device == devsim::kMemoryDevice) return importDocument(o, path, false, lib, out);
    const devsim::State before = jobsOfTheDevice();
    control([&] {
        devsim::openDevice(devsim::kMemoryDevice);
        devsim::importState(before);
    });
    Options copy = o;
    copy.device = devsim::kMemoryDevice;
    const bool checked = importDocument(copy, path, false, lib, out);
    const devsim::State after = control([] { return devsim::exportState(); });
    control([&] { devsim::openDevice(o.device); });
    if (!checked || out.done.code != 0) return checked;
    control([&] {
        devsim::batch([&] {
            for (const auto &[id, value] : after.settings)
                if (auto was = before.settings.find(id); was == before.settings.end() || was->second != value)
                    devsim::putSetting(id, value);
        });
    });
    applyJobs(out.jobs);
    out.news.notifications.clear(); // sent to the copy alone
    return true;
}

void bindJobCreate(CLI::App &cmd, Chosen &chosen) {
    define<CreateArgs>(
        cmd, chosen,
        [](CLI::App &c, CreateArgs &a) {
            c.add_option("job", a.job, "job ID")->required()->type_name("JOB");
            c.add_option("--parent", a.parent, "parent (user) job ID")->type_name("JOB");
            c.add_option("values", a.values, "NAME=VALUE or VALUEID=VALUE")->type_name("NAME=VALUE");
        },
        runJobCreate);
}

void bindJobSet(CLI::App &cmd, Chosen &chosen) {
    define<CreateArgs>(
        cmd, chosen,
        [](CLI::App &c, CreateArgs &a) {
            c.add_option("job", a.job, "job ID")->required()->type_name("JOB");
            c.add_option("values", a.values, "NAME=VALUE or VALUEID=VALUE")
                ->required()
                ->type_name("NAME=VALUE");
        },
        runJobSet);
}

void bindJobLink(CLI::App &cmd, Chosen &chosen) {
    define<LinkArgs>(
        cmd, chosen,
        [](CLI::App &c, LinkArgs &a) {
            c.add_option("job", a.job, "job ID")->required()->type_name("JOB");
            c.add_option("kind", a.kind, "link kind: " + linkKindHelp())->required()->type_name("KIND");
            c.add_option("child", a.child, "child job ID")->required()->type_name("JOB");
        },
        runJobLink);
}

void bindJobList(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {}, runJobList);
}

void bindJobShow(CLI::App &cmd, Chosen &chosen) {
    define<JobArgs>(
        cmd, chosen,
        [](CLI::App &c, JobArgs &a) { c.add_option("job", a.job, "job ID")->required()->type_name("JOB"); },
        runJobShow);
}

void bindJobDelete(CLI::App &cmd, Chosen &chosen) {
    define<JobArgs>(
        cmd, chosen,
        [](CLI::App &c, JobArgs &a) { c.add_option("job", a.job, "job ID")->required()->type_name("JOB"); },
        runJobDelete);
}

} // namespace entmlst
