// The settings document against a device of the test's own: which Set calls
// an import makes and with which masks, what a failing call leaves, and that
// any stored bytes survive export and import.
#include "corvellib.h"
#include "document/settings_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

namespace {

using namespace entmlst;

// Records in memory; a write copies the fields its mask selects, as the
// library does, and the Nth write can be made to fail.
class FakeDevice : public SettingsAccess {
public:
    std::map<std::string, Record> store;
    std::vector<std::pair<std::string, uint32_t>> calls; // record and mask
    std::size_t fail_write = 0;                          // 1-based; 0: none fails

    Record &at(const Group &g, uint32_t n) {
        auto [it, fresh] = store.try_emplace(instanceName(g, n), g.size, 0);
        return it->second;
    }
    uint32_t read(const Group &g, uint32_t n, uint8_t *record) override {
        std::memcpy(record, at(g, n).data(), g.size);
        return ENTMLST_OK;
    }
    uint32_t write(const Group &g, uint32_t n, uint32_t mask, const uint8_t *record) override {
        calls.emplace_back(instanceName(g, n), mask);
        if (calls.size() == fail_write) return ENTMLST_ERR_STATUS_SET;
        for (const Field &f : groupFields(g))
            if (maskBit(g, f) & mask) std::memcpy(at(g, n).data() + f.offset, record + f.offset, f.size);
        if (std::string_view(g.name).starts_with("smtp-"))
            share(n, g.name == std::string_view("smtp-schedule"));
        return ENTMLST_OK;
    }

    // The report recipients' address and name are one stored value each for
    // both report groups; the last one written is what both read.
    void share(uint32_t n, bool from_schedule = false) {
        Record &event = at(findGroup("smtp-event"), n), &schedule = at(findGroup("smtp-schedule"), n);
        constexpr std::size_t shared = offsetof(ENTMLSTSMTPEVENT, event);
        static_assert(shared == offsetof(ENTMLSTSMTPSCH, enable));
        if (from_schedule)
            std::memcpy(event.data(), schedule.data(), shared);
        else
            std::memcpy(schedule.data(), event.data(), shared);
    }
};

CheckedDocument check(const std::string &groups_json) {
    std::vector<Problem> problems;
    auto doc = parseStrict(R"({"format": "corvellib-settings", "version": 1)" +
                               std::string(groups_json.empty() ? "" : ", ") + groups_json + "}",
                           problems);
    EXPECT_TRUE(doc && problems.empty()) << groups_json;
    CheckedDocument c = checkDocument(doc ? *doc : Json());
    for (const Problem &p : c.problems)
        ADD_FAILURE() << groups_json << ": " << p.pointer << ": " << p.message;
    return c;
}

std::vector<Write> plan(FakeDevice &dev, const CheckedDocument &doc) {
    DeviceRead r = readDevice(dev, false);
    EXPECT_EQ(r.code, 0u);
    return planWrites(r.instances, doc.values);
}

TEST(SettingsDocument, EachRecordThatDiffersGetsOneCallWithExactlyTheFieldsThatDiffer) {
    struct Case {
        const char *doc;
        std::vector<std::pair<std::string, uint32_t>> calls; // in the group table's order
    } cases[] = {
        {R"("smtp": {"port": 587, "server": "mail.example", "auth": 0})",
         {{"smtp", ENTMLST_MASK_SMTP_PORT | ENTMLST_MASK_SMTP_SERVER}}},
        {R"("pop3": {"domain3": "x.example", "domain10": "hex:01"})",
         {{"pop3", ENTMLST_MASK_POP3_DOMAIN(2) | ENTMLST_MASK_POP3_DOMAIN(9)}}},
        {R"("smtp-event": [{}, {}, {"event7": 1, "interval": 5, "name": ""}])",
         {{"smtp-event#3", ENTMLST_MASK_SMTPEVENT_EVENT(6) | ENTMLST_MASK_SMTPEVENT_INTERVAL}}},
        {R"("maintenance-last-send": {"time": 9}, "event-last-send": [{"time": 7}, {}, {"time": 0}])",
         {{"event-last-send#1", ENTMLST_MASK_EVR_LASTSEND},
          {"maintenance-last-send", ENTMLST_MASK_MAINTE_LASTSEND}}},
        {R"("schedule-last-send": [{}, {"time": 4294967295}, {}])",
         {{"schedule-last-send#2", ENTMLST_MASK_SCR_LASTSEND}}},
        {R"("pop3user": [{}, {"password": "********", "port": 110, "apop": 1}, {}])",
         {{"pop3user#2", ENTMLST_MASK_POP3USER_PORT | ENTMLST_MASK_POP3USER_APOP}}},
        {R"("smtp": {"password": "pw"}, "pop3user": [{"password": "hex:01"}, {}, {"password": "********"}])",
         {{"pop3user#1", ENTMLST_MASK_POP3USER_PASSWORD}, {"smtp", ENTMLST_MASK_SMTP_PASSWORD}}},
        {R"("maintenance": {"subject": "S", "week": 2, "enable": 0})",
         {{"maintenance", ENTMLST_MASK_MAINTE_SUBJECT | ENTMLST_MASK_MAINTE_WEEK}}},
        {R"("smtp": {"port": 1}, "pop3": {"auth": 1.0})",
         {{"pop3", ENTMLST_MASK_POP3_AUTH}, {"smtp", ENTMLST_MASK_SMTP_PORT}}},
        // One stored setting written once, through the first group.
        {R"("smtp-schedule": [{"address": "a@x", "enable": 1}, {}, {}], "smtp-event": [{"address": "a@x"}, {}, {}])",
         {{"smtp-event#1", ENTMLST_MASK_SMTPEVENT_ADDRESS},
          {"smtp-schedule#1", ENTMLST_MASK_SMTPSCH_ENABLE}}},
        // Equal values, however written, make no call.
        {R"("smtp": {"password": "hex:00", "server": "", "from": "hex:", "size_limit": 0})", {}},
        {R"("smtp": {}, "pop3user": [{}, {}, {}])", {}},
        {"", {}},
    };
    for (const Case &c : cases) {
        FakeDevice dev;
        applyWrites(dev, plan(dev, check(c.doc)));
        EXPECT_EQ(dev.calls, c.calls) << c.doc;
        EXPECT_TRUE(plan(dev, check(c.doc)).empty()) << "second import of " << c.doc << " would write";
    }
}

// Every problem in a document is found before anything is written, one
// "pointer: message" each (the tool prints them a line each after the file).
TEST(SettingsDocument, EveryProblemIsFoundAndNamedByItsPointer) {
    const std::string head = R"({"format": "corvellib-settings", "version": 1, )";
    struct Case {
        std::string text;
        std::vector<std::string> lines; // each the start of one problem's line
    } cases[] = {
        {"{\"format\": ", {"not JSON: parse error at line 1, column 12"}},
        {"[]", {"expected a settings object, not array"}},
        {R"({"format": "other", "version": 1, "smtp": 5})", {"/format: \"other\" is not"}},
        {R"({"format": "corvellib-settings", "version": 2})", {"/version: version 2 is newer than"}},
        {R"({"format": "corvellib-settings"})", {"/version: missing"}},
        {head + R"("smtp": {"port": 1, "port": 2}, "smtp": {}})",
         {"/smtp/port: key given more than once", "/smtp: key given more than once"}},
        {head + R"("smtp": {"server": ")" + std::string(64, 'a') + R"("}})",
         {"/smtp/server: too long: 64 bytes, at most 63 bytes"}},
        {head + R"("pop3": {"domain1": "hex:)" + std::string(66, '0') + R"("}})",
         {"/pop3/domain1: hex: takes pairs of hex digits, at most 64 (32 bytes)"}},
        {head + R"("smtp-event": [{}, {}], "pop3user": [{}, {}, {}, {}]})",
         {"/smtp-event: 2 recipients given", "/pop3user: 4 recipients given"}},
        {head + R"("smtp": {"nosuch": 1}, "nosuch": {}, "counters": {}, "read-only": {"smtp": {}}})",
         {"/smtp/nosuch: group smtp has no field \"nosuch\"", "/nosuch: unknown group",
          "/counters: group counters is read only", "/read-only/smtp: not a read-only group"}},
        {head + R"("smtp": {"port": "25", "server": 7, "ssl": 0.5}, "pop3": []})",
         {"/smtp/port: expected a whole number 0..65535, not string", "/smtp/server: expected UTF-8 text",
          "/smtp/ssl: expected a whole number 0..255, not a fraction", "/pop3: expected an object"}},
        {head + R"("smtp": )" + std::string(32, '[') + std::string(32, ']') + "}", {[] {
             std::string deepest = "/smtp";
             for (int i = 0; i < 31; ++i) deepest += "/0";
             return deepest + ": nested more than 32 deep";
         }()}},
        {head + R"("smtp-event": [{}, {"name": "a"}, {}], "smtp-schedule": [{}, {"name": "b"}, {}]})",
         {"/smtp-schedule/1/name: differs from /smtp-event/1/name, which is the same stored setting; give "
          "both the same value, or drop one of them"}},
    };
    for (const Case &c : cases) {
        std::vector<Problem> problems;
        if (auto doc = parseStrict(c.text, problems)) {
            std::vector<Problem> more = checkDocument(*doc).problems;
            problems.insert(problems.end(), more.begin(), more.end());
        }
        ASSERT_EQ(problems.size(), c.lines.size()) << c.text;
        for (std::size_t i = 0; i < problems.size(); ++i) {
            const std::string line =
                (problems[i].pointer.empty() ? "" : problems[i].pointer + ": ") + problems[i].message;
            EXPECT_EQ(line.rfind(c.lines[i], 0), 0u) << c.text << "\n" << line;
        }
    }
}

// What became of a record's fields: "written/failed/not written/unchanged".
std::string said(const FieldReport &r) {
    std::string out;
    for (const auto *list : {&r.written, &r.failed, &r.not_written, &r.unchanged}) {
        for (const std::string &f : *list) out += (out.empty() || out.back() == '/' ? "" : " ") + f;
        out += '/';
    }
    return r.record + " " + out;
}

TEST(SettingsDocument, AFailingCallStopsTheImportAndEachFieldSaysWhatBecameOfIt) {
    // smtp's ssl is the device's own value already.
    const char *doc =
        R"("pop3": {"auth": 1}, "smtp": {"port": 1, "ssl": 0}, "smtp-event": [{}, {"interval": 3}, {}],
                         "maintenance": {"week": 1})";
    const char *cases[] = {
        "pop3 /auth///smtp //port/ssl/smtp-event#2 //interval//maintenance //week//",
        "pop3 auth////smtp /port//ssl/smtp-event#2 //interval//maintenance //week//",
        "pop3 auth////smtp port///ssl/smtp-event#2 /interval///maintenance //week//",
        "pop3 auth////smtp port///ssl/smtp-event#2 interval////maintenance /week///",
    };
    for (std::size_t failing = 1; failing <= 4; ++failing) {
        FakeDevice dev;
        dev.fail_write = failing;
        CheckedDocument c = check(doc);
        std::vector<Write> writes = plan(dev, c);
        Applied a = applyWrites(dev, writes);
        EXPECT_EQ(a.code, uint32_t(ENTMLST_ERR_STATUS_SET));
        EXPECT_EQ(dev.calls.size(), failing);
        // No log: what the records read back holds.
        std::string all;
        for (const FieldReport &r : reportWrites(dev, c.values, writes, a, std::nullopt)) all += said(r);
        EXPECT_EQ(all, cases[failing - 1]);
        // What did reach the device is not planned again.
        EXPECT_EQ(plan(dev, check(doc)).size(), 5 - failing);
    }
}

// With a log, the settings IDs it names decide, whatever the record reads
// (the command-line table's first row has a log stop at the second).
TEST(SettingsDocument, TheLogsSettingsIdsSayWhichFieldsWereWritten) {
    const std::pair<StoreLog, const char *> cases[] = {
        {{{}, 0x85006334}, "smtp /port/server ssl/protocol/"},
        {{{0x85006334, 0x85005484}, 0x85005d44}, "smtp port server/ssl//protocol/"},
        // A read of a field that held its value already can fail too.
        {{{}, 0x85005fec}, "smtp /protocol/port server ssl//"},
    };
    for (const auto &[log, want] : cases) {
        FakeDevice dev;
        dev.fail_write = 1;
        CheckedDocument c = check(R"("smtp": {"protocol": 0, "port": 26, "server": "y", "ssl": 1})");
        std::vector<Write> writes = plan(dev, c);
        EXPECT_EQ(said(reportWrites(dev, c.values, writes, applyWrites(dev, writes), log).at(0)), want);
    }
}

// Whatever bytes the device holds, an export imported onto a blank device
// makes the same export, and imported onto the device itself makes no call.
TEST(SettingsDocument, AnyStoredBytesSurviveExportAndImport) {
    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        FakeDevice source;
        for (const Group &g : groups())
            for (uint32_t n = g.per_recipient ? 1 : 0; n <= (g.per_recipient ? kRecipients : 0); ++n) {
                Record &r = source.at(g, n);
                for (const Field &f : groupFields(g)) {
                    // Text fields: printable, terminated early, or raw bytes.
                    std::uniform_int_distribution<int> byte(round % 3 == 0 ? 0 : 0x20,
                                                            round % 3 == 0 ? 255 : 0x7e);
                    for (std::size_t i = 0; i < f.size; ++i)
                        r[f.offset + i] = static_cast<uint8_t>(byte(rng));
                    if (f.kind == Kind::text && round % 3 != 2) r[f.offset + rng() % f.size] = 0;
                }
            }
        for (uint32_t n = 1; n <= kRecipients; ++n) source.share(n);
        // Texts that read like the tool's own notations, and UTF-8 text.
        char *smtp = reinterpret_cast<char *>(source.at(findGroup("smtp"), 0).data());
        std::strcpy(smtp + offsetof(ENTMLSTSMTP, password), kMaskedSecret);
        std::strcpy(smtp + offsetof(ENTMLSTSMTP, server), "hex:00");
        std::strcpy(smtp + offsetof(ENTMLSTSMTP, from), "caf\xc3\xa9 \x01");

        Json exported = exportDocument(readDevice(source, false).instances, true);
        EXPECT_EQ(exported["smtp"]["from"], "caf\u00e9 \u0001");
        std::vector<Problem> problems;
        auto reread = parseStrict(exported.dump(), problems);
        ASSERT_TRUE(reread && problems.empty());
        CheckedDocument doc = checkDocument(*reread);
        ASSERT_TRUE(doc.problems.empty()) << doc.problems[0].pointer << ": " << doc.problems[0].message;

        EXPECT_TRUE(plan(source, doc).empty()) << "round " << round;
        FakeDevice blank;
        applyWrites(blank, plan(blank, doc));
        EXPECT_EQ(exportDocument(readDevice(blank, false).instances, true), exported) << "round " << round;
    }
}

} // namespace
