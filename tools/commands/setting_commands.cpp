// setting_commands.cpp - groups, get and set: the setting groups through the
// library's Get and Set functions.
#include "cli/command_line.h"

#include "cli/result_codes.h"
#include "cli/usage_error.h"
#include "document/setting_groups.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace entmlst {
namespace {

using Record = std::vector<uint8_t>;

// recipient is empty when not given.
uint32_t checkRecipient(const Group &g, const std::string &recipient) {
    if (!g.per_recipient) {
        if (!recipient.empty())
            throw UsageError(std::string("group ") + g.name + " has no recipients; drop --recipient");
        return 0;
    }
    if (recipient.empty()) return 1;
    uint32_t n = parseNumber("--recipient", recipient);
    if (n < 1 || n > 3) throw UsageError("--recipient " + recipient + ": recipients are 1, 2 and 3");
    return n;
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

int runGet(const Options &o, const std::string &group, const std::string &recipient, bool show_secrets) {
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

int runSet(const Options &o, const std::string &group, const std::string &recipient,
           const std::vector<std::string> &assignments) {
    const Group &g = findGroup(group);
    if (!g.set) throw UsageError(std::string("group ") + g.name + " is read only");
    uint32_t n = checkRecipient(g, recipient);
    auto fields = expand(g.members);
    if (assignments.empty()) throw UsageError("set " + group + ": give at least one FIELD=VALUE");
    std::vector<std::pair<const Field *, Record>> edits;
    for (const std::string &a : assignments) {
        auto [name, value] = splitAssignment(a);
        const Field &f = requireField(std::string("group ") + g.name, fields, name);
        std::erase_if(edits, [&](const auto &e) { return e.first == &f; }); // the last one given wins
        edits.emplace_back(&f, parseValue(f, value));
    }

    DeviceSession dev(o.device);
    Record before(g.size, 0);
    uint32_t code = g.get(n, before.data());
    News news;
    Record rec = before;
    if (code == 0) {
        uint32_t mask = 0;
        for (const auto &[f, bytes] : edits) {
            std::memcpy(rec.data() + f->offset, bytes.data(), f->size);
            mask |= maskBit(g, *f);
        }
        dev.begin(o.faults);
        code = g.set(mask, n, rec.data());
        news = dev.finish();
    }
    // A field was written when the device stored a value from it (a Set
    // that stopped part-way has still written its earlier fields). The
    // device build sees no log: there, what a Get shows changed.
    auto stored = [&](const Field &f) {
        const auto at = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(rec.data() + f.offset));
        return std::find(news.stored_from.begin(), news.stored_from.end(), at) != news.stored_from.end();
    };
    Record after(g.size, 0);
    uint32_t reread = news.seen ? 1 : g.get(n, after.data());
    auto changed = [&](const Field &f) {
        return news.seen ? stored(f)
                         : reread == 0 &&
                               std::memcmp(before.data() + f.offset, after.data() + f.offset, f.size) != 0;
    };

    Json body = header(g, n);
    Json written = Json::array(), unchanged = Json::array();
    for (const auto &[f, bytes] : edits) (changed(*f) ? written : unchanged).push_back(f->name);
    body["written"] = written;
    body["unchanged"] = unchanged;
    return report(o, body, news, codeText(code), code);
}

struct GroupArgs {
    std::string group;
    std::string recipient; // empty when not given
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
