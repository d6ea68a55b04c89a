// job_commands.cpp - simulated jobs and links, and the job functions.
#include "cli/command_line.h"
#include "commands/job_words.h"

#include "base/errors.h"
#include "cli/result_codes.h"
#include "corvellib.h"
#include "document/record_fields.h"
#include "functions.h"
#include "job_fields.h"

#include <cstring>
#include <optional>

namespace entmlst {
namespace {

// A job record's fields from its list in job_fields.h.
#define JOB_MEMBER(Rec, member, id, width, kind) ENTMLST_MEMBER(Rec, member, kind),
constexpr Member kIpJob[] = {ENTMLST_JOB_FIELDS_IpJob(JOB_MEMBER, ENTMLSTIPJOB)
                                 ENTMLST_MEMBER(ENTMLSTIPJOB, parent_job_id, native),
                             ENTMLST_JOB_FIELDS_IpJobParent(JOB_MEMBER, ENTMLSTIPJOB)};
constexpr Member kPrnJobEnd[] = {ENTMLST_JOB_FIELDS_PrnJobEnd(JOB_MEMBER, ENTMLSTPRNJOBEND)};
constexpr Member kCurSend[] = {ENTMLST_JOB_FIELDS_CurSend(JOB_MEMBER, ENTMLSTCURSEND)};
constexpr Member kMailAttach[] = {ENTMLST_JOB_FIELDS_MailAttach(JOB_MEMBER, ENTMLSTMAILATTACH)};
#undef JOB_MEMBER
constexpr Member kSendResult[] = {ENTMLST_MEMBER(ENTMLSTSENDRESULT, name, text),
                                  ENTMLST_MEMBER(ENTMLSTSENDRESULT, status, number)};

// A value read alone into the caller's destination, as wide as the list says.
#define JOB_VALUE(a, member, id, width, kind) {#member, 0, width, 1, Kind::kind},
constexpr Member kPath[] = {ENTMLST_JOB_FIELDS_JobBox(JOB_VALUE, _)};
#undef JOB_VALUE
static_assert(kPath[0].size == ENTMLST_JOB_PATH_SIZE);

// The fields shown of each record a job read fills: every record of a job
// function the registry gives a tool read needs one here.
template <typename Rec>
struct JobFields;
template <>
struct JobFields<ENTMLSTIPJOB> {
    static constexpr std::span<const Member> members = kIpJob;
};
template <>
struct JobFields<corvel::registry::JobPath> {
    static constexpr std::span<const Member> members = kPath;
};
template <>
struct JobFields<ENTMLSTPRNJOBEND> {
    static constexpr std::span<const Member> members = kPrnJobEnd;
};
template <>
struct JobFields<ENTMLSTCURSEND> {
    static constexpr std::span<const Member> members = kCurSend;
};

// Job reads that fill one record: the registry's job functions that have a
// tool read (the others leave an entry without a name).
struct JobRead {
    const char *name;
    std::span<const Member> members;
    std::size_t size;
    uint32_t (*read)(uint32_t job, void *dst);
};

constexpr bool offered(const char *tool) { return tool != nullptr; }

template <auto F, corvel::registry::Shape shape, corvel::registry::Access access, typename Rec, bool has_tool>
constexpr JobRead readOf(const char *name) {
    using corvel::registry::Shape;
    if constexpr (!has_tool) {
        return {};
    } else {
        static_assert(access == corvel::registry::Access::read_only, "a tool read only reads");
        static_assert(shape == Shape::record || shape == Shape::value, "a tool read fills one record");
        uint32_t (*read)(uint32_t, void *) = nullptr;
        if constexpr (shape == Shape::record)
            read = [](uint32_t j, void *d) { return F(j, static_cast<Rec *>(d)); };
        else
            read = F;
        return {name, JobFields<Rec>::members, sizeof(Rec), read};
    }
}

#define READ(F, tool, shape, access, Rec)                                                                    \
    readOf<F, corvel::registry::Shape::shape, corvel::registry::Access::access, Rec, offered(tool)>(tool),
constexpr JobRead kReads[] = {ENTMLST_JOB_FUNCTIONS(READ)};
#undef READ

void requireJob(DeviceSession &dev, uint32_t job) {
    if (dev.jobMissing(job))
        throw UsageError("no job " + std::to_string(job) + " on the device (create it with: job create " +
                         std::to_string(job) + ")");
}

int runJobRead(const Options &o, const JobRead *r, const std::string &job_text) {
    uint32_t job = jobId(job_text);

    // A job the device does not have is the device's to answer for.
    DeviceSession dev(o.device);
    std::vector<uint8_t> rec(r->size, 0);
    uint32_t code = 0;
    News news;
    dev.reading([&] {
        dev.begin(o.faults);
        code = r->read(job, rec.data());
        news = dev.finish();
    });

    Json body{{"job", job}};
    if (code == ENTMLST_OK) body["fields"] = jsonRecord(expand(r->members), rec.data());
    return report(o, body, news, codeText(code), code);
}

int runJobSendResult(const Options &o, const std::string &job_text, const std::string &kind_text,
                     uint32_t capacity) {
    uint32_t job = jobId(job_text);
    int32_t kind = parseLinkKind(kind_text);
    if (capacity > 1024) throw UsageError("--capacity " + std::to_string(capacity) + ": at most 1024");

    DeviceSession dev(o.device);
    std::vector<ENTMLSTSENDRESULT> entries(capacity ? capacity : 1);
    std::memset(entries.data(), 0, entries.size() * sizeof entries[0]);
    int32_t count = 0;
    uint32_t code = 0;
    News news;
    dev.reading([&] {
        dev.begin(o.faults);
        code = entMLSTGetSendJobResult(job, kind, static_cast<int32_t>(capacity), entries.data(), &count);
        news = dev.finish();
    });

    auto fields = expand(kSendResult);
    Json list = Json::array();
    for (int32_t i = 0; i < count && i < static_cast<int32_t>(capacity); ++i)
        list.push_back(jsonRecord(fields, reinterpret_cast<const uint8_t *>(&entries[i])));
    Json body{{"job", job}, {"kind", linkKindText(kind)}, {"count", count}, {"entries", list}};
    return report(o, body, news, sendResultCodeText(code, kind), code);
}

int runJobAttach(const Options &o, const std::string &job_text, const std::vector<std::string> &assignments) {
    uint32_t job = jobId(job_text);
    auto fields = expand(kMailAttach);
    ENTMLSTMAILATTACH rec{};
    std::vector<bool> given(fields.size(), false);
    for (const std::string &a : assignments) {
        auto [name, value] = splitAssignment(a);
        const Field &f = requireField("attach", fields, name);
        auto bytes = parseValue(f, value);
        std::memcpy(reinterpret_cast<uint8_t *>(&rec) + f.offset, bytes.data(), f.size);
        given[f.row] = true;
    }
    for (const Field &f : fields)
        if (!given[f.row]) throw UsageError("attach writes all three values: give " + f.name + "=VALUE too");

    DeviceSession dev(o.device);
    requireJob(dev, job);
    dev.begin(o.faults);
    uint32_t code = entMLSTSetMailAttach(job, &rec);
    News news = dev.finish();
    return report(
        o, Json{{"job", job}, {"written", jsonRecord(fields, reinterpret_cast<const uint8_t *>(&rec))}}, news,
        codeText(code), code);
}

struct JobArgs {
    std::string job;
    std::string kind;
    std::string capacity = "16";
    std::vector<std::string> values;
};

void bindJob(CLI::App &cmd, JobArgs &a) {
    cmd.add_option("job", a.job, "job ID")->required()->type_name("JOB");
}
void bindKind(CLI::App &cmd, JobArgs &a) {
    cmd.add_option("kind", a.kind, "link kind: " + linkKindHelp())->required()->type_name("KIND");
}

} // namespace

uint32_t jobId(const std::string &text) { return parseNumber("job", text); }

void bindJobRead(CLI::App &cmd, Chosen &chosen) {
    for (const JobRead &r : kReads)
        if (r.name && cmd.get_name() == r.name) {
            cmd.description(std::string("read the job's ") + r.name + " values");
            define<JobArgs>(cmd, chosen, bindJob,
                            [r = &r](const Options &o, const JobArgs &a) { return runJobRead(o, r, a.job); });
        }
}

void bindJobSendResult(CLI::App &cmd, Chosen &chosen) {
    define<JobArgs>(
        cmd, chosen,
        [](CLI::App &c, JobArgs &a) {
            bindJob(c, a);
            bindKind(c, a);
            c.add_option("--capacity", a.capacity, "entries to offer (default 16)")->type_name("N");
        },
        [](const Options &o, const JobArgs &a) {
            return runJobSendResult(o, a.job, a.kind, parseNumber("--capacity", a.capacity));
        });
}

void bindJobAttach(CLI::App &cmd, Chosen &chosen) {
    define<JobArgs>(
        cmd, chosen,
        [](CLI::App &c, JobArgs &a) {
            bindJob(c, a);
            c.add_option("values", a.values, "attach_mode=N attach_format=N resolution=N")
                ->required()
                ->type_name("FIELD=VALUE");
        },
        [](const Options &o, const JobArgs &a) { return runJobAttach(o, a.job, a.values); });
}

} // namespace entmlst
