// The entmlst command as a user drives it: every case runs the real program
// in its own process against a device file of its own.
#include "support/tool_process.h"

#include "device_services.h"
#include "devsim.h"

#include <sqlite3.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace {

using namespace tool_support;

// ---- the command line's contract, one row a case --------------------------
// Exit status, the whole of standard error, a pattern standard output
// contains, and whether the device file keeps every byte. "@/" in an
// argument stands for the test's folder. Rows run in order on one device;
// a row's command lines, split at " ; ", each meet its expectations.
struct CliCase {
    std::string args; // words split at spaces; '' quotes
    int status;
    const char *err; // matches the whole of standard error
    bool unchanged;
    const char *out = "";        // found in standard output
    const char *never = nullptr; // in neither output (a secret)
};

constexpr const char *kOneLine = "entmlst: [^\n]*\n"; // a failure says so in one line
constexpr const char *kQuiet = "";
constexpr const char *kAnything = "";
constexpr const char *kLostOutput = "entmlst: cannot write standard output[^\n]*\n";
constexpr const char *kBadDocument =
    "entmlst: [^\n]*/bad.json: /smtp: key given more than once\n"
    "entmlst: [^\n]*/bad.json: /smtp/port: 65536 is out of range 0\\.\\.65535\n"
    "entmlst: [^\n]*/bad.json: /smtp/protocol: -1 is out of range 0\\.\\.255\n";

// Completes the last word of the line given after it (a trailing space: an
// empty word) and prints the offers, sorted, one per line.
// Completes each line given, one line of words for each.
const std::string kComplete =
    "run -q -- bash -c '. @/complete.bash; for c; do COMP_WORDS=($c); [[ $c == *\" \" ]] && "
    "COMP_WORDS+=(\"\"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _entmlst; "
    "echo \"${COMPREPLY[*]}\"; done' complete ";

const CliCase kCli[] = {
    // A Set that stops part-way: what was written, where it stopped, what it never tried.
    {"--fail meSTCSetStatus#2=0x1234 set smtp port=26 server=y.example ssl=1", 1, kOneLine, false,
     "\nwritten: +port\nfailed: +server\nnot written: +ssl\nunchanged: +\\(none\\)\n"},
    // --fail counts the library's calls alone, never set's read before writing.
    {"--fail meSTCGetStatus=0x1 set smtp port=27", 1, kOneLine, false, "failed: +port\n"},
    {"log -n 4", 0, kQuiet, true, "call meSTCGetStatus\\([^\n]* smtp\\.port,[^\n]*\\) = 0x1\n"},
    {"--json set smtp ssl=1 port=26 server=y.example", 0, kQuiet, false,
     R"("written": \[\s*"server",\s*"ssl"\s*\],\s*"failed": \[\],\s*"not_written": \[\],)"
     R"(\s*"unchanged": \[\s*"port"\s*\])"},
    // A --fail that never fired is said; the status stays the command's.
    {"--fail meSTCSetStatus=0x9 get smtp ; --fail meSTCSetStatus#2=0x1234 set smtp port=26 server=y.example",
     0, "entmlst: --fail meSTCSetStatus[#=0-9x]+ never fired in this command\n", false},
    // One grammar: a leading zero is decimal, hex: is the field's width, UTF-8 is text.
    {"set smtp port=0587 size_limit=010 server=café", 0, kQuiet, false, "written: +port server"},
    {"get smtp", 0, kQuiet, false, "port: +587\n  server: +\"café\"\n[\\s\\S]*size_limit: +10\n"},
    {"set smtp port=hex:0101", 0, kQuiet, false, "written: +port\n"},
    {"--json get smtp", 0, kQuiet, false, "\"port\": 257,"},
    {"set smtp port=hex:01 ; set smtp port=hex:-1-1", 2,
     "entmlst: port: hex: takes exactly 4 hex digits[^\n]*\n", true},
    {"set smtp port=hex:+1 ; set smtp 'port=hex: 1'", 2, kOneLine, true},
    {"set smtp signature=hex:0g", 2, "entmlst: signature: hex: takes pairs of hex digits[^\n]*\n", true},
    {"set smtp port=", 2, "entmlst: port: empty; expected a whole number 0\\.\\.65535\n", true},
    {"set smtp port=65536", 2, "entmlst: port: \"65536\" is out of range 0\\.\\.65535\n", true},
    {"set smtp port=1 port=2", 2, "entmlst: port: given twice\n", true},
    {"set smtp-event --recipient '' name=x ; job create 5 --parent '' ; log --pid ''", 2,
     "entmlst: --(recipient|parent|pid): empty[^\n]*\n", true},
    // A device name that cannot be meant is refused, from --device or ENTMLST_DEVICE; ./:name is a file.
    {"--device ' ' init ; --device :MEMORY: init ; run -q -- env ENTMLST_DEVICE=:memory ENTMLST init", 2,
     "entmlst: [^\n]*(is blank|is not a device name)[^\n]*\n", true},
    {"run -q -- sh -c 'cd @/ && ENTMLST --device ./:name init >/dev/null 2>&1 && ls :name'", 0, kQuiet, true,
     "^:name\n$"},
    {"--device '@/new\nline/d.db' get smtp", 3, "entmlst: [^\n]*/new\\\\x0aline/d.db: [^\n]*\n", true},
    {"set smtp server=\xff", 2, "entmlst: server: text is UTF-8[^\n]*\n", true},
    // A password's value is never repeated, right or wrong.
    {"set smtp password=hex:zzMySecret", 2, "entmlst: password: hex: takes pairs[^\n]*\n", true, kAnything,
     "MySecret"},
    {"set smtp password=" + std::string(64, 'S'), 2, "entmlst: password: too long[^\n]*\n", true, kAnything,
     "SSSS"},
    {"import @/secret.json", 2, "[^\n]*/smtp/password: hex: takes pairs[^\n]*\n", true, kAnything,
     "MySecret"},
    // Secrets: masked unless asked for, in an export too; asked for, the file is its owner's only.
    {"set smtp password=s3cret", 0, kQuiet, false, kAnything, "s3cret"},
    {"get smtp", 0, kQuiet, true, "password: +\"\\*{8}\"\n", "s3cret"},
    {"get smtp --show-secrets", 0, kQuiet, true, "password: +\"s3cret\"\n"},
    {"export", 0, kQuiet, true, "\n  \"version\": 1,\n[\\s\\S]*\n  \"read-only\": \\{\n    \"counters\"",
     "s3cret"},
    {"export --show-secrets -o @/clear-export.json", 0, kQuiet, true},
    // Masked secrets are kept and said to be; secrets are not compared unasked.
    {"import @/masked.json", 0, kQuiet, false, "kept: +/smtp/password\n"},
    {"diff @/clear.json", 0, kQuiet, false, "^not compared \\(secrets\\): /smtp/password\n$",
     "\"********\" ->"},
    {"diff --show-secrets @/clear.json", 1, kQuiet, false, "password: \"s3cret\" -> \"0ther\"\n"},
    // Read-only values: never written, named when they differ, no effect on the status.
    {"diff @/foreign.json", 0, kQuiet, false,
     "^not imported [^\n]*: /read-only/counters/count1 /read-only/subject/serial\n$"},
    {"import @/foreign.json", 0, kQuiet, false,
     "not imported: +/read-only/counters/count1 /read-only/subject/serial\n"},
    {"get counters", 0, kQuiet, false, "count1: +12034\n"},
    // A diff: the records that differ, field by field; a failed read ends it with no output.
    {"diff @/three.json", 1, kQuiet, true,
     "^pop3\n  auth: 0 -> 1\nsmtp\n  port: 257 -> 27\n  server: \"[^\"]*\" -> \"b.example\"\nmaintenance\n"
     "  week: [0-9]+ -> 3\n$"},
    {"--fail meSTCGetStatus#14=7 diff @/three.json", 1,
     "monitor: [^\n]*\nentmlst: diff: reading pop3user#1: ENTMLST_ERR_STATUS_GET \\(0x70020005\\)\n", true,
     "^$"},
    // An import that stops part-way says it field by field, per record.
    {"--fail meSTCSetStatus#3=0x1234 import @/three.json", 1, kOneLine, false,
     "pop3:\n +written: +auth\n +failed: +\\(none\\)\n +not written: +\\(none\\)\n +unchanged: +\\(none\\)\n"
     "[\\s\\S]*smtp:\n +written: +port\n +failed: +server\n +not written: +\\(none\\)\n"
     "[\\s\\S]*maintenance:\n +written: +\\(none\\)\n +failed: +\\(none\\)\n +not written: +week\n"},
    {"import @/three.json", 0, kQuiet, false,
     "pop3:\n +written: +\\(none\\)\n[\\s\\S]*unchanged: +auth\n[\\s\\S]*\nnotified: "
     "mscMLRPTChgMaintenanceReportTime\\(\\)\nresult: ENTMLST_OK \\(0x00000000\\)\n$"},
    // Imported again: no Set call at all, so even a work buffer that cannot be had changes nothing.
    {"--fail emwOSWOrgAllocMemPart=1 import @/three.json", 0,
     "entmlst: --fail emwOSWOrgAllocMemPart=1 never fired in this command\n", true,
     "smtp:\n +written: +\\(none\\)\n"},
    {"diff @/three.json", 0, kQuiet, true, "^$"},
    // A dry run writes nothing; an import writes what the document names.
    {"import --dry-run @/part.json", 0, kQuiet, true,
     "^pop3user#3\n  port: 110 -> 995\n  ssl: 0 -> 1\nsmtp\n  from: \"[^\"]*\" -> \"hi\"\nnot imported: "
     "/read-only/counters/count1\ndry run: +\"nothing written\"\nresult: ENTMLST_OK \\(0x00000000\\)\n$"},
    {"--json import @/part.json", 0, kQuiet, false,
     R"(^\{\s*"changes": \[\s*\{\s*"group": "pop3user",\s*"recipient": 3,\s*"field": "port",\s*"device": 110,)"
     R"(\s*"document": 995\s*\},[\s\S]*"records": \{\s*"pop3user#3": \{\s*"written": \[\s*"port",\s*"ssl"\s*\],)"
     R"([\s\S]*"smtp": \{\s*"written": \[\s*"from"\s*\],)"},
    {"--json diff @/part.json", 0, kQuiet, true,
     R"(^\{\s*"differences": \[\],\s*"not_compared": \[\],\s*"not_imported": \[\s*"/read-only/counters/count1"\s*\]\s*\}\n$)"},
    // Bad input: exit 2, nothing written; a bad document gets a line per problem.
    {"import @/bad.json ; import --dry-run @/bad.json ; diff @/bad.json", 2, kBadDocument, true, "^$"},
    {"import @/blank.json", 2, "entmlst: [^\n]*/blank.json: empty file\n", true, "^$"},
    {"import @/large.json", 2, "entmlst: [^\n]*/large.json: larger than 1 MiB[^\n]*\n", true, "^$"},
    {"import @/missing.json", 2, kOneLine, true, "^$"},
    {"set smtp nosuchfield=1 ; get nosuchgroup ; set smtp port=12x ; set smtp port=-1 ; set smtp port ; "
     "set smtp server=" +
         std::string(64, 'a') +
         " ; get smtp-event --recipient 0 ; set pop3user --user 4 apop=1 ; set counters count1=1 ; "
         "job link 1 fax 2 ; job create 1 0x12345678=1 ; --fail nosuchservice=1 set smtp port=1 ; "
         "--fail meSTCSetStatus#0=1 get smtp ; fault add nosuch=1 ; fault add meSTCGetStatus#0=1 ; "
         "fault add meSTCGetStatus=1 --probability 0 ; fault add meSTCGetStatus=1 --seed 3 ; "
         "fault add meSTCGetStatus=1 --probability '' ; fault clear x ; log --since yesterday ; "
         "log --since 2026-02-29 ; log --since 25:99 ; log --since m ; log --since 9999999999d ; "
         "log --since '' ; log --since 1.s ; log --pid x ; reset --keep ; log --since 2026-01-32 ; "
         "log --since 2026-03-32 ; log --since 2026-04-31 ; log --since 2026-05-32 ; log --since 2026-06-31 "
         "; "
         "log --since 2026-07-32 ; log --since 2026-08-32 ; log --since 2026-09-31 ; log --since 2026-10-32 "
         "; "
         "log --since 2026-11-31 ; log --since 2026-12-32",
     2, kOneLine, true},
    {"log --since 2026-13-40", 2, "entmlst: --since: \"2026-13-40\" is not a time; [^\n]*\n", true},
    {"log --since 999999999d", 2, "entmlst: --since: [^\n]* before 1970\n", true},
    {"log --since 2024-02-29T23:59:59.25Z ; log --since 00:00:00.5", 0, kQuiet, true, "call "},
    {"set smtp server=\xed\xa0\x80", 2, kOneLine, true}, // a surrogate is no character
    {"--json groups", 0, kQuiet, true,
     R"("counters": \{\s*"summary": "[^"]+",\s*"per_recipient": false,\s*"writable": false,)"},
    {"log --since '2999-01-01 00:00'", 0, kQuiet, true, "^$"},
    // Commands people mistype or ask about.
    {"frobnicate", 2, "entmlst: 'frobnicate' is not an entmlst command. See 'entmlst --help'.\n", true},
    {"gte smtp", 2, "entmlst: 'gte' is not an entmlst command. See 'entmlst --help'. Did you mean 'get'\\?\n",
     true},
    {"fault lsit", 2, "entmlst: 'lsit' is not an entmlst fault command. See 'entmlst fault --help'. .*\n",
     true},
    {"", 2, kOneLine, true},
    {"help", 0, kQuiet, true, "\n  set +change fields of a setting group\n"},
    {"help get", 0, kQuiet, true, "--recipient,--user N .*\n(.*\n)*  --json .*\n(.*\n)*  3  the device file"},
    {"fault add --help", 0, kQuiet, true, "--probability PERCENT .*\n(.*\n)*  --fail SPEC {17}the Nth"},
    {"--version ; --device @/none.db --version", 0, kQuiet, true,
     "^entmlst [0-9]+\\.[0-9]+\\.[0-9]+\nlibrary libcorvellib\\.so\\.1\ndevice schema [^\n]*\\.db\\)?\n$"},
    // The man page is too long for a pattern that spans it (std::regex recurses per character).
    {"--help-man", 0, kQuiet, true, "^\\.TH ENTMLST 1 [^\n]*\n\\.SH NAME\n"},
    {"--help-man", 0, kQuiet, true, "\n\\.SS \"job create\"\n"},
    {"--help-man", 0, kQuiet, true, "\n\\.SH EXIT STATUS\n\\.TP\n\\.B 0\n", "Global options"}, // said once
    {"--help-man", 0, kQuiet, true,
     "\n\\.SH VALUES\n[^]*\n\\.SH FAULT SPECIFICATIONS\n[^]*\n\\.B ENTMLST_TRUST_OWNER\n"},
    // Failures: the library's answer, the output, the device file.
    {"--fail meSTCSetStatus=0x77 set smtp port=9", 1,
     "entmlst: the library answered ENTMLST_ERR_STATUS_SET \\(0x70020006\\)\n", false, "ret=0x77"},
    {"--fail meSTCGetStatus=7 export -o @/x.json", 1,
     "monitor: [^\n]*\nentmlst: export: reading pop3: ENTMLST_ERR_STATUS_GET \\(0x70020005\\)\n", true, "^$"},
    {"run -q -- sh -c 'ENTMLST get smtp > /dev/full' ; run -q -- sh -c 'ENTMLST export > /dev/full' ; "
     "run -q -- sh -c 'ENTMLST schema > /dev/full'",
     4, kLostOutput, true},
    {"--device @/typo.db log", 3,
     "entmlst: .*/typo.db: no device file there \\(entmlst init creates one\\)\n", true},
    {"--device @/typo.db fault list", 3, kOneLine, true},
    {"--device @/missing/device.db get smtp", 3, "entmlst: [^\n]*/missing/device.db: [^\n]*\n", true},
    // -o writes a regular file, or through the user's own link; nothing else.
    {"export -o @/fifo", 2, "entmlst: .*/fifo: not a regular file; .*\n", false},
    {"export -o @/folder", 2, kOneLine, false},
    {"export -o @/shared/link", 2, "entmlst: .*/shared/link: a symlink in a folder others can write to; .*\n",
     false},
    {"export -o @/mine/link", 0, kQuiet, false},
    {"export -o -", 0, kQuiet, false, "^\\{\n  \"format\": \"corvellib-settings\""},
    // The device is said: created once, memory that keeps nothing, the device reset.
    {"--device @/new.db get smtp", 0, "entmlst: created .*/new.db with factory settings\n", false},
    {"--device @/new.db get smtp", 0, kQuiet, false, "^[^{]*$"},
    {"--device :memory: set smtp port=1", 0,
     "entmlst: warning: the device is :memory:, nothing this command changes persists\n", true},
    {"--device :memory: --json status", 0, kQuiet, true, "\"file_size\": 0,"},
    {"status", 0, kQuiet, true,
     "^device: +\"/.*/device.db\"\ncreated: +\"[0-9-]+ [0-9:]+ UTC\"\nschema version: +[1-9]"},
    {"--json status", 0, kQuiet, true, "\"log_entries\": [1-9][0-9]*,\n"},
    // The log's filters, together; --until waits only for entries to come (or after --after).
    {"log --kind notify -n 2", 0, kQuiet, true, "^([^\n]* entmlst notify [^\n]*\n){2}$"},
    {"log --service meSTCSetStatus --kind call -n 1", 0, kQuiet, true,
     "^[^\n]* entmlst call meSTCSetStatus\\(0x7302,0x4050300,0x[0-9a-f]+ [a-z0-9.|-]+,[^\n]*\n$"},
    {"--json log --service meSTCGetStatus --program entmlst -n 1", 0, kQuiet, true,
     R"(^\[\s*\{[^{]*"program": "entmlst",[^{]*"names": \{\s*"1": \[\s*"[a-z][^"]*"[^{]*$)"},
    {"log --after 99999999 ; log --since 1.5s --pid 1 ; log --program nosuch", 0, kQuiet, true, "^$"},
    {"log -f --until notify --timeout 1", 1, "entmlst: no entry matched [^\n]*\n", true, "^$"},
    {"log -f --after 0 --kind notify --until '\\(0\\) = 0x0$' --timeout 60", 0, kQuiet, true,
     "^([^\n]* notify [^\n]*\n)*[^\n]* notify [A-Za-z]+\\(0\\) = 0x0\n$"},
    {"log --service nosuch", 2,
     "entmlst: --service: \"nosuch\" is not a service; one of meSTCGetStatus, [^\n]*, emwGENMonSendMessage\n",
     true},
    {"log --kind calls ; log --follow --until x --timeout soon ; log -n 0 ; log --after -1 ; log --program "
     "''",
     2, kOneLine, true},
    {"log -f --until (", 2, "entmlst: --until: \"\\(\" is not an extended [^\n]*\n", true},
    {"log --until x", 2, "entmlst: --until requires --follow[^\n]*\n", true},
    {"log --follow --timeout 1", 2, "entmlst: --timeout requires --until[^\n]*\n", true},
    // An armed fault: the library's diagnostics and code; a call that reached the device is in its log.
    {"--fail meSTCGetStatus=7 get subject", 1, kOneLine, true,
     "ret=0x7\nresult: ENTMLST_ERR_STATUS_GET \\(0x70020005\\)\n"},
    {"--fail mectSetDstProduct=5 --fail mscMLPRNChgSchedule=6 init", 1, kOneLine, false,
     "mectSetDstProduct\\(\\) code=0x5\n[^\n]*mscMLPRNChgSchedule\\(0,0\\) code=0x6\n"
     "result: ENTMLST_ERR_SCHEDULE \\(0x70020008\\)\n"},
    {"--fail mectIdSync=0x99 sync", 1, kOneLine, false,
     "code=0x99\nresult: ENTMLST_ERR_ID_SYNC \\(0x7002000f\\)\n"},
    {"log", 0, kQuiet, true, "code=0x99"},
    {"--fail emwOSWOrgAllocMemPart=1 set smtp auth=1", 1, kOneLine, false,
     "result: ENTMLST_ERR_NOMEM \\(0x70020002\\)\n"},
    {"reset", 0, kQuiet, false, "device: +\".*/device.db\"\n"},
    // A fault aimed by its text or by options, the same keys; a look from outside never counts.
    {"fault add meSTCGetStatus#3=0x55 --match smtp.port --times 2 --program app", 0, kQuiet, false,
     "^armed: [0-9]+  meSTCGetStatus#3=0x55,times=2,match=0x85006334,program=app  hits 0, match "
     "smtp\\.port\n$"},
    {"get smtp", 0, kQuiet, false},
    {"--json fault list", 0, kQuiet, true, R"("times": 2,\s*"match": 2231395124,[\s\S]*"calls_left": 3)"},
    {"fault add meSTCGetStatus=1,times=2 --times 3", 2,
     "entmlst: fault add: --times and times in the fault's text: give it once\n", true},
    {"fault add meSTCGetStatus=1 --match smtp.nosuch ; fault add meSVCGetCurrent=1,match=smtp.port ; "
     "fault add meSTCGetStatus=1,match=nosuch",
     2, "entmlst: fault add [^\n]*,match=(smtp\\.)?(nosuch|port): match=(smtp\\.)?(nosuch|port): [^\n]*\n",
     true},
    {"--fail meSTCGetStatus=1,pid=x get smtp", 2, "entmlst: --fail [^\n]*: pid=x: [^\n]*\n", true},
    {"fault clear 999999", 1, "entmlst: fault clear: no fault 999999 [^\n]*\n", false},
    {"fault clear", 0, kQuiet, false, "^cleared: 1\n$"},
    // Faults kept in the file fire in the next process that makes the call, never in a look from
    // outside; spent, they stay listed with their hits; the log shows each firing.
    {"fault add meSTCGetStatus#2=0x55 ; fault add meSVCSetCurrent=0x66 --write-first ; export ; status ; "
     "check ; log",
     0, kQuiet, false},
    {"set smtp port=26 server=x", 1, kOneLine, false, "result: ENTMLST_ERR_STATUS_GET \\(0x70020005\\)\n"},
    {"job create 8", 0, kQuiet, false},
    {"job attach 8 attach_mode=1 attach_format=1 resolution=1", 1, kOneLine, false, "ret=0x66\n"},
    {"--json fault list", 0, kQuiet, true,
     R"(^\[\s*\{[^}]*"fault": "meSTCGetStatus#2=0x55",[^}]*"hits": 1,\s*"spent": true,[^}]*\},)"
     R"(\s*\{[^}]*"write_first": true,[^}]*"hits": 1,\s*"spent": true,[^}]*\}\s*\]\n$)"},
    {"log --kind fault ; log --kind armed ; log --kind cleared", 0, kQuiet, true,
     "^([^\n]* entmlst (fault [A-Za-z]+ answers|armed [0-9]+|cleared) [^\n]*\n)+$"},
    // Jobs for tests: listed, shown whole, deleted; a read of a job the device
    // does not have is the device's answer (or the injected one).
    {"job create 5 --parent 100 0x00317800=to@corp.example ; job set 5 fax.status=hex:02 0x00617800=x", 0,
     kQuiet, false},
    {"job list", 0, kQuiet, true, "^5\n8\n100\n$"},
    {"--json job list", 0, kQuiet, true, "^\\[\\s*5,\\s*8,\\s*100\\s*\\]\n$"},
    {"--json job show 5", 0, kQuiet, true,
     R"("parent": 100,\s*"values": \[\s*\{\s*"name": "ip.address",\s*"id": "0x00317800",\s*)"
     R"("value": "to@corp.example"\s*\},[^\]]*"current-send.address"[^\]]*"fax.status",[^\]]*"value": 2)"},
    // Job values by name or ID, each once, in set's grammar; a refusal leaves the device alone.
    {"job create 100 0x00182000=1 0x00182000=2 ; job set 5 ip.kind=1 0x0036000b=2", 2,
     "entmlst: ip\\.(user_info1|kind): given twice\n", true},
    {"job set 5 ip.nope=1 ; job create 9 nope=1", 2,
     "entmlst: (ip\\.)?nope: no job value of that name[^\n]*\n", true},
    {"job set 5 ip.kind=hex:0102 ; job set 5 ip.kind=256 ; job set 7 ip.kind=1", 2,
     "entmlst: (ip\\.kind: |no job 7)[^\n]*\n", true},
    {"job show 7", 1, "entmlst: no job 7 on the device\n", true},
    {"job link 5 fax 7 ; job attach 7 attach_mode=1 attach_format=1 resolution=1", 2,
     "entmlst: no job 7 on the device \\(create it with: [^\n]*\n", true},
    {"job ip 77", 1, "entmlst: the library answered ENTMLST_ERR_JOB_GET \\(0x70020003\\)\n", true,
     "ret=0xe002\n"},
    {"--fail meSVCGetCurrent=0x77 job ip 77", 1, kOneLine, true, "ret=0x77\n"},
    {"job delete 5", 0, kQuiet, false, "deleted: +5\n"},
    {"job delete 5", 1, "entmlst: no job 5 on the device\n", true},
    {"job list", 0, kQuiet, true, "^8\n100\n$"},
    // Jobs and links read back through the job functions; a link service answering 1 for a
    // known kind is that service's code, not the unknown-kind answer.
    {"job create 101 0x00182000=7 ; job create 5 --parent 101 0x00317800=to@corp.example 0x0036000b=3 ; "
     "job create 6 '0x00716800=fax one' 0x00860004=2 ; job link 5 fax 6 ; "
     "job attach 5 attach_mode=1 attach_format=2 resolution=3",
     0, kQuiet, false},
    {"job ip 5", 0, kQuiet, true,
     "address: +\"to@corp.example\"\n[\\s\\S]*kind: +3\n  attach_mode: +1\n  attach_format: +2\n"
     "[\\s\\S]*parent_job_id: +101\n  user_info1: +7\n"},
    {"job print-end 5 ; job current-send 5 ; job send-result 5 mail", 0, kQuiet, true,
     "\nresult: ENTMLST_OK \\(0x00000000\\)\n$"},
    {"job send-result 5 fax", 0, kQuiet, true,
     "kind: +\"fax\"\ncount: +1\nentries:\n  - name: fax one, status: 2\n"},
    {"job send-result 5 0x55", 1, kOneLine, true, "result: ENTMLST_SENDRESULT_BAD_KIND \\(0x00000001\\)\n"},
    {"--fail mectGetChildLink=1 job send-result 5 fax", 1, kOneLine, true, "result: 0x00000001\n"},
    // Links are listed in the order they were made; deleting a linked job drops its link.
    {"job create 7 ; job link 5 mail 7 ; job delete 6", 0, kQuiet, false},
    {"--json job show 5", 0, kQuiet, true, R"("children": \[\s*\{\s*"kind": "mail",\s*"job": 7\s*\}\s*\])"},
    {"job create 6 ; job link 5 fax 6", 0, kQuiet, false},
    {"--json job show 5", 0, kQuiet, true,
     R"(\{\s*"kind": "mail",\s*"job": 7\s*\},\s*\{\s*"kind": "fax",\s*"job": 6\s*\})"},
    // reset puts back factory settings, clears faults and the log, and the jobs unless kept.
    {"fault add meSTCGetStatus#5=1 ; reset --keep-jobs", 0, kQuiet, false},
    {"log", 0, kQuiet, true, "^[^\n]*reset, keeping jobs\n$"},
    {"fault list", 0, kQuiet, true, "^$"},
    {"get smtp", 0, kQuiet, false, "port: +25\n"},
    {"job ip 5", 0, kQuiet, true, "address: +\"to@corp.example\"\n"},
    // set reads the group from outside: a fault aimed at another field stays armed, and the log holds
    // only the Set's own read of the field given.
    {"reset ; fault add meSTCGetStatus=0x55,match=smtp.server ; set smtp port=26", 0, kQuiet, false},
    {"fault list", 0, kQuiet, true, "hits 0"},
    {"log --service meSTCGetStatus", 0, kQuiet, true,
     "^[^\n]* armed [^\n]*\n[^\n]* call meSTCGetStatus\\([^\n]* smtp\\.port,[^\n]*\n$"},
    {"job list", 0, kQuiet, true, "^$"},
    // Jobs in a settings document: checked whole (a line a problem), then made or updated once.
    {"import @/badjobs.json ; import --setup @/badjobs.json ; job send-result 5 number", 2,
     "entmlst: [^\n]*/jobs/0/values/ip\\.adress: no job value[^\n]*\n"
     "entmlst: [^\n]*/jobs/0/values/ip\\.kind: \"256\" is out[^\n]*\n"
     "entmlst: [^\n]*/jobs/0/links/0: link kind faks: expected[^\n]*\n"
     "entmlst: [^\n]*/jobs/1/id: expected a job ID[^\n]*\n|"
     "entmlst: link kind number: expected a number \\(e\\.g\\. 0x100\\), or one of fax, mail, 0100, 0200, "
     "fax-image\n",
     true, "^$"},
    {"import @/jobs.json", 0, kQuiet, false, "\njobs written: 5 7\n"},
    {"import @/jobs.json ; import --setup @/jobs.json", 0, kQuiet, true, "\njobs written: \\(none\\)\n"},
    {"job fax-path 5 ; run -q --state @/jobs.json -- ENTMLST job fax-path 5", 0, kQuiet, true,
     "path: +\"/img/7\"\n"},
    {"export --jobs", 0, kQuiet, true,
     R"("jobs": \[\s*\{\s*"id": 5,\s*"parent": 101,\s*"values": \{\s*"ip.address": "to@x",\s*"ip.kind": 3\s*\},)"
     R"(\s*"links": \[\s*\{\s*"kind": "0100",\s*"id": 6\s*\},\s*\{\s*"kind": "fax-image",\s*"id": 7)"},
    // A set-up is out of band: no log entry, no notification; it arms no fault.
    {"reset ; import --setup @/three.json", 0, kQuiet, false, "result: ENTMLST_OK"},
    {"log ; diff @/three.json", 0, kQuiet, true, "^([^\n]* reset\n)?$"},
    {"--fail meSTCSetStatus=1 import --setup @/three.json ; import --setup --dry-run @/three.json", 2,
     kOneLine, true},
    {"schema", 0, kQuiet, true, "\"jobs\": \\{\n +\"description\": \"jobs of the simulated device"},
    // run: the program on a device of its own, its status and standard output
    // its own; the configured device (typo.db: never made) is never opened.
    {"--device @/typo.db run -- true", 0,
     "entmlst run: true exited with status 0\n  calls: none\n  faults: none fired\n", true, "^$"},
    {"run -q -- sh -c 'echo out; exit 3'", 3, kQuiet, true, "^out\n$"},
    {"run -q -- sh -c 'kill -TERM $$'", 128 + SIGTERM, kQuiet, true},
    {"run -q -- @/script", 4, kQuiet, true, "^script ran\n$"}, // no #!: the shell's
    {"run -- @/nosuch", 127, "entmlst: run: .*/nosuch: not found\n", true, "^$"},
    {"run -- @/folder ; run -- @/nointerp", 126,
     "entmlst: run: .*/(folder|nointerp): cannot be run: [^\n]*\n", true, "^$"},
    {"run --keep '' -- true ; run --state '' -- true ; run --log-json '' -- true", 125,
     "entmlst: --[a-z-]+: empty[^\n]*\n", true, "^$"},
    {"run --state @/secret.json -- echo ran", 125,
     "entmlst: [^\n]*/smtp/password: hex: takes pairs[^\n]*\nentmlst: run: --state [^\n]*: not imported; "
     "nothing was run\n",
     true, "^$", "MySecret"},
    {"run --fault nosuch=1 -- echo ran", 125, "entmlst: run: --fault nosuch=1: [^\n]*\n", true, "^$"},
    // A fault that never fired is said; with --require-fired it fails a run whose program exited 0.
    {"run -q --fault meSTCSetStatus=0x77 -- true", 0,
     "entmlst: run: fault [0-9]+ meSTCSetStatus=0x77 never fired\n", true},
    {"run -q --require-fired --fault meSTCSetStatus=0x77 -- true", 1, "entmlst: run: fault [0-9]+ [^\n]*\n",
     true},
    {"run -q --require-fired --fault meSTCSetStatus=0x77 -- sh -c 'exit 3'", 3,
     "entmlst: run: fault [^\n]*\n", true},
    // The fault is armed for the program: the import's writes never meet it.
    {"run --state @/three.json --fault meSTCSetStatus=0x77 -- ENTMLST set smtp port=9", 1,
     "entmlst: the library answered ENTMLST_ERR_STATUS_SET [^\n]*\nentmlst run: [^\n]* exited with status 1\n"
     "  calls: [^\n]*\n  faults: meSTCSetStatus answers 0x77 \\(fault [0-9]+\\)\n  monitor: [^\n]*ret=0x77\n",
     true, "ret=0x77"},
    {"run --keep @/victim -- echo ran ; run --log-json @/folder -- echo ran", 125, kOneLine, true, "^$"},
    {"run -q --state @/three.json -- ENTMLST get smtp", 0, kQuiet, true, "port: +27\n"},
    {"--device @/typo.db run --keep @/kept --log-json @/log.json -- ENTMLST set smtp port=26", 0,
     "entmlst run: .*/entmlst exited with status 0\n  calls: [^\n]*meSTCSetStatus 1[^\n]*\n  faults: none "
     "fired\nentmlst run: the device is kept as .*/kept/device.db\n",
     true, "^[^{]*written: +port\n"},
    {"run -q -- cat @/log.json", 0, kQuiet, true, R"("kind": "call",\s*"service": "meSTCSetStatus")"},
    {"--device @/kept/device.db get smtp", 0, kQuiet, true, "port: +26\n"},
    {"run --keep @/kept -- echo ran", 125, "entmlst: run: --keep .*: it holds a device file already[^\n]*\n",
     true, "^$"},
    // A device the program deleted is not kept; one it made anew is, its calls counted.
    {"run --keep @/gone -- sh -c 'ENTMLST set smtp port=9; rm $ENTMLST_DEVICE'", 125,
     "entmlst run: sh exited with status 0\n  calls: [^\n]*meSTCSetStatus 1[^\n]*\n  faults: none fired\n"
     "entmlst: run: the program deleted its device; nothing is kept in [^\n]*\n",
     true, "^[^{]*written: +port\n"},
    {"run --keep @/anew -- sh -c 'rm $ENTMLST_DEVICE*; ENTMLST set smtp port=9'", 0,
     "entmlst: created [^\n]*\nentmlst run: sh exited with status 0\n  calls: [^\n]*meSTCSetStatus 1[^\n]*\n"
     "  faults: none fired\nentmlst run: the device is kept as [^\n]*\n",
     true},
    // Under any umask, a new device is 0600 and its folders (--keep's, the default device's) 0700,
    // and only the folders on its path are made.
    {"run -q -- sh -c 'for m in 277 222; do (umask $m; ENTMLST run -q --keep @/u$m/k -- true; env -u "
     "ENTMLST_DEVICE XDG_DATA_HOME=@/x$m ENTMLST init >/dev/null 2>&1; cd @/x$m; stat -c %a @/u$m @/u$m/k "
     "@/u$m/k/* . "
     "entmlst entmlst/*; ls -A); done; ls -A @/gone'",
     0, kQuiet, true, "^(700\n700\n600\n700\n700\n600\nentmlst\n){2}$"},
    // A companion file more open than the device is narrowed to the device's mode when it is opened.
    {"run -q -- sh -c 'D=$ENTMLST_DEVICE; ENTMLST log --follow >/dev/null & "
     "until [ -e $D-wal ]; do sleep 0.1; done; chmod 644 $D-wal; ENTMLST get smtp >/dev/null; "
     "stat -c %a $D-wal; kill $!'",
     0, kQuiet, true, "^600\n$"},
    {"run --help", 0, kQuiet, true,
     "\n  1  the program exited 0, but a check failed[^\n]*\n  125  run itself failed[\\s\\S]*\n  127  "
     "PROGRAM was not found\n",
     "--device"}, // run takes none of the global options
    // A call trace: the same for the same program; a new write fails the run with a diff, whatever the
    // program's status; a golden file that is not a trace is refused before the program runs.
    {"run -q --trace @/a.trace -- ENTMLST set smtp port=26 ; run -q --expect-trace @/a.trace -- ENTMLST set "
     "smtp "
     "port=26 ; run -q --expect-trace @/u.trace --update-trace -- ENTMLST set smtp port=26 ; "
     "run -q -- cmp @/a.trace @/u.trace",
     0, kQuiet, true},
    {"run -q --expect-trace @/a.trace -- ENTMLST set smtp port=26 ssl=1", 1,
     "entmlst: run: the calls differ from --expect-trace [^\n]*/a.trace:\n--- [^\n]*/a.trace\n\\+\\+\\+ this "
     "run\n"
     "@@ -1,4 \\+1,6 @@\n( [^\n]*\n){3}\\+meSTCGetStatus\\(0x4050300, smtp\\.ssl=0\\) = 0x0\n"
     "\\+meSTCSetStatus\\(0x7302, 0x4050300, smtp\\.ssl=1\\) = 0x0\n emwOSWOrgFreeMemPart\\(0x0\\) = 0x0\n",
     true},
    {"run -q --expect-trace @/a.trace -- sh -c 'exit 3'", 3,
     "entmlst: run: the calls differ[^\n]*\n[^@]*@@ -1,4 \\+0,0 @@\n(-[^\n]*\n){4}", true},
    {"run --expect-trace @/victim -- echo ran ; run --expect-trace @/nosuch -- echo ran", 125,
     "entmlst: run: --expect-trace [^\n]*: (not a call trace|cannot read it)[^\n]*\n", true, "^$"},
    {"run -q -- sh -c 'ENTMLST set smtp port=26 >/dev/null; ENTMLST log --trace -n 1 --service "
     "meSTCSetStatus'",
     0, kQuiet, true, "^meSTCSetStatus\\(0x7302, 0x4050300, smtp\\.[a-z]+=[^\n]*\\) = 0x0\n$"},
    // The completion offers what the command table and the setting groups hold.
    {"run -q -- sh -c 'ENTMLST --help-completion > @/complete.bash'", 0, kQuiet, true},
    {kComplete +
         "'entmlst se' 'entmlst fault ' 'entmlst --json get smtp-' 'entmlst set counters' 'entmlst set "
         "smtp por' 'entmlst job send-result 5 fax --ca' 'entmlst log --follow --un' 'entmlst --device "
         "@/compl' 'entmlst log --kind ar' 'entmlst fault add meSTCS' 'entmlst fault add --match "
         "smtp.por' "
         "'entmlst job create 5 ip.addr' 'entmlst log --pid ' 'entmlst serve --b'",
     0, kQuiet, true,
     "^set serve\nadd list clear\nsmtp-event "
     "smtp-schedule\n\nport=\n--capacity\n--until\n[^\n]*/complete.bash\narmed\n"
     "meSTCSetStatus=\nsmtp.port\nip.address=\n\n--bind\n$"},
    // Each group's Set reaches the file: the next process reads the value back.
    {"set pop3 domain10=last.example ; set pop3user --user 2 port=0x3e3 ; set smtp-event --recipient 3 "
     "event7=1 ; "
     "set smtp-schedule --recipient 2 week=5 ; set maintenance address=ops@corp.example ; "
     "set event-last-send --recipient 1 time=4000000000 ; set maintenance-last-send time=7 ; set smtp "
     "signature=hex:0102",
     0, kQuiet, false, "\nwritten: +[a-z0-9]+\n"},
    {"get pop3", 0, kQuiet, true, "domain10: +\"last.example\"\n"},
    {"get pop3user --user 2", 0, kQuiet, true, "port: +995\n"},
    {"get smtp-event --recipient 3", 0, kQuiet, true, "event7: +1\n"},
    {"get smtp-schedule --recipient 2", 0, kQuiet, true, "week: +5\n"},
    {"get maintenance", 0, kQuiet, true, "address: +\"ops@corp.example\"\n"},
    {"get event-last-send --recipient 1", 0, kQuiet, true, "time: +4000000000\n"},
    {"get maintenance-last-send", 0, kQuiet, true, "time: +7\n"},
    {"get smtp", 0, kQuiet, true, "signature: +\"\\\\u0001\\\\u0002\"\n"},
    {"--json get host-buffer", 0, kQuiet, true, "\"size\": 1048576[\\s\\S]*\"name\": \"ENTMLST_OK\""},
    {"get subject ; get counters ; get schedule-last-send ; sync", 0, kQuiet, false,
     "result: ENTMLST_OK \\(0x00000000\\)\n$"},
    // What -o refused is as it was; the user's own link still names the file it wrote.
    {"run -q -- sh -c 'test -p @/fifo && test -d @/folder && test -L @/mine/link && "
     "cat @/victim @/target.json && ! test -e @/typo.db && ! test -e @/missing && ! test -e @/x.json && "
     "stat -c %a @/clear-export.json && ls -A @/folder'",
     0, kQuiet, true, "^keep\\{\n  \"format\": \"corvellib-settings\"[\\s\\S]*\n600\n$"},
};

TEST_F(ToolTest, TheCommandLineKeepsItsContract) {
    ASSERT_EQ(tool({"init"}).status, 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const char *folder : {"folder", "shared", "mine"}) fs::create_directories(dir / folder);
    fs::permissions(dir / "shared", fs::perms::all | fs::perms::sticky_bit);
    std::ofstream(dir / "victim") << "keep";
    std::ofstream(dir / "script") << "echo script ran\nexit 4\n";
    std::ofstream(dir / "nointerp") << "#!/nonexistent/interp\n";
    for (const char *script : {"script", "nointerp"}) fs::permissions(dir / script, fs::perms::owner_all);
    std::ofstream(dir / "target.json") << "old";
    const std::string head = R"({"format": "corvellib-settings", "version": 1, )";
    for (const auto &[name, groups] : std::initializer_list<std::pair<const char *, const char *>>{
             {"masked.json", R"("smtp": {"password": "********", "port": 257})"},
             {"clear.json", R"("smtp": {"password": "0ther"}, "pop3": {"auth": 0})"},
             {"foreign.json", R"("smtp": {"port": 257}, "read-only":
                {"counters": {"count1": 12345}, "subject": {"serial": "OTHER-1"}})"},
             {"secret.json", R"("smtp": {"password": "hex:MySecret00"})"},
             {"three.json", R"("pop3": {"auth": 1}, "smtp": {"port": 27, "server": "b.example"},
                "maintenance": {"week": 3})"},
             {"part.json", R"("pop3user": [{}, {}, {"port": 995, "ssl": 1}], "smtp": {"from": "hex:6869"},
                "read-only": {"counters": {"count1": 12345}})"},
             {"bad.json", R"("smtp": {"port": 65536, "protocol": -1}, "smtp": {})"},
             {"jobs.json",
              R"("jobs": [{"id": 5, "parent": 101, "values": {"ip.address": "to@x", "ip.kind": 3},
                "links": [{"kind": "0100", "id": 6}, {"kind": "fax-image", "id": 7}]},
                {"id": 7, "values": {"fax.path": "/img/7"}}])"},
             {"badjobs.json", R"("jobs": [{"id": 5, "values": {"ip.adress": 1, "ip.kind": 256},
                "links": [{"kind": "faks", "id": 6}]}, {"id": -1}])"}})
        std::ofstream(dir / name) << head << groups << "}";
    std::ofstream(dir / "blank.json") << " \n\t\n";
    std::ofstream(dir / "large.json") << std::string(1 << 20, ' ') << "{}";
    fs::create_symlink(dir / "victim", dir / "shared" / "link");
    fs::create_symlink(dir / "target.json", dir / "mine" / "link");

    for (const CliCase &c : kCli) {
        std::string rest = c.args + " ; ";
        for (std::size_t at; (at = rest.find(" ; ")) != std::string::npos; rest.erase(0, at + 3)) {
            const std::string line = rest.substr(0, at);
            Args args = words(line);
            for (std::string &a : args) // ENTMLST: the program run runs
                a = std::regex_replace(std::regex_replace(a, std::regex("@/"), dir.string() + "/"),
                                       std::regex("\\bENTMLST\\b"), ENTMLST_TOOL);
            const std::string before = slurp(device);
            Outcome r = tool(args);
            EXPECT_EQ(r.status, c.status) << line << "\n" << r.out << r.err;
            EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err))) << line << ": stderr\n" << r.err;
            EXPECT_TRUE(std::regex_search(r.out, std::regex(c.out))) << line << ": stdout\n" << r.out;
            EXPECT_TRUE(!c.never || (r.out + r.err).find(c.never) == std::string::npos) << line;
            EXPECT_TRUE(!c.unchanged || slurp(device) == before) << line << ": the device file changed";
        }
    }
}

TEST_F(ToolTest, TwoProcessesSettingOneGroupAtOnceLoseNeitherWrite) {
    ASSERT_EQ(tool({"init"}).status, 0);
    for (int round = 1; round <= 8; ++round) {
        // Appended, not "s" + ...: that form trips GCC 12's -Wrestrict at -O3.
        std::string server = std::string("s").append(std::to_string(round)).append(".example");
        pid_t a = start({"set", "smtp", "port=" + std::to_string(1000 + round)}, 1);
        pid_t b = start({"set", "smtp", "server=" + server}, 2);
        EXPECT_EQ(finish(a, 1).status, 0);
        EXPECT_EQ(finish(b, 2).status, 0);
        auto smtp = tool({"--json", "get", "smtp"}).json()["fields"];
        EXPECT_EQ(smtp["port"], 1000 + round) << "round " << round;
        EXPECT_EQ(smtp["server"], server) << "round " << round;
    }
}

// A random fault: the same seed fires on the same calls again; a fault is cleared by its id.
TEST_F(ToolTest, ARandomFaultFiresAgainOnTheSameCallsForTheSameSeed) {
    auto pattern = [&](const std::string &seed) {
        EXPECT_EQ(tool({"reset"}).status, 0);
        EXPECT_EQ(tool(words("fault add meSTCGetStatus=7 --probability 30% --seed " + seed)).status, 0);
        std::string fired;
        for (int i = 0; i < 4; ++i) fired += tool({"set", "pop3", "interval=16"}).status == 0 ? '0' : '1';
        auto f = tool({"--json", "fault", "list"}).json();
        EXPECT_EQ(f[0]["hits"], std::count(fired.begin(), fired.end(), '1'));
        return std::make_pair(fired, std::to_string(f[0]["id"].get<uint64_t>()));
    };
    const std::string once = pattern("11").first;
    const auto [again, id] = pattern("11");
    EXPECT_EQ(again, once);
    EXPECT_EQ(tool({"fault", "clear", id}).out, "cleared: 1\n");
    EXPECT_EQ(tool({"fault", "list"}).out, "");
}

// The log shows every process's calls; --pid and --since narrow it. A
// follower with --until ends at the first entry it matches among those that
// come after its start, with its filters: another process's here, not
// those of a process --pid leaves out.
TEST_F(ToolTest, TheLogFollowsOtherProcesses) {
    ASSERT_EQ(tool({"init"}).status, 0);
    auto all = tool({"--json", "log"}).json();
    ASSERT_FALSE(all.empty());
    const std::string init_pid = std::to_string(all[0]["pid"].get<int>());
    EXPECT_EQ(tool({"--json", "log", "--pid", init_pid}).json().size(), all.size());
    EXPECT_EQ(tool({"--json", "log", "--since", "1h"}).json().size(), all.size());

    const std::string change = "mscMLRPTChgSMTPProtocol\\([12]\\)";
    pid_t any = start({"log", "--follow", "--kind", "notify", "--until", change, "--timeout", "60"}, 3);
    pid_t init_only = start({"log", "--follow", "--pid", init_pid, "--until", change, "--timeout", "1"}, 4);
    // Changes until both have ended: whenever a follower starts, some come after.
    for (int i = 0; i < 1200 && !(ended(any) && ended(init_only)); ++i)
        ASSERT_EQ(tool({"set", "smtp", i % 2 ? "protocol=1" : "protocol=2"}).status, 0);
    Outcome r = finish(any, 3);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::regex notified("([^\n]* entmlst notify [^\n]*\n)*[^\n]* notify " + change + " = 0x0\n");
    EXPECT_TRUE(std::regex_match(r.out, notified)) << r.out;
    EXPECT_EQ(finish(init_only, 4).status, 1);
}

// run passes an interrupt, a termination or a hang-up on to the program and
// exits as the program does; a program still running a grace period later it
// kills (137). Killed itself, run takes the program with it, and the next
// run removes the folder it left.
TEST_F(ToolTest, RunPassesSignalsOnToTheProgram) {
    setenv("TMPDIR", dir.c_str(), 1);
    prctl(PR_SET_CHILD_SUBREAPER, 1); // the program orphaned comes here, to be seen ending
    const std::pair<int, const char *> cases[] = {
        {SIGINT, "exit 7"}, {SIGTERM, "exit 7"}, {SIGHUP, "exit 7"}, {SIGTERM, ""}, {SIGKILL, ""}};
    for (auto [sig, trap] : cases) {
        // A signal ignored when run starts stays ignored (nohup, a background
        // job): run is started here with each one's default.
        const sighandler_t was = signal(sig, SIG_DFL);
        pid_t run = start({"run", "-q", "--", "sh", "-c",
                           std::string("trap '") + trap +
                               "' INT TERM HUP; echo $$; for i in $(seq 600); do sleep 0.05; done"},
                          6);
        ASSERT_TRUE(eventually(dir / "out6", "\n", run)) << sig;
        kill(run, sig);
        signal(sig, was);
        const pid_t program = std::stoi(slurp(dir / "out6"));
        EXPECT_EQ(finish(run, 6).status, sig == SIGKILL ? -1 : *trap ? 7 : 128 + SIGKILL) << sig;
        int ws = 0;
        EXPECT_TRUE(sig != SIGKILL || (waitpid(program, &ws, 0) == program && WIFSIGNALED(ws)));
    }
    EXPECT_EQ(tool({"run", "-q", "--", "true"}).status, 0);
    for (const auto &e : fs::directory_iterator(dir))
        EXPECT_NE(e.path().filename().string().substr(0, 12), "entmlst-run-");
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    unsetenv("TMPDIR");
}

// Whatever bytes a program's monitor line holds, the text log shows it on
// one line with control characters escaped, and the JSON log stays valid
// UTF-8; either way a byte outside UTF-8 reads \xHH and a backslash \\.
TEST_F(ToolTest, TheLogShowsAnyBytesOfAMonitorLine) {
    // Each length of sequence, with the first and last lead bytes of three and four.
    const std::string kUtf8 =
        "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xe0\xa0\x80\xef\xbf\xbd \xf4\x8f\xbf\xbf";
    struct Row {
        const char *what;
        std::string sent, text, json;
    } rows[] = {
        {"plain", "code=0x1234", "code=0x1234", "code=0x1234"},
        {"UTF-8", kUtf8, kUtf8, kUtf8},
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

    std::istringstream lines(tool({"log"}).out);
    const nlohmann::json entries = tool({"--json", "log"}).json();
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
        std::string lines;  // check's output ("ok" or problems: exit 1); "#": the number of log entries
    } rows[] = {
        {"", "ok\n"},
        {"PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, 'value BLOB NOT NULL', "
         "'value BLOB NOT NULL CHECK(space <> 3)') WHERE name = 'rows'",
         "file: CHECK constraint failed in rows\n"},
        {"UPDATE rows SET major = 1 WHERE space = 0 AND major = 0x85005484",
         "settings ID 0x1 does not match its checksum\n"},
        {"UPDATE rows SET minor = 2 WHERE space = 4; UPDATE rows SET space = 6 WHERE space = 3",
         "child link 2 of job 5 does not match its checksum\ndevice record 5 does not match its checksum\n"},
        {"DELETE FROM rows WHERE space = 1 AND major = 6",
         "parent link job 5 -> job 6: job 6 does not exist\n"
         "child link job 5 -> job 6 (kind 192): job 6 does not exist\n"},
        {"UPDATE log SET seq = -seq",
         "log: # entries numbered out of range\nlog: the newest number 18446744073709551615 is out of "
         "range\n"},
    };
    for (Row &row : rows) {
        for (const char *companion : {"", "-wal", "-shm"}) fs::remove(device.string() + companion);
        for (const char *made : {"job create 5 --parent 6", "job link 5 fax 6", "set smtp port=26"})
            ASSERT_EQ(tool(words(made)).status, 0) << made;
        if (auto at = row.lines.find('#'); at != std::string::npos)
            row.lines.replace(at, 1, std::to_string(tool({"--json", "log"}).json().size()));
        sql(device, row.damage);
        const std::string before = slurp(device);
        const int status = row.lines == "ok\n" ? 0 : 1;
        Outcome r = tool({"check"});
        EXPECT_EQ(r.status, status) << row.damage << r.err;
        EXPECT_EQ(r.out, row.lines) << row.damage;
        std::string joined;
        const nlohmann::json problems = tool({"--json", "check"}).json()["problems"];
        for (const auto &p : problems) joined += p.get<std::string>() + "\n";
        EXPECT_EQ(joined, status == 0 ? "" : row.lines) << row.damage;
        EXPECT_EQ(slurp(device), before) << row.damage;
    }
}

} // namespace
