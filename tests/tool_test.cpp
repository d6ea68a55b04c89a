// The entmlst command as a user drives it: every case runs the real program
// in its own process against a device file of its own.
#include "support/tool_process.h"

#include <sqlite3.h>

#include <signal.h>

#include <algorithm>
#include <functional>

#include "device_services.h"
#include "devsim.h"

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
        {{"set", "smtp", "signature=hex:0102"}, {"smtp"}, "signature", "hex:0102" + std::string(508, '0')},
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
    EXPECT_EQ(get({"host-buffer"})["size"], 0x00100000);
}

TEST_F(ToolTest, BadInputIsOneLineAndLeavesTheFileByteForByte) {
    ASSERT_EQ(tool({"init"}).status, 0);
    const std::string before = slurp(device);
    for (const Args &args :
         std::vector<Args>{{"set", "smtp", "nosuchfield=1"},
                           {"get", "nosuchgroup"},
                           {"set", "smtp", "port=65536"},
                           {"set", "smtp", "port=12x"},
                           {"set", "smtp", "port=-1"},
                           {"set", "smtp", "server=" + std::string(64, 'a')},
                           {"get", "smtp-event", "--recipient", "0"},
                           {"set", "pop3user", "--user", "4", "apop=1"},
                           {"set", "counters", "count1=1"},
                           {"set", "smtp", "port"},
                           {"job", "ip", "77"},
                           {"job", "link", "1", "fax", "2"},
                           {"job", "create", "1", "0x12345678=1"},
                           {"--fail", "nosuchservice=1", "set", "smtp", "port=1"},
                           {"--fail", "meSTCSetStatus#0=1", "get", "smtp"},
                           {"fault", "add", "nosuch=1"},
                           {"fault", "add", "meSTCGetStatus#0=1"},
                           {"fault", "add", "meSTCGetStatus"},
                           {"fault", "add", "meSTCGetStatus=1", "--probability", "0"},
                           {"fault", "add", "meSTCGetStatus=1", "--probability", "101"},
                           {"fault", "add", "meSTCGetStatus=1", "--probability", "x"},
                           {"fault", "add", "meSTCGetStatus#2=1", "--probability", "5"},
                           {"fault", "add", "meSTCGetStatus=1", "--seed", "3"},
                           {"fault", "add", "meSTCGetStatus=1", "--probability", "5", "--seed", "-3"},
                           {"log", "--since", "yesterday"},
                           {"log", "--pid", "x"},
                           {"reset", "--keep"}}) {
        Outcome r = tool(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_EQ(r.err.rfind("entmlst: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(slurp(device), before) << args[0] << " " << args[1] << " " << args.back();
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
        {{"--fail", "meSTCSetStatus#2=0x1234", "set", "smtp", "port=588", "server=b.example"},
         {"written: port", "unchanged: server", "ret=0x1234", "result: ENTMLST_ERR_STATUS_SET (0x70020006)"}},
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
    // The row written before the failure stays written, and the monitor
    // lines are in the device's log.
    EXPECT_EQ(get({"smtp"})["port"], 588);
    EXPECT_NE(tool({"log"}).out.find("ret=0x1234"), std::string::npos);
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
// process that makes the call (never in a look from outside, such as get);
// the log shows each firing.
TEST_F(ToolTest, FaultsKeptInTheFileFireInTheNextProcess) {
    ASSERT_EQ(tool({"fault", "add", "meSTCGetStatus#2=0x55"}).status, 0);
    ASSERT_EQ(tool({"fault", "add", "meSVCSetCurrent=0x66", "--write-first"}).status, 0);
    auto listed = tool({"--json", "fault", "list"}).json();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["fault"], "meSTCGetStatus#2=0x55");
    EXPECT_EQ(listed[1]["write_first"], true);

    EXPECT_EQ(tool({"get", "smtp"}).status, 0);
    Outcome r = tool({"set", "smtp", "port=26"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("result: ENTMLST_ERR_STATUS_GET (0x70020005)"), std::string::npos) << r.out;
    ASSERT_EQ(tool({"job", "create", "5"}).status, 0);
    EXPECT_NE(
        tool({"job", "attach", "5", "attach_mode=1", "attach_format=1", "resolution=1"}).out.find("ret=0x66"),
        std::string::npos);
    EXPECT_EQ(tool({"--json", "fault", "list"}).json().size(), 0u);
    EXPECT_NE(tool({"log"}).out.find(" fault meSTCGetStatus answers 0x55\n"), std::string::npos);

    // A random fault: the same seed fires on the same calls again.
    auto pattern = [&](const std::string &seed) {
        EXPECT_EQ(tool({"reset"}).status, 0);
        EXPECT_EQ(tool({"fault", "add", "meSTCGetStatus=7", "--probability", "30%", "--seed", seed}).status,
                  0);
        std::string fired;
        for (int i = 0; i < 4; ++i) fired += tool({"set", "pop3", "interval=16"}).status == 0 ? '0' : '1';
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

// The log shows every process's calls; --pid and --since narrow it, also
// when it follows them.
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
}

// Polls the output of a running process until it holds text: bounded by
// the process's progress, not by its speed, and over once it has ended.
bool eventually(const fs::path &file, const std::string &text, pid_t writer) {
    for (int i = 0; i < 1200; ++i) {
        siginfo_t info{};
        const bool ended =
            waitid(P_PID, static_cast<id_t>(writer), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == writer;
        if (slurp(file).find(text) != std::string::npos) return true;
        if (ended) return false;
        usleep(50000);
    }
    return false;
}

std::size_t occurrences(const std::string &in, const std::string &text) {
    std::size_t n = 0;
    for (auto at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
    return n;
}

// A follower started while another process holds the file locked waits for
// it, saying so once; when the file is deleted and a new device made in its
// place, it says so and shows the new file's entries, another process's
// included.
TEST_F(ToolTest, TheLogFollowerWaitsThroughALockAndFollowsANewFile) {
    ASSERT_EQ(tool({"init"}).status, 0);
    sqlite3 *holder = nullptr;
    ASSERT_EQ(sqlite3_open(device.c_str(), &holder), SQLITE_OK);
    // Exclusive: not even a reader of the file gets in.
    ASSERT_EQ(
        sqlite3_exec(holder, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
        SQLITE_OK);
    pid_t follower = start({"log", "--follow"}, 5);
    EXPECT_TRUE(eventually(dir / "err5", " is locked by another process; waiting for it\n", follower));
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_TRUE(eventually(dir / "out5", "notify mscMLPRNChgSchedule", follower));

    for (const char *companion : {"", "-wal", "-shm"}) fs::remove(device.string() + companion);
    EXPECT_TRUE(eventually(dir / "err5", device.string() + " was deleted; waiting for a device file there\n",
                           follower));
    ASSERT_EQ(tool({"set", "smtp", "protocol=3"}).status, 0);
    const std::string fresh = tool({"log"}).out; // the new file's entries, from its first
    ASSERT_NE(fresh.find("notify mscMLRPTChgSMTPProtocol(3)"), std::string::npos);
    EXPECT_TRUE(eventually(dir / "out5", fresh.substr(fresh.rfind('\n', fresh.size() - 2) + 1), follower));
    kill(follower, SIGINT);
    Outcome r = finish(follower, 5);
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), fresh.size())), fresh);
    EXPECT_EQ(occurrences(r.err, "locked"), 1u) << r.err;
    EXPECT_EQ(
        occurrences(r.err, device.string() + " was replaced; following the new file from its first entry\n"),
        1u)
        << r.err;
}

// Whatever bytes a program's monitor line holds, the text log shows it on
// one line with control characters escaped, and the JSON log stays valid
// UTF-8; either way a byte outside UTF-8 reads \xHH and a backslash \\.
TEST_F(ToolTest, TheLogShowsAnyBytesOfAMonitorLine) {
    struct Row {
        const char *what;
        std::string sent, text, json;
    } rows[] = {
        {"plain", "code=0x1234", "code=0x1234", "code=0x1234"},
        {"UTF-8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"Latin-1", "caf\xe9", "caf\\xe9", "caf\\xe9"},
        {"stray bytes", "\xff\xfe\x80", "\\xff\\xfe\\x80", "\\xff\\xfe\\x80"},
        {"cut short", "euro \xe2\x82", "euro \\xe2\\x82", "euro \\xe2\\x82"},
        {"overlong", "\xc0\xaf\xe0\x80\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80", "\\xed\\xa0\\x80"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80", "\\xf4\\x90\\x80\\x80"},
        {"controls", "a\tb\x1b[31mc\x7f", "a\\x09b\\x1b[31mc\\x7f", "a\tb\x1b[31mc\x7f"},
        {"C1 control", "\xc2\x9b[2J", "\\xc2\\x9b[2J", "\xc2\x9b[2J"},
        {"lines", "one\ntwo\n", "one\\x0atwo", "one\ntwo\n"},
        {"backslash", "C:\\x41", "C:\\\\x41", "C:\\\\x41"},
    };
    devsim::openDevice(device.string());
    for (const Row &row : rows) ASSERT_EQ(emwGENMonSendMessage(0x7302, 0x102, 0, "%s", row.sent.c_str()), 0u);
    devsim::openDevice(devsim::kMemoryDevice);

    Outcome text = tool({"log"});
    ASSERT_EQ(text.status, 0) << text.err;
    std::istringstream lines(text.out);
    Outcome json = tool({"--json", "log"});
    ASSERT_EQ(json.status, 0) << json.err;
    nlohmann::json entries;
    ASSERT_NO_THROW(entries = json.json()) << json.out;
    ASSERT_EQ(entries.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line.substr(line.find(" monitor ") + 9), rows[i].text) << rows[i].what;
        EXPECT_EQ(entries[i]["text"], rows[i].json) << rows[i].what;
    }
}

// entmlst check finds damage made behind the device's back, one line per
// problem, and changes nothing.
TEST_F(ToolTest, CheckFindsDamageMadeBehindTheDevicesBack) {
    struct Row {
        const char *damage; // SQL run on the file, whose settings and jobs are rows of a space each
        std::string lines;  // check's output; "#" stands for the number of log entries
        int status;
    } rows[] = {
        {"", "ok\n", 0},
        {"PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, 'value BLOB NOT NULL', "
         "'value BLOB NOT NULL CHECK(space <> 3)') WHERE name = 'rows'",
         "file: CHECK constraint failed in rows\n", 1},
        {"UPDATE rows SET value = x'19' WHERE space = 0 AND major = 0x85006334",
         "settings ID 0x85006334 holds 1 bytes; its size is 2\n", 1},
        {"UPDATE rows SET major = 1 WHERE space = 0 AND major = 0x85005484",
         "settings ID 0x85005484 is missing\nsettings ID 0x1 is not one the device knows\n", 1},
        {"DELETE FROM rows WHERE space = 1 AND major = 6",
         "parent link job 5 -> job 6: job 6 does not exist\n"
         "child link job 5 -> job 6 (kind 192): job 6 does not exist\n",
         1},
        {"UPDATE log SET seq = -seq",
         "log: # entries numbered out of range\nlog: the newest number 18446744073709551615 is out of "
         "range\n",
         1},
    };
    for (Row &row : rows) {
        for (const char *companion : {"", "-wal", "-shm"}) fs::remove(device.string() + companion);
        ASSERT_EQ(tool({"job", "create", "5", "--parent", "6"}).status, 0);
        ASSERT_EQ(tool({"job", "link", "5", "fax", "6"}).status, 0);
        ASSERT_EQ(tool({"set", "smtp", "port=26"}).status, 0);
        if (auto at = row.lines.find('#'); at != std::string::npos)
            row.lines.replace(at, 1, std::to_string(tool({"--json", "log"}).json().size()));
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(device.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, row.damage, nullptr, nullptr, nullptr), SQLITE_OK) << row.damage;
        sqlite3_close(db);
        const std::string before = slurp(device);
        Outcome r = tool({"check"});
        EXPECT_EQ(r.status, row.status) << row.damage << r.err;
        EXPECT_EQ(r.out, row.lines) << row.damage;
        Outcome j = tool({"--json", "check"});
        EXPECT_EQ(j.status, row.status);
        const nlohmann::json problems = j.json()["problems"];
        std::string joined;
        for (const auto &p : problems) joined += p.get<std::string>() + "\n";
        EXPECT_EQ(joined, row.status == 0 ? "" : row.lines) << row.damage;
        EXPECT_EQ(slurp(device), before) << row.damage;
    }
}

} // namespace
