// backup_commands.cpp - export, import, diff and schema: every setting group
// at once, as one JSON document. The document logic is in
// settings_document.cpp; here are the file, the device session and output.
#include "cli/command_line.h"

#include "base/errors.h"
#include "cli/output_file.h"
#include "cli/result_codes.h"
#include "commands/settings_import.h"
#include "document/settings_document.h"
#include "document/settings_schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace entmlst {
namespace {

namespace fs = std::filesystem;

// A problem line never spans lines, whatever the document's keys hold.
std::string oneLine(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The file's text ("-": standard input); refuses what cannot be a document.
std::string readDocumentText(const std::string &path) {
    std::ifstream file;
    std::istream *in = &std::cin;
    if (path != "-") {
        std::error_code ec;
        if (fs::is_directory(path, ec)) throw UsageError(path + ": is a directory");
        file.open(path, std::ios::binary);
        if (!file) throw UsageError(path + ": " + std::strerror(errno));
        in = &file;
    }
    std::string text(kMaxDocumentBytes + 1, '\0');
    in->read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in->gcount()));
    if (in->bad()) throw UsageError(path + ": cannot be read");
    if (text.size() > kMaxDocumentBytes)
        throw UsageError(path + ": larger than " + std::to_string(kMaxDocumentBytes >> 20) +
                         " MiB, too large for a settings document");
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) throw UsageError(path + ": empty file");
    return text;
}

#if !ENTMLST_SIMULATED
// Jobs and the control API are the simulated device's.
constexpr const char *kNoSimulatedJobs = "not available on the device build";
#endif

// Reads and checks the whole document; prints every problem on a line of its
// own and answers false when there is any.
bool loadDocument(const std::string &path, CheckedDocument &doc, std::vector<SetupJob> &jobs) {
    std::vector<Problem> problems;
    std::optional<Json> json = parseStrict(readDocumentText(path), problems);
    if (json) doc = checkDocument(*json);
    doc.problems.insert(doc.problems.begin(), problems.begin(), problems.end());
    if (doc.jobs) {
#if ENTMLST_SIMULATED
        jobs = checkJobs(*doc.jobs, doc.problems);
#else
        (void)jobs;
        doc.problems.push_back({std::string("/") + kJobsKey, kNoSimulatedJobs});
#endif
    }
    for (const Problem &p : doc.problems)
        std::fprintf(stderr, "entmlst: %s\n",
                     oneLine(path + ": " + (p.pointer.empty() ? "" : p.pointer + ": ") + p.message).c_str());
    return doc.problems.empty();
}

// Every group's records, read under the command's faults.
struct Reading {
    DeviceRead read;
    News news;
};
Reading readAll(DeviceSession &dev, const Options &o, bool with_read_only) {
    LibraryAccess lib;
    Reading r;
    dev.reading([&] {
        dev.begin(o.faults);
        r.read = readDevice(lib, with_read_only);
        r.news = dev.finish();
    });
    return r;
}

// A failed read of a command whose standard output is a document or a diff:
// reported on standard error.
void reportReadFailure(const std::string &command, const Reading &r) {
    if (std::string why = storageFailure(); !why.empty()) throw DeviceFileError(why);
    for (const auto &d : r.news.diagnostics) std::fprintf(stderr, "monitor: %s\n", d.c_str());
    std::fprintf(stderr, "entmlst: %s: reading %s: %s\n", command.c_str(), r.read.failed.c_str(),
                 codeText(r.read.code).c_str());
}

Json changesJson(const std::vector<Write> &writes, bool show_secrets) {
    Json all = Json::array();
    for (const Write &w : writes)
        for (const Change &c : w.changes) {
            Json j = {{"group", w.group->name}};
            if (w.group->per_recipient) j["recipient"] = w.recipient;
            j["field"] = c.field.name;
            if (c.field.secret && !show_secrets) {
                j["secret"] = true;
            } else {
                j["device"] = c.device;
                j["document"] = c.document;
            }
            all.push_back(std::move(j));
        }
    return all;
}

// One heading per record, then "  field: device value -> document value".
void printChanges(const std::vector<Write> &writes, bool show_secrets) {
    for (const Write &w : writes) {
        if (w.changes.empty()) continue;
        std::printf("%s\n", instanceName(*w.group, w.recipient).c_str());
        for (const Change &c : w.changes)
            if (c.field.secret && !show_secrets)
                std::printf("  %s: differs (secret, not shown)\n", c.field.name.c_str());
            else
                std::printf("  %s: %s -> %s\n", c.field.name.c_str(), c.device.dump().c_str(),
                            c.document.dump().c_str());
    }
}

// Lists by JSON pointer: values that were never compared or never imported.
void printPointers(const char *what, const std::vector<std::string> &pointers) {
    if (pointers.empty()) return;
    std::printf("%s:", what);
    for (const std::string &p : pointers) std::printf(" %s", p.c_str());
    std::printf("\n");
}

// Without --show-secrets a diff compares no secret: a masked one stands for
// any value, and a clear one is not to be hinted at.
std::vector<std::string> secretsNotCompared(const CheckedDocument &doc, std::vector<Write> &writes,
                                            bool show_secrets) {
    std::vector<std::string> out = doc.kept_secrets;
    if (show_secrets) return out;
    for (const Wanted &v : doc.values)
        if (v.field.secret) out.push_back(v.pointer);
    for (Write &w : writes) std::erase_if(w.changes, [](const Change &c) { return c.field.secret; });
    std::erase_if(writes, [](const Write &w) { return w.changes.empty(); });
    return out;
}

struct ExportArgs {
    std::string output;
    bool show_secrets = false;
    bool jobs = false;
};

int runExport(const Options &o, const ExportArgs &a) {
#if !ENTMLST_SIMULATED
    if (a.jobs) throw UsageError(std::string("--jobs: ") + kNoSimulatedJobs);
#endif
    DeviceSession dev(o.device);
    Reading r = readAll(dev, o, true);
    if (r.read.code) {
        reportReadFailure("export", r);
        return 1;
    }
    Json doc = exportDocument(r.read.instances, a.show_secrets);
#if ENTMLST_SIMULATED
    if (a.jobs) doc[kJobsKey] = exportJobs();
#endif
    std::string text = doc.dump(2) + "\n";
    if (a.output.empty() || a.output == "-")
        std::fwrite(text.data(), 1, text.size(), stdout);
    else
        writeFileWhole(a.output, text, a.show_secrets);
    return 0;
}

struct DocumentArgs {
    std::string file;
    bool dry_run = false;
    bool show_secrets = false;
    bool setup = false;
};

int runDiff(const Options &o, const DocumentArgs &a) {
    CheckedDocument doc;
    std::vector<SetupJob> jobs; // not compared
    if (!loadDocument(a.file, doc, jobs)) return kExitUsage;
    DeviceSession dev(o.device);
    Reading r = readAll(dev, o, !doc.read_only.empty());
    if (r.read.code) {
        reportReadFailure("diff", r);
        return kExitFailed;
    }
    std::vector<Write> writes = planWrites(r.read.instances, doc.values);
    const std::vector<std::string> not_compared = secretsNotCompared(doc, writes, a.show_secrets);
    const std::vector<std::string> not_imported = notImported(r.read.instances, doc.read_only);
    if (o.json) {
        Json body = {{"differences", changesJson(writes, a.show_secrets)},
                     {"not_compared", not_compared},
                     {"not_imported", not_imported}};
        std::printf("%s\n", body.dump(2).c_str());
    } else {
        printChanges(writes, a.show_secrets);
        printPointers("not compared (secrets)", not_compared);
        printPointers("not imported (read-only, the device keeps its own)", not_imported);
    }
    // Read-only values never count as differences: they are never imported.
    return writes.empty() ? 0 : 1;
}

} // namespace

bool importDocument(const Options &o, const std::string &path, bool dry_run, LibraryAccess &lib,
                    Import &out) {
    if (!loadDocument(path, out.doc, out.jobs)) return false;
    DeviceSession dev(o.device);
    dev.begin({});
    dev.reading([&] { out.before = readDevice(lib, !out.doc.read_only.empty()); });
    dev.arm(o.faults);
    out.writes = planWrites(out.before.instances, out.doc.values);
    out.not_imported = notImported(out.before.instances, out.doc.read_only);
    if (out.before.code) {
        out.done.code = out.before.code;
        out.writes.clear();
    } else if (!dry_run) {
        out.done = applyWrites(lib, out.writes);
    }
    out.news = dev.finish();
#if ENTMLST_SIMULATED
    if (!dry_run && out.done.code == 0 && !out.jobs.empty()) out.jobs_written = applyJobs(out.jobs);
#endif
    return true;
}

namespace {

int runImport(const Options &o, const DocumentArgs &a) {
    LibraryAccess lib;
    Import in;
    if (a.setup && a.dry_run) throw UsageError("--setup writes: give it without --dry-run");
#if ENTMLST_SIMULATED
    const bool checked =
        a.setup ? importForSetup(o, a.file, lib, in) : importDocument(o, a.file, a.dry_run, lib, in);
#else
    if (a.setup) throw UsageError(std::string("--setup: ") + kNoSimulatedJobs);
    const bool checked = importDocument(o, a.file, a.dry_run, lib, in);
#endif
    if (!checked) return kExitUsage;
    Json body = Json::object();
    if (o.json)
        body["changes"] = changesJson(in.writes, a.show_secrets);
    else
        printChanges(in.writes, a.show_secrets);
    if (!in.doc.kept_secrets.empty()) body["kept"] = in.doc.kept_secrets; // masked: the device keeps its own
    if (!in.not_imported.empty()) body["not_imported"] = in.not_imported;
    if (in.before.code) {
        body["read_failed"] = in.before.failed;
    } else if (a.dry_run) {
        body["dry_run"] = "nothing written";
    } else {
        std::optional<StoreLog> log;
        if (in.news.seen) log = StoreLog{in.news.stored_settings, in.news.failed_setting};
        Json records = Json::object();
        for (const FieldReport &r : reportWrites(lib, in.doc.values, in.writes, in.done, log))
            records[r.record] = {{"written", r.written},
                                 {"failed", r.failed},
                                 {"not_written", r.not_written},
                                 {"unchanged", r.unchanged}};
        body["records"] = records;
        if (!in.jobs.empty()) body["jobs_written"] = in.jobs_written;
    }
    return report(o, body, in.news, codeText(in.done.code), in.done.code);
}

const std::string kShowSecrets = std::string("print passwords instead of ") + kMaskedSecret;

// The file, --dry-run where the command writes, and --show-secrets.
void bindDocumentArgs(CLI::App &cmd, DocumentArgs &a, bool writes) {
    cmd.add_option("file", a.file, "settings document (- for standard input)")->required()->type_name("FILE");
    if (writes) cmd.add_flag("--dry-run", a.dry_run, "print what would change, write nothing");
    cmd.add_flag("--show-secrets", a.show_secrets, kShowSecrets);
}

} // namespace

void bindExport(CLI::App &cmd, Chosen &chosen) {
    define<ExportArgs>(
        cmd, chosen,
        [](CLI::App &c, ExportArgs &a) {
            c.add_option("-o,--output", a.output,
                         "file to write through a temporary file, a regular file or none yet (default and -: "
                         "standard output)")
                ->type_name("FILE");
            c.add_flag("--show-secrets", a.show_secrets, kShowSecrets + " (the file then holds them)");
            c.add_flag("--jobs", a.jobs, "add the simulated device's jobs and links (a \"jobs\" array)");
        },
        runExport);
}

void bindImport(CLI::App &cmd, Chosen &chosen) {
    define<DocumentArgs>(
        cmd, chosen,
        [](CLI::App &c, DocumentArgs &a) {
            bindDocumentArgs(c, a, true);
            c.add_flag("--setup", a.setup,
                       "a test's set-up: checked as import checks it, then written out of band, through the "
                       "simulator's control API (not logged, no faults, no notifications)");
        },
        runImport);
}

void bindDiff(CLI::App &cmd, Chosen &chosen) {
    define<DocumentArgs>(
        cmd, chosen, [](CLI::App &c, DocumentArgs &a) { bindDocumentArgs(c, a, false); }, runDiff);
}

void bindSchema(CLI::App &cmd, Chosen &chosen) {
    define<NoArgs>(
        cmd, chosen, [](CLI::App &, NoArgs &) {},
        [](const Options &, const NoArgs &) {
            std::printf("%s\n", settingsSchema().dump(2).c_str());
            return 0;
        });
}

} // namespace entmlst
