// entmlst export, import, diff and schema as a user drives them: each
// command a process of its own against the test's own device file.
#include "support/tool_process.h"

#include <sys/stat.h>

#include <algorithm>
#include <regex>

namespace {

using namespace tool_support;
using Json = nlohmann::json;

class BackupTest : public ToolTest {
protected:
    fs::path write(const std::string &name, const std::string &text) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    Json exported(const Args &extra = {}) {
        Args a = {"export"};
        a.insert(a.end(), extra.begin(), extra.end());
        Outcome r = tool(a);
        EXPECT_EQ(r.status, 0) << r.err;
        return Json::parse(r.out);
    }
    // Notifications and monitor lines the device received: what a Set
    // announces or a failure reports (the log also holds every read).
    std::size_t logLines() {
        std::size_t n = 0;
        for (const auto &e : tool({"--json", "log"}).json())
            n += e["kind"] == "notify" || e["kind"] == "monitor";
        return n;
    }
};

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST_F(BackupTest, ExportChangeDiffImportDiffAgainShowsNothing) {
    ASSERT_EQ(tool({"init"}).status, 0);
    fs::path saved = dir / "saved.json";
    ASSERT_EQ(tool({"export", "-o", saved.string()}).status, 0);
    Json doc = Json::parse(slurp(saved));
    EXPECT_EQ(slurp(saved).rfind("{\n  \"format\": \"corvellib-settings\",\n  \"version\": 1,\n", 0), 0u);
    EXPECT_EQ(doc["smtp-event"].size(), 3u);
    EXPECT_TRUE(doc["read-only"].contains("counters"));
    EXPECT_FALSE(doc.contains("counters"));

    for (const Args &set :
         std::vector<Args>{{"set", "smtp", "port=587", "server=other.example"},
                           {"set", "smtp-event", "--recipient", "2", "address=ops@corp.example"},
                           {"set", "maintenance", "week=5"}})
        ASSERT_EQ(tool(set).status, 0) << set[1];

    Outcome diff = tool({"diff", saved.string()});
    EXPECT_EQ(diff.status, 1) << diff.err;
    const std::string want = "smtp\n"
                             "  port: 587 -> 25\n"
                             "  server: \"other.example\" -> \"" +
                             doc["smtp"]["server"].get<std::string>() +
                             "\"\n"
                             "smtp-event#2\n"
                             "  address: \"ops@corp.example\" -> \"" +
                             doc["smtp-event"][1]["address"].get<std::string>() +
                             "\"\n"
                             "maintenance\n"
                             "  week: 5 -> " +
                             doc["maintenance"]["week"].dump() + "\n";
    const std::string masked =
        "/pop3user/0/password /pop3user/1/password /pop3user/2/password /smtp/password\n";
    EXPECT_EQ(diff.out, want + "not compared (secrets): " + masked);

    std::size_t before = logLines();
    Outcome import = tool({"import", saved.string()});
    EXPECT_EQ(import.status, 0) << import.out << import.err;
    EXPECT_EQ(import.out.rfind(want, 0), 0u) << import.out;
    for (const char *part : {"  smtp:\n    written: port server\n", "  smtp-event#2:\n    written: address\n",
                             "  maintenance:\n    written: week\n"})
        EXPECT_TRUE(has(import.out, part)) << import.out;
    EXPECT_TRUE(has(import.out, "kept: " + masked)) << import.out;
    EXPECT_TRUE(has(import.out, "notified: mscMLRPTChgMaintenanceReportTime()\n")) << import.out;
    EXPECT_TRUE(has(import.out, "result: ENTMLST_OK (0x00000000)")) << import.out;
    EXPECT_EQ(logLines(), before + 1); // the one notification

    diff = tool({"diff", saved.string()});
    EXPECT_EQ(diff.status, 0) << diff.out << diff.err;
    EXPECT_EQ(diff.out, "not compared (secrets): " + masked);
    Json now = exported(), was = doc; // and nothing else moved
    now.erase("read-only");
    was.erase("read-only");
    EXPECT_EQ(now, was);
    EXPECT_EQ(get({"smtp-schedule", "--recipient", "2"})["address"], doc["smtp-event"][1]["address"]);

    // Idempotent: a second import makes no Set call at all, so even a work
    // buffer that cannot be had changes nothing and the log gains no line.
    const std::string file = slurp(device);
    for (const Args &again : std::vector<Args>{
             {"import", saved.string()}, {"--fail", "emwOSWOrgAllocMemPart=1", "import", saved.string()}}) {
        Outcome r = tool(again);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(has(r.out, "written: (none)\n") && !std::regex_search(r.out, std::regex("written: [^(]")))
            << r.out;
        EXPECT_EQ(logLines(), before + 1);
    }
}

TEST_F(BackupTest, PasswordsAreMaskedUnlessAskedForAndAMaskedOneKeepsTheStoredSecret) {
    ASSERT_EQ(tool({"set", "smtp", "password=s3cret"}).status, 0);
    ASSERT_EQ(tool({"set", "pop3user", "--user", "3", "password=p3"}).status, 0);
    EXPECT_EQ(get({"smtp"})["password"], "********");
    EXPECT_EQ(get({"pop3user", "--user", "3", "--show-secrets"})["password"], "p3");
    EXPECT_FALSE(has(tool({"get", "smtp"}).out, "s3cret"));

    fs::path masked = dir / "masked.json", clear = dir / "clear.json";
    ASSERT_EQ(tool({"export", "-o", masked.string()}).status, 0);
    ASSERT_EQ(tool({"export", "--show-secrets", "-o", clear.string()}).status, 0);
    EXPECT_FALSE(has(slurp(masked), "s3cret"));
    EXPECT_EQ(Json::parse(slurp(clear))["pop3user"][2]["password"], "p3");
    struct stat st {};
    ASSERT_EQ(stat(clear.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a file with passwords is its owner's only";

    ASSERT_EQ(tool({"set", "smtp", "password=changed", "port=99"}).status, 0);
    // The masked document passes over the password: only the port differs.
    Outcome diff = tool({"diff", masked.string()});
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(diff.out, "smtp\n  port: 99 -> 25\nnot compared (secrets): /pop3user/0/password "
                        "/pop3user/1/password /pop3user/2/password /smtp/password\n");

    ASSERT_EQ(tool({"import", masked.string()}).status, 0);
    EXPECT_EQ(get({"smtp", "--show-secrets"})["password"], "changed");
    EXPECT_EQ(get({"smtp"})["port"], 25);
    ASSERT_EQ(tool({"import", clear.string()}).status, 0);
    EXPECT_EQ(get({"smtp", "--show-secrets"})["password"], "s3cret");
}

TEST_F(BackupTest, BadDocumentsGetOneLinePerProblemExitTwoAndLeaveTheDeviceAlone) {
    ASSERT_EQ(tool({"init"}).status, 0);
    const std::string head = R"({"format": "corvellib-settings", "version": 1, )";
    struct Case {
        const char *what;
        std::string text;
        std::vector<std::string> lines; // after "entmlst: FILE: ", one per problem
    } cases[] = {
        {"empty", "", {"empty file"}},
        {"blank", " \n\t\n", {"empty file"}},
        {"not JSON", "{\"format\": ", {"not JSON: parse error at line 1, column 12"}},
        {"too large", std::string(1 << 20, ' ') + "{}", {"larger than 1 MiB"}},
        {"an array", "[]", {"expected a settings object, not array"}},
        {"wrong format", R"({"format": "other", "version": 1, "smtp": 5})", {"/format: \"other\" is not"}},
        {"newer", R"({"format": "corvellib-settings", "version": 2})", {"/version: version 2 is newer than"}},
        {"no version", R"({"format": "corvellib-settings"})", {"/version: missing"}},
        {"duplicate",
         head + R"("smtp": {"port": 1, "port": 2}, "smtp": {}})",
         {"/smtp/port: key given more than once", "/smtp: key given more than once"}},
        {"out of range",
         head + R"("smtp": {"port": 65536, "protocol": -1}})",
         {"/smtp/port: 65536 is out of range 0..65535", "/smtp/protocol: -1 is out of range 0..255"}},
        {"too long",
         head + R"("smtp": {"server": ")" + std::string(64, 'a') + R"("}})",
         {"/smtp/server: too long: 64 bytes, at most 63 bytes"}},
        {"hex too long",
         head + R"("pop3": {"domain1": "hex:)" + std::string(66, '0') + R"("}})",
         {"/pop3/domain1: hex: takes pairs of hex digits, at most 64 (32 bytes)"}},
        {"recipients",
         head + R"("smtp-event": [{}, {}], "pop3user": [{}, {}, {}, {}]})",
         {"/smtp-event: 2 recipients given", "/pop3user: 4 recipients given"}},
        {"names",
         head + R"("smtp": {"nosuch": 1}, "nosuch": {}, "counters": {}, "read-only": {"smtp": {}}})",
         {"/smtp/nosuch: group smtp has no field \"nosuch\"", "/nosuch: unknown group",
          "/counters: group counters is read only", "/read-only/smtp: not a read-only group"}},
        {"types",
         head + R"("smtp": {"port": "25", "server": 7, "ssl": 0.5}, "pop3": []})",
         {"/smtp/port: expected a whole number 0..65535, not string", "/smtp/server: expected UTF-8 text",
          "/smtp/ssl: expected a whole number 0..255, not a fraction", "/pop3: expected an object"}},
        {"shared",
         head + R"("smtp-event": [{}, {"name": "a"}, {}], "smtp-schedule": [{}, {"name": "b"}, {}]})",
         {"/smtp-schedule/1/name: differs from /smtp-event/1/name, which is the same stored setting; give "
          "both "
          "the same value, or drop one of them"}},
    };
    const std::string before = slurp(device);
    for (const Case &c : cases) {
        fs::path file = write("bad.json", c.text);
        for (const Args &args : std::vector<Args>{{"import", file.string()},
                                                  {"import", "--dry-run", file.string()},
                                                  {"diff", file.string()}}) {
            Outcome r = tool(args);
            EXPECT_EQ(r.status, 2) << c.what << ": " << r.out << r.err;
            EXPECT_EQ(r.out, "") << c.what;
            std::vector<std::string> lines;
            std::stringstream err(r.err);
            for (std::string line; std::getline(err, line);) lines.push_back(line);
            ASSERT_EQ(lines.size(), c.lines.size()) << c.what << ":\n" << r.err;
            for (std::size_t i = 0; i < lines.size(); ++i)
                EXPECT_EQ(lines[i].rfind("entmlst: " + file.string() + ": " + c.lines[i], 0), 0u)
                    << c.what << ": " << lines[i];
        }
        EXPECT_EQ(slurp(device), before) << c.what;
    }
    EXPECT_EQ(tool({"import", (dir / "missing.json").string()}).status, 2);
}

TEST_F(BackupTest, APartialDocumentTouchesOnlyWhatItNamesAndADryRunWritesNothing) {
    ASSERT_EQ(tool({"init"}).status, 0);
    fs::path file = write("part.json", R"({"format": "corvellib-settings", "version": 1,
        "pop3user": [{}, {}, {"port": 995, "ssl": 1}], "smtp": {"from": "hex:6869"},
        "read-only": {"counters": {"count1": 12345}}})");
    const std::string before = slurp(device);
    Outcome dry = tool({"import", "--dry-run", file.string()});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out,
              "pop3user#3\n  port: 110 -> 995\n  ssl: 0 -> 1\nsmtp\n  from: \"" +
                  get({"smtp"})["from"].get<std::string>() +
                  "\" -> \"hi\"\nnot imported: /read-only/counters/count1\ndry run:           \"nothing "
                  "written\"\nresult: ENTMLST_OK (0x00000000)\n");
    EXPECT_EQ(slurp(device), before);

    Outcome json = tool({"--json", "import", file.string()});
    EXPECT_EQ(json.status, 0) << json.err;
    Json j = json.json();
    EXPECT_EQ(
        j["changes"][0],
        (Json{
            {"group", "pop3user"}, {"recipient", 3}, {"field", "port"}, {"device", 110}, {"document", 995}}));
    EXPECT_EQ(j["records"]["pop3user#3"]["written"], (Json{"port", "ssl"}));
    EXPECT_EQ(j["records"]["smtp"]["written"], (Json{"from"}));
    EXPECT_EQ(get({"pop3user", "--user", "3"})["ssl"], 1);
    EXPECT_EQ(get({"pop3user", "--user", "2"})["port"], 110);
    EXPECT_NE(get({"counters"})["count1"], 12345); // information, never imported
    EXPECT_EQ(tool({"--json", "diff", file.string()}).json(),
              (Json{{"differences", Json::array()},
                    {"not_compared", Json::array()},
                    {"not_imported", {"/read-only/counters/count1"}}}));
}

TEST_F(BackupTest, AFailedReadEndsDiffAndExportWithoutOutput) {
    ASSERT_EQ(tool({"init"}).status, 0);
    fs::path file = write("three.json", R"({"format": "corvellib-settings", "version": 1,
        "pop3": {"auth": 1}, "smtp": {"port": 26, "server": "b.example"}, "maintenance": {"week": 3}})");
    Outcome r = tool({"--fail", "meSTCGetStatus#14=7", "diff", file.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "entmlst: diff: reading pop3user#1: ENTMLST_ERR_STATUS_GET")) << r.err;
    r = tool({"--fail", "meSTCGetStatus=7", "export", "-o", (dir / "x.json").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "x.json"));
}

} // namespace
