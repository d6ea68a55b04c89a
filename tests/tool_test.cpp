// The entmlst command as a user drives it: every case runs the real program
// in its own process against a device file of its own.
#include "support/tool_process.h"

#include <signal.h>

#include <algorithm>
#include <regex>

namespace {

using namespace tool_support;

TEST_F(ToolTest, ASetSurvivesIntoTheNextProcess) {
    struct Case {
        Args set;
        Args get;
        const char *field;
        nlohmann::json want;
    } cases[] = {
        {{"set", "smtp", "port=587"}, {"smtp"}, "port", 587},
        {{"set", "smtp", "server=mail.corp.example"}, {"smtp"}, "server", "mail.corp.example"},
        {{"set", "pop3", "domain10=last.example"}, {"pop3"}, "domain10", "last.example"},
        {{"set", "pop3user", "--user", "2", "port=0x3e3"}, {"pop3user", "--user", "2"}, "port", 995},
        {{"set", "smtp-event", "--recipient", "3", "event7=1"},
         {"smtp-event", "--recipient", "3"},
         "event7",
         1},
        {{"set", "smtp-schedule", "--recipient", "2", "week=5"},
         {"smtp-schedule", "--recipient", "2"},
         "week",
         5},
        {{"set", "maintenance", "address=ops@corp.example"}, {"maintenance"}, "address", "ops@corp.example"},
        {{"set", "event-last-send", "--recipient", "1", "time=4000000000"},
         {"event-last-send"},
         "time",
         4000000000u},
        {{"set", "maintenance-last-send", "time=7"}, {"maintenance-last-send"}, "time", 7},
        {{"set", "smtp", "signature=hex:0102"}, {"smtp"}, "signature", "\x01\x02"},
    };
    for (const Case &c : cases) {
        Outcome r = tool(c.set);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string("written: ") + c.field), std::string::npos) << r.out;
        EXPECT_EQ(get(c.get)[c.field], c.want) << c.set[1] << " " << c.field;
    }
}

TEST_F(ToolTest, JsonOutputParsesForEveryReadingCommand) {
    ASSERT_EQ(tool({"job", "create", "9", "--parent", "8", "0x00317800=to@corp.example"}).status, 0);
    for (const Args &args : std::vector<Args>{{"get", "pop3"},
                                              {"get", "pop3user"},
                                              {"get", "smtp"},
                                              {"get", "smtp-event"},
                                              {"get", "smtp-schedule"},
                                              {"get", "event-last-send"},
                                              {"get", "schedule-last-send"},
                                              {"get", "maintenance"},
                                              {"get", "maintenance-last-send"},
                                              {"get", "counters"},
                                              {"get", "subject"},
                                              {"get", "host-buffer"},
                                              {"init"},
                                              {"sync"},
                                              {"set", "smtp", "auth=1"},
                                              {"job", "ip", "9"},
                                              {"job", "print-end", "9"},
                                              {"job", "current-send", "9"},
                                              {"job", "send-result", "9", "mail"}}) {
        Args a = {"--json"};
        a.insert(a.end(), args.begin(), args.end());
        Outcome r = tool(a);
        EXPECT_EQ(r.status, 0) << args[0] << " " << args.back() << ": " << r.err;
        nlohmann::json j;
        ASSERT_NO_THROW(j = r.json()) << r.out;
        EXPECT_EQ(j["result"]["name"], "ENTMLST_OK") << r.out;
    }
    Outcome log = tool({"--json", "log"});
    ASSERT_EQ(log.status, 0);
    EXPECT_TRUE(log.json().is_array());
    EXPECT_EQ(get({"host-buffer"})["size"], 0x00100000);
}

// Command lines run in order against one device: each one's exit status, a
// pattern its stderr and one its stdout must match (nullptr: not checked), a
// text neither may hold (a secret), and whether the device file is left byte
// for byte as it was.
TEST_F(ToolTest, EachCommandLineExitsWithItsStatusAndSaysWhatHappened) {
    ASSERT_EQ(tool({"init"}).status, 0);
    const std::string head = R"({"format": "corvellib-settings", "version": 1, )";
    auto doc = [&](const char *name, const std::string &groups) {
        std::ofstream(dir / name) << head << groups << "}";
        return (dir / name).string();
    };
    const std::string masked = doc("masked.json", R"("smtp": {"password": "********", "port": 257})");
    const std::string clear = doc("clear.json", R"("smtp": {"password": "0ther"}, "pop3": {"auth": 0})");
    const std::string foreign = doc("foreign.json", R"("smtp": {"port": 257}, "read-only":
        {"counters": {"count1": 12345}, "subject": {"serial": "OTHER-1"}})");
    const std::string bad_secret = doc("secret.json", R"("smtp": {"password": "hex:MySecret00"})");
    const std::string three =
        doc("three.json", R"("pop3": {"auth": 1}, "smtp": {"port": 27, "server": "b.example"},
        "maintenance": {"week": 3})");
    const char *one_line = "^entmlst: [^\n]*\n$";
    struct Case {
        Args args;
        int status;
        const char *err;
        const char *out;
        bool unchanged;
        const char *never = nullptr;
    } cases[] = {
        // A Set that stops part-way: what was written, where it stopped, what it never tried.
        {{"--fail", "meSTCSetStatus#2=0x1234", "set", "smtp", "port=26", "server=y.example", "ssl=1"},
         1,
         nullptr,
         "\nwritten: port\nfailed: server\nnot_written: ssl\nunchanged: \\(none\\)\n",
         false},
        {{"--json", "set", "smtp", "ssl=1", "port=26", "server=y.example"},
         0,
         "^$",
         R"("written": \[\s*"server",\s*"ssl"\s*\],\s*"failed": \[\],\s*"not_written": \[\],)"
         R"(\s*"unchanged": \[\s*"port"\s*\])",
         false},
        // One grammar: a leading zero is decimal, hex: is the field's width, UTF-8 is text.
        {{"set", "smtp", "port=0587", "size_limit=010", "server=café"},
         0,
         "^$",
         "written: port server",
         false},
        {{"get", "smtp"}, 0, "^$", "port: +587\n  server: +\"café\"\n[\\s\\S]*size_limit: +10\n", false},
        {{"set", "smtp", "port=hex:0101"}, 0, "^$", "written: port\n", false},
        {{"--json", "get", "smtp"}, 0, "^$", "\"port\": 257,", false},
        {{"set", "smtp", "port=hex:01"}, 2, "^entmlst: port: hex: takes exactly 4 hex digits", "^$", true},
        {{"set", "smtp", "port=hex:-1-1"}, 2, "^entmlst: port: hex: takes exactly 4 hex digits", "^$", true},
        {{"set", "smtp", "port=hex:+1"}, 2, one_line, "^$", true},
        {{"set", "smtp", "port=hex: 1"}, 2, one_line, "^$", true},
        {{"set", "smtp", "signature=hex:0g"},
         2,
         "^entmlst: signature: hex: takes pairs of hex digits",
         "^$",
         true},
        {{"set", "smtp", "port="},
         2,
         "^entmlst: port: empty; expected a whole number 0\\.\\.65535\n$",
         "^$",
         true},
        {{"set", "smtp", "port=65536"},
         2,
         "^entmlst: port: \"65536\" is out of range 0\\.\\.65535\n$",
         "^$",
         true},
        {{"set", "smtp", "port=1", "port=2"}, 2, "^entmlst: port: given twice\n$", "^$", true},
        {{"set", "smtp-event", "--recipient", "", "name=x"}, 2, "^entmlst: --recipient: empty", "^$", true},
        {{"fault", "add", "meSTCGetStatus=1", "--probability", ""}, 2, one_line, "^$", true},
        {{"job", "create", "5", "--parent", ""}, 2, "^entmlst: --parent: empty", "^$", true},
        {{"log", "--pid", ""}, 2, "^entmlst: --pid: empty", "^$", true},
        {{"set", "smtp", "server=\xff"}, 2, "^entmlst: server: text is UTF-8", "^$", true},
        // A password's value is never repeated, right or wrong.
        {{"set", "smtp", "password=hex:zzMySecret"},
         2,
         "^entmlst: password: hex: takes pairs",
         "^$",
         true,
         "MySecret"},
        {{"set", "smtp", "password=" + std::string(64, 'S')},
         2,
         "^entmlst: password: too long",
         "^$",
         true,
         "SSSS"},
        {{"import", bad_secret}, 2, "/smtp/password: hex: takes pairs", "^$", true, "MySecret"},
        // Masked secrets are kept and said to be; secrets are not compared unasked.
        {{"import", masked}, 0, "^$", "kept: /smtp/password\n", false},
        {{"diff", clear},
         0,
         "^$",
         "^not compared \\(secrets\\): /smtp/password\n$",
         false,
         "\"********\" ->"},
        {{"diff", "--show-secrets", clear}, 1, "^$", "password: \"[^\"]*\" -> \"0ther\"\n", false},
        // Read-only values: never written, named when they differ, no effect on the status.
        {{"diff", foreign},
         0,
         "^$",
         "^not imported [^\n]*: /read-only/counters/count1 /read-only/subject/serial\n$",
         false},
        {{"import", foreign},
         0,
         "^$",
         "not_imported: /read-only/counters/count1 /read-only/subject/serial\n",
         false},
        {{"get", "counters"}, 0, "^$", "count1: +12034\n", false},
        // An import that stops part-way says it field by field, per record.
        {{"--fail", "meSTCSetStatus#3=0x1234", "import", three},
         1,
         nullptr,
         "records:\n  pop3:\n    written: auth\n    failed: \\(none\\)\n    not_written: \\(none\\)\n    "
         "unchanged: \\(none\\)\n  smtp:\n    written: port\n    failed: server\n    not_written: "
         "\\(none\\)\n"
         "    unchanged: \\(none\\)\n  maintenance:\n    written: \\(none\\)\n    failed: \\(none\\)\n"
         "    not_written: week\n",
         false},
        {{"import", three}, 0, "^$", "  pop3:\n    written: \\(none\\)\n[\\s\\S]*unchanged: auth\n", false},
        // Refused before the device is touched.
        {{"set", "smtp", "nosuchfield=1"}, 2, one_line, "^$", true},
        {{"get", "nosuchgroup"}, 2, one_line, "^$", true},
        {{"set", "smtp", "port=12x"}, 2, one_line, "^$", true},
        {{"set", "smtp", "port=-1"}, 2, one_line, "^$", true},
        {{"set", "smtp", "server=" + std::string(64, 'a')}, 2, one_line, "^$", true},
        {{"get", "smtp-event", "--recipient", "0"}, 2, one_line, "^$", true},
        {{"set", "pop3user", "--user", "4", "apop=1"}, 2, one_line, "^$", true},
        {{"set", "counters", "count1=1"}, 2, one_line, "^$", true},
        {{"set", "smtp", "port"}, 2, one_line, "^$", true},
        {{"job", "ip", "77"}, 2, one_line, "^$", true},
        {{"job", "link", "1", "fax", "2"}, 2, one_line, "^$", true},
        {{"job", "create", "1", "0x12345678=1"}, 2, one_line, "^$", true},
        {{"--fail", "nosuchservice=1", "set", "smtp", "port=1"}, 2, one_line, "^$", true},
        {{"--fail", "meSTCSetStatus#0=1", "get", "smtp"}, 2, one_line, "^$", true},
        {{"fault", "add", "nosuch=1"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus#0=1"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus=1", "--probability", "0"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus=1", "--probability", "101"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus=1", "--probability", "x"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus#2=1", "--probability", "5"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus=1", "--seed", "3"}, 2, one_line, "^$", true},
        {{"fault", "add", "meSTCGetStatus=1", "--probability", "5", "--seed", "-3"}, 2, one_line, "^$", true},
        {{"log", "--since", "yesterday"}, 2, one_line, "^$", true},
        {{"log", "--pid", "x"}, 2, one_line, "^$", true},
        {{"reset", "--keep"}, 2, one_line, "^$", true},
    };
    for (const Case &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        const std::string before = slurp(device);
        Outcome r = tool(c.args);
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.out << r.err;
        if (c.err) {
            EXPECT_TRUE(std::regex_search(r.err, std::regex(c.err))) << line << "\nstderr: " << r.err;
        }
        EXPECT_TRUE(std::regex_search(r.out, std::regex(c.out))) << line << "\nstdout: " << r.out;
        if (c.never) {
            EXPECT_EQ((r.out + r.err).find(c.never), std::string::npos) << line;
        }
        if (c.unchanged) {
            EXPECT_EQ(slurp(device), before) << line;
        }
    }
}

TEST_F(ToolTest, AFileThatIsNotADeviceIsRefusedAndNeverWritten) {
    struct Case {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"text", "not a database\n"},
        {"torn", std::string("SQLite format 3\0", 16) + std::string(200, '\x7f')},
        {"empty dir", ""},
    };
    for (const Case &c : cases) {
        fs::path file = dir / c.name;
        if (c.bytes.empty())
            fs::create_directory(file);
        else
            std::ofstream(file, std::ios::binary) << c.bytes;
        device = file;
        Outcome r = tool({"get", "smtp"});
        EXPECT_EQ(r.status, 3) << c.name << r.err;
        EXPECT_EQ(r.err.rfind("entmlst: " + file.string(), 0), 0u) << r.err;
        if (!c.bytes.empty()) {
            EXPECT_EQ(slurp(file), c.bytes) << c.name;
        }
    }
    device = dir / "missing" / "device.db";
    EXPECT_EQ(tool({"get", "smtp"}).status, 3);
    EXPECT_FALSE(fs::exists(device.parent_path()));
}

TEST_F(ToolTest, AnArmedFaultShowsTheDiagnosticAndTheCode) {
    struct Case {
        Args args;
        std::vector<std::string> out; // substrings of the output
    } cases[] = {
        {{"--fail", "meSTCGetStatus=7", "get", "subject"},
         {"ret=0x7", "result: ENTMLST_ERR_STATUS_GET (0x70020005)"}},
        {{"--fail", "mectSetDstProduct=5", "--fail", "mscMLPRNChgSchedule=6", "init"},
         {"mectSetDstProduct", "mscMLPRNChgSchedule", "result: ENTMLST_ERR_SCHEDULE (0x70020008)"}},
        {{"--fail", "mectIdSync=0x99", "sync"}, {"code=0x99", "result: ENTMLST_ERR_ID_SYNC (0x7002000f)"}},
        {{"--fail", "emwOSWOrgAllocMemPart=1", "set", "smtp", "auth=1"},
         {"result: ENTMLST_ERR_NOMEM (0x70020002)"}},
    };
    for (const Case &c : cases) {
        Outcome r = tool(c.args);
        EXPECT_EQ(r.status, 1) << r.out;
        for (const std::string &s : c.out)
            EXPECT_NE(r.out.find(s), std::string::npos) << "missing \"" << s << "\" in\n" << r.out;
    }
    // The monitor lines are in the device's log.
    EXPECT_NE(tool({"log"}).out.find("ret=0x7"), std::string::npos);
}

TEST_F(ToolTest, JobsAndLinksReadBackThroughTheJobFunctions) {
    for (const Args &args : std::vector<Args>{
             {"job", "create", "100", "0x00182000=7"},
             {"job", "create", "5", "--parent", "100", "0x00317800=to@corp.example", "0x0036000b=3"},
             {"job", "create", "6", "0x00716800=fax one", "0x00860004=2"},
             {"job", "link", "5", "fax", "6"},
             {"job", "attach", "5", "attach_mode=1", "attach_format=2", "resolution=3"}})
        ASSERT_EQ(tool(args).status, 0) << args[1];
    auto ip = tool({"--json", "job", "ip", "5"}).json()["fields"];
    EXPECT_EQ(ip["address"], "to@corp.example");
    EXPECT_EQ(ip["kind"], 3);
    EXPECT_EQ(ip["attach_format"], 2);
    EXPECT_EQ(ip["parent_job_id"], 100);
    EXPECT_EQ(ip["user_info1"], 7);
    auto sent = tool({"--json", "job", "send-result", "5", "fax"}).json();
    EXPECT_EQ(sent["count"], 1);
    EXPECT_EQ(sent["entries"][0]["name"], "fax one");
    EXPECT_EQ(sent["entries"][0]["status"], 2);
    Outcome bad = tool({"job", "send-result", "5", "0x55"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("ENTMLST_SENDRESULT_BAD_KIND (0x00000001)"), std::string::npos) << bad.out;
    // A link service answering 1 for a known kind is that service's code, not the unknown-kind answer.
    Outcome service = tool({"--fail", "mectGetChildLink=1", "job", "send-result", "5", "fax"});
    EXPECT_EQ(service.status, 1);
    EXPECT_NE(service.out.find("result: 0x00000001"), std::string::npos) << service.out;
}

TEST_F(ToolTest, TwoProcessesSettingOneGroupAtOnceLoseNeitherWrite) {
    ASSERT_EQ(tool({"init"}).status, 0);
    for (int round = 1; round <= 8; ++round) {
        // Appended, not "s" + ...: that form trips GCC 12's -Wrestrict at -O3.
        std::string port = std::to_string(1000 + round);
        std::string server = std::string("s").append(std::to_string(round)).append(".example");
        pid_t a = start({"set", "smtp", "port=" + port}, 1);
        pid_t b = start({"set", "smtp", "server=" + server}, 2);
        EXPECT_EQ(finish(a, 1).status, 0);
        EXPECT_EQ(finish(b, 2).status, 0);
        auto smtp = get({"smtp"});
        EXPECT_EQ(smtp["port"], 1000 + round) << "round " << round;
        EXPECT_EQ(smtp["server"], server) << "round " << round;
    }
}

// Faults armed with `fault add` are kept in the file and fire in the next
// process that makes the call; the log shows each firing.
TEST_F(ToolTest, FaultsKeptInTheFileFireInTheNextProcess) {
    ASSERT_EQ(tool({"fault", "add", "meSTCGetStatus#2=0x55"}).status, 0);
    ASSERT_EQ(tool({"fault", "add", "meSVCGetCurrent=0x66", "--write-first"}).status, 0);
    auto listed = tool({"--json", "fault", "list"}).json();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["fault"], "meSTCGetStatus#2=0x55");
    EXPECT_EQ(listed[1]["write_first"], true);

    Outcome r = tool({"get", "smtp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ret=0x55"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("result: ENTMLST_ERR_STATUS_GET (0x70020005)"), std::string::npos) << r.out;
    // A fault on a job that does not exist still answers its code.
    ASSERT_EQ(tool({"job", "create", "5"}).status, 0);
    EXPECT_NE(tool({"job", "ip", "5"}).out.find("ret=0x66"), std::string::npos);
    EXPECT_EQ(tool({"--json", "fault", "list"}).json().size(), 0u);
    EXPECT_NE(tool({"log"}).out.find(" fault meSTCGetStatus answers 0x55\n"), std::string::npos);

    // A random fault: the same seed fires on the same calls again.
    auto pattern = [&](const std::string &seed) {
        EXPECT_EQ(tool({"reset"}).status, 0);
        EXPECT_EQ(tool({"fault", "add", "meSTCGetStatus=7", "--probability", "30%", "--seed", seed}).status,
                  0);
        std::string fired;
        for (int i = 0; i < 4; ++i) fired += tool({"get", "pop3"}).status == 0 ? '0' : '1';
        auto f = tool({"--json", "fault", "list"}).json();
        EXPECT_EQ(f[0]["fired"], std::count(fired.begin(), fired.end(), '1'));
        return fired;
    };
    const std::string first = pattern("11");
    EXPECT_EQ(pattern("11"), first);
    Outcome cleared = tool({"fault", "clear"});
    EXPECT_EQ(cleared.out, "cleared: 1\n");
    EXPECT_EQ(tool({"fault", "list"}).out, "");
}

TEST_F(ToolTest, ResetPutsBackFactorySettingsAndClearsJobsUnlessKept) {
    ASSERT_EQ(tool({"set", "smtp", "port=2525"}).status, 0);
    ASSERT_EQ(tool({"job", "create", "5", "--parent", "100", "0x00317800=to@corp.example"}).status, 0);
    ASSERT_EQ(tool({"fault", "add", "meSTCGetStatus#5=1"}).status, 0);
    ASSERT_EQ(tool({"reset", "--keep-jobs"}).status, 0);
    EXPECT_EQ(tool({"--json", "log"}).json().size(), 0u);
    EXPECT_EQ(tool({"fault", "list"}).out, "");
    EXPECT_EQ(get({"smtp"})["port"], 25);
    EXPECT_EQ(tool({"--json", "job", "ip", "5"}).json()["fields"]["address"], "to@corp.example");
    ASSERT_EQ(tool({"reset"}).status, 0);
    Outcome gone = tool({"job", "ip", "5"});
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(gone.err.find("no job 5"), std::string::npos) << gone.err;
}

// The log shows every process's calls; --pid and --since narrow it, and
// --follow prints what other processes do until it is interrupted.
TEST_F(ToolTest, TheLogFollowsOtherProcesses) {
    ASSERT_EQ(tool({"init"}).status, 0);
    auto all = tool({"--json", "log"}).json();
    ASSERT_FALSE(all.empty());
    const int init_pid = all[0]["pid"];
    EXPECT_EQ(tool({"--json", "log", "--pid", std::to_string(init_pid)}).json().size(), all.size());
    EXPECT_EQ(tool({"--json", "log", "--pid", std::to_string(init_pid + 1)}).json().size(), 0u);
    EXPECT_EQ(tool({"--json", "log", "--since", "1h"}).json().size(), all.size());
    EXPECT_EQ(tool({"--json", "log", "--since", "2999-01-01"}).json().size(), 0u);
    EXPECT_NE(tool({"log"}).out.find(" notify mscMLRPTChgSMTPProtocol(0) = 0x0\n"), std::string::npos);

    pid_t follower = start({"log", "--follow", "--pid", std::to_string(init_pid)}, 3);
    usleep(200000); // it has printed init's entries and waits
    ASSERT_EQ(tool({"set", "smtp", "protocol=2"}).status, 0);
    std::string seen;
    for (int i = 0; i < 10 && seen.find("notify mscMLRPTChgSMTPProtocol(2)") == std::string::npos; ++i) {
        usleep(50000);
        seen = slurp(dir / "out3");
    }
    kill(follower, SIGINT);
    finish(follower, 3);
    EXPECT_EQ(seen.find("notify mscMLRPTChgSMTPProtocol(2)"), std::string::npos) << "another process's entry";
    // Without --pid it shows up.
    follower = start({"log", "--follow"}, 4);
    ASSERT_EQ(tool({"set", "smtp", "protocol=3"}).status, 0);
    for (int i = 0; i < 100 && seen.find("notify mscMLRPTChgSMTPProtocol(3)") == std::string::npos; ++i) {
        usleep(50000);
        seen = slurp(dir / "out4");
    }
    kill(follower, SIGINT);
    finish(follower, 4);
    EXPECT_NE(seen.find("notify mscMLRPTChgSMTPProtocol(3)"), std::string::npos) << seen;
    EXPECT_NE(seen.find("mscMLPRNChgSchedule"), std::string::npos) << "init's entries first";
}

} // namespace
