// backup_commands.cpp - export, import, diff and schema: every setting group
// at once, as one JSON document. The document logic is in
// settings_document.cpp; here are the file, the device session and output.
#include "cli/command_line.h"

#include "cli/result_codes.h"
#include "cli/usage_error.h"
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

// The library's Get and Set functions of each group.
class LibraryAccess : public SettingsAccess {
public:
    uint32_t read(const Group &g, uint32_t recipient, uint8_t *record) override {
        return g.get(recipient, record);
    }
    uint32_t write(const Group &g, uint32_t recipient, uint32_t mask, const uint8_t *record) override {
        return g.set(mask, recipient, record);
    }
};

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

// Reads and checks the whole document; prints every problem on a line of its
// own and answers false when there is any.
bool loadDocument(const std::string &path, CheckedDocument &doc) {
    std::vector<Problem> problems;
    std::optional<Json> json = parseStrict(readDocumentText(path), problems);
    if (json) doc = checkDocument(*json);
    doc.problems.insert(doc.problems.begin(), problems.begin(), problems.end());
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
    for (const auto &d : r.news.diagnostics) std::fprintf(stderr, "monitor: %s\n", d.c_str());
    std::fprintf(stderr, "entmlst: %s: reading %s: %s\n", command.c_str(), r.read.failed.c_str(),
                 codeText(r.read.code).c_str());
}

Json shown(const Change &c, const Json &v, bool show_secrets) {
    return c.field.secret && !show_secrets ? Json(kMaskedSecret) : v;
}

Json changesJson(const std::vector<Write> &writes, bool show_secrets) {
    Json all = Json::array();
    for (const Write &w : writes)
        for (const Change &c : w.changes) {
            Json j = {{"group", w.group->name}};
            if (w.group->per_recipient) j["recipient"] = w.recipient;
            j["field"] = c.field.name;
            j["device"] = shown(c, c.device, show_secrets);
            j["document"] = shown(c, c.document, show_secrets);
            all.push_back(std::move(j));
        }
    return all;
}

// One heading per record, then "  field: device value -> document value".
void printChanges(const std::vector<Write> &writes, bool show_secrets) {
    for (const Write &w : writes) {
        std::printf("%s\n", instanceName(*w.group, w.recipient).c_str());
        for (const Change &c : w.changes)
            std::printf("  %s: %s -> %s\n", c.field.name.c_str(),
                        shown(c, c.device, show_secrets).dump().c_str(),
                        shown(c, c.document, show_secrets).dump().c_str());
    }
}

// Writes next to the target and renames, so that a failed export leaves no
// half a file; a file that holds passwords is readable by its owner only.
void writeFileWhole(const std::string &path, const std::string &text, bool private_file) {
    std::string tmp = path + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) throw UsageError(path + ": " + std::strerror(errno));
    int err = fchmod(fd, private_file ? 0600 : 0644) == 0 ? 0 : errno;
    for (std::size_t done = 0; err == 0 && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else
            err = n < 0 ? errno : EIO;
    }
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && std::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err == 0) return;
    ::unlink(tmp.c_str());
    throw UsageError(path + ": " + std::strerror(err));
}

struct ExportArgs {
    std::string output;
    bool show_secrets = false;
};

int runExport(const Options &o, const ExportArgs &a) {
    DeviceSession dev(o.device);
    Reading r = readAll(dev, o, true);
    dev.commit();
    if (r.read.code) {
        reportReadFailure("export", r);
        return 1;
    }
    std::string text = exportDocument(r.read.instances, a.show_secrets).dump(2) + "\n";
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
};

int runDiff(const Options &o, const DocumentArgs &a) {
    CheckedDocument doc;
    if (!loadDocument(a.file, doc)) return kExitUsage;
    DeviceSession dev(o.device);
    Reading r = readAll(dev, o, false);
    dev.commit();
    if (r.read.code) {
        reportReadFailure("diff", r);
        return kExitUsage;
    }
    std::vector<Write> writes = planWrites(r.read.instances, doc.values);
    if (o.json)
        std::printf("%s\n", Json{{"differences", changesJson(writes, a.show_secrets)}}.dump(2).c_str());
    else
        printChanges(writes, a.show_secrets);
    return writes.empty() ? 0 : 1;
}

int runImport(const Options &o, const DocumentArgs &a) {
    CheckedDocument doc;
    if (!loadDocument(a.file, doc)) return kExitUsage;
    DeviceSession dev(o.device);
    LibraryAccess lib;
    dev.begin(o.faults);
    DeviceRead before;
    dev.reading([&] { before = readDevice(lib, false); });
    std::vector<Write> writes = planWrites(before.instances, doc.values);
    Applied done;
    if (before.code) {
        done.code = before.code;
        done.failed = "reading " + before.failed;
        writes.clear();
    } else if (!a.dry_run) {
        done = applyWrites(lib, writes);
    }
    News news = dev.finish();
    dev.commit();

    Json body = Json::object();
    if (o.json)
        body["changes"] = changesJson(writes, a.show_secrets);
    else
        printChanges(writes, a.show_secrets);
    if (a.dry_run && !before.code) {
        body["dry_run"] = "nothing written";
    } else {
        body["written"] = done.written;
        if (!done.failed.empty()) {
            body["failed"] = done.failed;
            if (!before.code) body["stored_before_the_failure"] = done.failed_but_stored;
            body["not_written"] = done.not_written;
        }
    }
    return report(o, body, news, codeText(done.code), done.code);
}

} // namespace

void registerBackupCommands(CLI::App &app, Chosen &chosen) {
    const std::string show = std::string("print passwords instead of ") + kMaskedSecret;
    addCommand<ExportArgs>(
        app, chosen, "export", "write every setting group to one JSON document",
        [show](CLI::App &cmd, ExportArgs &a) {
            cmd.add_option("-o,--output", a.output, "file to write (default: standard output)");
            cmd.add_flag("--show-secrets", a.show_secrets, show + " (the file then holds them)");
        },
        runExport);
    addCommand<DocumentArgs>(
        app, chosen, "import", "check a settings document whole, then write the fields that differ",
        [show](CLI::App &cmd, DocumentArgs &a) {
            cmd.add_option("file", a.file, "settings document (- for standard input)")->required();
            cmd.add_flag("--dry-run", a.dry_run, "print what would change, write nothing");
            cmd.add_flag("--show-secrets", a.show_secrets, show);
        },
        runImport);
    addCommand<DocumentArgs>(
        app, chosen, "diff", "fields where the device and a settings document differ (exit 1 if any)",
        [show](CLI::App &cmd, DocumentArgs &a) {
            cmd.add_option("file", a.file, "settings document (- for standard input)")->required();
            cmd.add_flag("--show-secrets", a.show_secrets, show);
        },
        runDiff);
    addCommand<NoArgs>(
        app, chosen, "schema", "print the JSON Schema (draft 2020-12) of the settings document",
        [](CLI::App &, NoArgs &) {},
        [](const Options &, const NoArgs &) {
            std::printf("%s\n", settingsSchema().dump(2).c_str());
            return 0;
        });
}

} // namespace entmlst
