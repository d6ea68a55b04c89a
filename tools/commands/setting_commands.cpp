// setting_commands.cpp - groups, get and set: the setting groups through the
// library's Get and Set functions.
#include "cli/command_line.h"

#include "base/errors.h"
#include "cli/result_codes.h"
#include "commands/group_set.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace entmlst {
namespace {

uint32_t checkRecipient(const Group &g, const std::optional<std::string> &recipient) {
    if (!g.per_recipient) {
        if (recipient)
            throw UsageError(std::string("group ") + g.name + " has no recipients; drop --recipient");
        return 0;
    }
    if (!recipient) return 1;
    return static_cast<uint32_t>(parseUnsigned("--recipient", *recipient, kRecipients, 1));
}

Json header(const Group &g, uint32_t recipient) {
    Json j = Json::object();
    j["group"] = g.name;
    if (g.per_recipient) j["recipient"] = recipient;
    return j;
}

int runGroups(const Options &o) {
    Json all = Json::object();
    for (const Group &g : groups()) {
        Json names = Json::array();
        for (const Field &f : expand(g.members)) names.push_back(f.name);
        all[g.name] = {{"summary", g.summary},
                       {"per_recipient", g.per_recipient},
                       {"writable", g.set != nullptr},
                       {"fields", names}};
    }
    if (o.json) {
        std::printf("%s\n", all.dump(2).c_str());
        return 0;
    }
    for (const auto &[name, g] : all.items()) {
        std::string fields;
        for (const auto &f : g["fields"]) {
            // Appended piece by piece: " " + string trips GCC 12's -Wrestrict.
            fields += ' ';
            fields += f.get<std::string>();
        }
        std::printf("%-21s %s\n%21s%s\n", name.c_str(), g["summary"].get<std::string>().c_str(), "",
                    fields.c_str());
    }
    return 0;
}

int runGet(const Options &o, const std::string &group, const std::optional<std::string> &recipient,
           bool show_secrets) {
    const Group &g = findGroup(group);
    uint32_t n = checkRecipient(g, recipient);
    auto fields = expand(g.members);

    DeviceSession dev(o.device);
    Record rec(g.size, 0);
    uint32_t code = 0;
    News news;
    dev.reading([&] {
        dev.begin(o.faults);
        code = g.get(n, rec.data());
        news = dev.finish();
    });

    Json body = header(g, n);
    if (code == 0) body["fields"] = jsonRecord(fields, rec.data(), show_secrets);
    return report(o, body, news, codeText(code), code);
}

} // namespace

Wanted wantedField(const Group &g, uint32_t recipient, const std::string &name, const std::string &value) {
    const Field &f = requireField(std::string("group ") + g.name, groupFields(g), name);
    return {&g, recipient, f, parseValue(f, value), name};
}

GroupSet setFields(const Options &o, const Group &g, uint32_t n, const std::vector<Wanted> &values) {
    DeviceSession dev(o.device);
    LibraryAccess lib;
    // The Set gets every given field; the library itself skips the ones that
    // hold their value already.
    Record before(g.size, 0);
    uint32_t code = 0;
    dev.begin({});
    // Read from outside, as import reads: not logged, no armed fault spent,
    // and not counted by --fail.
    dev.reading([&] { code = g.get(n, before.data()); });
    dev.arm(o.faults);
    Write w{&g, n, 0, before, {}};
    for (const Wanted &v : values) {
        std::memcpy(w.record.data() + v.field.offset, v.bytes.data(), v.field.size);
        w.mask |= maskBit(g, v.field);
        const bool same = std::memcmp(before.data() + v.field.offset, v.bytes.data(), v.field.size) == 0;
        if (!same || code != 0) w.changes.push_back({v.field, Json(), Json()});
    }
    GroupSet out;
    Applied applied;
    if (code == 0) {
        applied = applyWrites(lib, {w});
        code = applied.code;
    }
    out.news = dev.finish();
    std::optional<StoreLog> log;
    if (out.news.seen) log = StoreLog{out.news.stored_settings, out.news.failed_setting};
    FieldReport r = reportWrites(lib, values, {w}, applied, log).front();

    out.body = header(g, n);
    out.body["written"] = r.written;
    out.body["failed"] = r.failed;
    out.body["not_written"] = r.not_written;
    out.body["unchanged"] = r.unchanged;
    out.code = code;
    return out;
}

namespace {

int runSet(const Options &o, const std::string &group, const std::optional<std::string> &recipient,
           const std::vector<std::string> &assignments) {
    const Group &g = findGroup(group);
    if (!g.set) throw UsageError(std::string("group ") + g.name + " is read only");
    uint32_t n = checkRecipient(g, recipient);
    if (assignments.empty()) throw UsageError("set " + group + ": give at least one FIELD=VALUE");
    std::vector<Wanted> values;
    for (const std::string &a : assignments) {
        auto [name, value] = splitAssignment(a);
        const Field &f = requireField(std::string("group ") + g.name, groupFields(g), name);
        if (std::any_of(values.begin(), values.end(),
                        [&](const Wanted &v) { return v.field.name == f.name; }))
            throw UsageError(f.name + ": given twice");
        values.push_back(wantedField(g, n, name, value));
    }
    GroupSet done = setFields(o, g, n, values);
    return report(o, done.body, done.news, codeText(done.code), done.code);
}

struct GroupArgs {
    std::string group;
    std::optional<std::string> recipient;
    std::vector<std::string> assignments;
    bool show_secrets = false;
};

void bindGroup(CLI::App &cmd, GroupArgs &a, const char *help) {
    cmd.add_option("group", a.group, help)->required()->type_name("GROUP");
    cmd.add_option("--recipient,--user", a.recipient, "recipient or POP3 user, 1..3 (default 1)")
        ->type_name("N");
}

} // namespace

void bindGroups(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {},
        [](const Options &o, const NoArgs &) { return runGroups(o); });
}

void bindGet(CLI::App &cmd, Chosen &chosen) {
    define<GroupArgs>(
        cmd, chosen,
        [](CLI::App &c, GroupArgs &a) {
            bindGroup(c, a, "setting group (see: entmlst groups)");
            c.add_flag("--show-secrets", a.show_secrets,
                       "print passwords instead of " + std::string(kMaskedSecret));
        },
        [](const Options &o, const GroupArgs &a) { return runGet(o, a.group, a.recipient, a.show_secrets); });
}

void bindSet(CLI::App &cmd, Chosen &chosen) {
    define<GroupArgs>(
        cmd, chosen,
        [](CLI::App &c, GroupArgs &a) {
            bindGroup(c, a, "setting group");
            c.add_option("assignments", a.assignments, "FIELD=VALUE (text, number, or hex:..)")
                ->required()
                ->type_name("FIELD=VALUE");
        },
        [](const Options &o, const GroupArgs &a) { return runSet(o, a.group, a.recipient, a.assignments); });
}

} // namespace entmlst
