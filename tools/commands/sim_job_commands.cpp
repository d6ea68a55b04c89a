// sim_job_commands.cpp - job create, set and link: jobs, their values and
// links on the simulated device, made through libdevsim's control API.
#include "cli/command_line.h"
#include "commands/job_words.h"
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
    control([&] { devsim::inspect([&] { s = devsim::exportState(); }); });
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
        if (from == job) children.push_back(Json{{"kind", kind}, {"job", link}});
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

Puts jobValues(const std::vector<std::string> &assignments) {
    Puts puts;
    for (const std::string &assignment : assignments) {
        auto [key, value] = splitAssignment(assignment);
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
    int32_t kind = linkKind(a.kind);
    requireJob(job);
    requireJob(child);
    control([&] { devsim::addChildLink(job, kind, child); });
    News none;
    none.seen = false;
    return report(o, Json{{"job", job}, {"kind", kind}, {"child", child}}, none, codeText(ENTMLST_OK),
                  ENTMLST_OK);
}

} // namespace

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
            c.add_option("kind", a.kind, "link kind: number, fax or mail")->required()->type_name("KIND");
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
