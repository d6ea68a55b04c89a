// settings_document.cpp - the settings document: built from the device's
// records, checked, and compared field by field into Set calls.
#include "document/settings_document.h"

#include "base/errors.h"
#include "corvellib.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace entmlst {
namespace {

const Group *groupNamed(std::string_view name) {
    for (const Group &g : groups())
        if (name == g.name) return &g;
    return nullptr;
}

std::vector<uint32_t> recipientsOf(const Group &g) {
    if (!g.per_recipient) return {0};
    std::vector<uint32_t> all;
    for (uint32_t n = 1; n <= kRecipients; ++n) all.push_back(n);
    return all;
}

// A field's value as jsonValue shows it, from the field's bytes alone.
Json canonical(Field f, const Record &bytes) {
    f.offset = 0;
    return jsonValue(f, bytes.data());
}

std::string quoted(const std::string &s) { return Json(s).dump(); }

std::string expectation(const Field &f) {
    if (uint64_t max = maxNumber(f)) return "a whole number 0.." + std::to_string(max);
    std::string hex = "hex: and at most " + std::to_string(f.size) + " bytes as two hex digits each";
    if (f.kind != Kind::text) return hex;
    return "UTF-8 text of at most " + std::to_string(f.size - 1) + " bytes, or " + hex;
}

// The field's bytes for a document value, or why there are none: numbers as
// JSON numbers, everything else as a string in the grammar `set` reads.
bool fieldBytes(const Field &f, const Json &v, Record &bytes, std::string &why) {
    std::string text;
    if (uint64_t max = maxNumber(f)) {
        if (v.is_number_unsigned() && v.get<uint64_t>() <= max) {
            text = std::to_string(v.get<uint64_t>());
        } else if (v.is_number_float() && v.get<double>() == std::floor(v.get<double>()) &&
                   v.get<double>() >= 0 && v.get<double>() <= static_cast<double>(max)) {
            text = std::to_string(static_cast<uint64_t>(v.get<double>()));
        } else if (v.is_number_integer() || v.is_number_unsigned() ||
                   (v.is_number_float() && v.get<double>() == std::floor(v.get<double>()))) {
            why = v.dump() + " is out of range 0.." + std::to_string(max);
            return false;
        } else {
            why = "expected " + expectation(f) + ", not " + (v.is_number() ? "a fraction" : v.type_name());
            return false;
        }
    } else if (v.is_string()) {
        text = v.get<std::string>();
    } else {
        why = std::string("expected ") + expectation(f) + ", not " + v.type_name();
        return false;
    }
    try {
        bytes = parseValue(f, text);
    } catch (const UsageError &e) {
        // The field is named by the pointer already.
        why = std::string(e.what()).substr(f.name.size() + 2);
        return false;
    }
    return true;
}

class Checker {
public:
    CheckedDocument out;

    void document(const Json &doc) {
        if (!doc.is_object())
            return problem("", std::string("expected a settings object, not ") + doc.type_name());
        header(doc);
        if (!out.problems.empty()) // another format: its groups are not worth reading
            return;
        for (const auto &[key, value] : doc.items()) {
            std::string ptr = pointerToken(key);
            if (key == "format" || key == "version") continue;
            if (key == kReadOnlyKey) {
                readOnly(value, ptr);
                continue;
            }
            if (key == kJobsKey) {
                if (value.is_array())
                    out.jobs = value;
                else
                    problem(ptr, std::string("expected an array of jobs, not ") + value.type_name());
                continue;
            }
            const Group *g = groupNamed(key);
            if (!g)
                problem(ptr, "unknown group " + quoted(key) + " (groups: " + groupList(true) + ")");
            else if (!g->set)
                problem(ptr, std::string("group ") + g->name + " is read only; it goes under /" +
                                 kReadOnlyKey + " and is never imported");
            else
                group(*g, value, ptr, true);
        }
        shared();
    }

private:
    void problem(const std::string &ptr, const std::string &message) {
        out.problems.push_back({ptr, message});
    }

    static std::string groupList(bool writable) {
        std::string names;
        for (const Group &g : groups())
            if ((g.set != nullptr) == writable) names += (names.empty() ? "" : ", ") + std::string(g.name);
        return names;
    }

    void header(const Json &doc) {
        auto format = doc.find("format");
        if (format == doc.end())
            problem("/format",
                    std::string("missing: a settings document has \"format\": \"") + kDocumentFormat + "\"");
        else if (*format != kDocumentFormat)
            problem("/format", format->dump() + " is not \"" + kDocumentFormat + "\"");
        auto version = doc.find("version");
        const std::string supported =
            " (this entmlst reads version " + std::to_string(kDocumentVersion) + ")";
        if (version == doc.end())
            problem("/version", "missing" + supported);
        else if (*version == kDocumentVersion)
            return;
        else if (version->is_number() && version->get<double>() > kDocumentVersion)
            problem("/version", "version " + version->dump() + " is newer than this entmlst reads (" +
                                    std::to_string(kDocumentVersion) + ")");
        else
            problem("/version", version->dump() + " is not a version" + supported);
    }

    void readOnly(const Json &section, const std::string &ptr) {
        if (!section.is_object())
            return problem(ptr,
                           std::string("expected an object of read-only groups, not ") + section.type_name());
        for (const auto &[key, value] : section.items()) {
            const Group *g = groupNamed(key);
            if (!g || g->set)
                problem(ptr + pointerToken(key), "not a read-only group " + quoted(key) +
                                                     " (read-only groups: " + groupList(false) + ")");
            else
                group(*g, value, ptr + pointerToken(key), false);
        }
    }

    void group(const Group &g, const Json &value, const std::string &ptr, bool writable) {
        if (!g.per_recipient) return record(g, 0, value, ptr, writable);
        const std::string want = std::to_string(kRecipients) + " recipients";
        if (!value.is_array())
            return problem(ptr, "expected an array of " + want + ", not " + value.type_name());
        if (value.size() != kRecipients)
            return problem(ptr, std::to_string(value.size()) +
                                    (value.size() == 1 ? " recipient" : " recipients") + " given; group " +
                                    g.name + " has exactly " + want);
        for (uint32_t i = 0; i < kRecipients; ++i)
            record(g, i + 1, value[i], ptr + pointerToken(std::to_string(i)), writable);
    }

    void record(const Group &g, uint32_t recipient, const Json &rec, const std::string &ptr, bool writable) {
        if (!rec.is_object())
            return problem(ptr, std::string("expected an object of ") + g.name + " fields, not " +
                                    rec.type_name());
        for (const auto &[name, value] : rec.items()) {
            std::string fp = ptr + pointerToken(name);
            const Field *f = findField(groupFields(g), name);
            if (!f) {
                problem(fp, std::string("group ") + g.name + " has no field " + quoted(name) +
                                " (see: entmlst groups)");
                continue;
            }
            if (f->secret && value == kMaskedSecret) { // keeps the stored secret
                out.kept_secrets.push_back(fp);
                continue;
            }
            Record bytes;
            std::string why;
            if (!fieldBytes(*f, value, bytes, why))
                problem(fp, why);
            else
                (writable ? out.values : out.read_only).push_back({&g, recipient, *f, std::move(bytes), fp});
        }
    }

    // One stored setting given two different values cannot be written both.
    void shared() {
        for (auto a = out.values.begin(); a != out.values.end(); ++a)
            for (auto b = a + 1; b != out.values.end(); ++b)
                if (a->field.settingsId(a->recipient) == b->field.settingsId(b->recipient) &&
                    canonical(a->field, a->bytes) != canonical(b->field, b->bytes))
                    problem(b->pointer, "differs from " + a->pointer +
                                            ", which is the same stored setting; give both the same value, "
                                            "or drop one of them");
    }
};

// What a planned write does to the records that share its settings IDs.
void shareWritten(std::vector<Instance> &model, const Instance &written, const Write &w) {
    for (const Change &c : w.changes) {
        const uint32_t id = c.field.settingsId(written.recipient);
        for (Instance &o : model) {
            if (&o == &written) continue;
            for (const Field &of : groupFields(*o.group))
                if (of.settingsId(o.recipient) == id && of.size == c.field.size)
                    std::memcpy(o.record.data() + of.offset, written.record.data() + c.field.offset, of.size);
        }
    }
}

} // namespace

const std::vector<Field> &groupFields(const Group &g) {
    static const std::vector<std::vector<Field>> all = [] {
        std::vector<std::vector<Field>> v;
        for (const Group &each : groups()) v.push_back(expand(each.members));
        return v;
    }();
    return all[static_cast<std::size_t>(&g - groups().data())];
}

std::string instanceName(const Group &g, uint32_t recipient) {
    std::string name = g.name;
    if (g.per_recipient) {
        // Appended piece by piece: "#" + string trips GCC 12's -Wrestrict at -O3.
        name += '#';
        name += std::to_string(recipient);
    }
    return name;
}

DeviceRead readDevice(SettingsAccess &device, bool with_read_only) {
    DeviceRead out;
    for (const Group &g : groups()) {
        if (!g.set && !with_read_only) continue;
        for (uint32_t n : recipientsOf(g)) {
            Instance i{&g, n, Record(g.size, 0)};
            if (uint32_t code = device.read(g, n, i.record.data())) {
                out.code = code;
                out.failed = instanceName(g, n);
                return out;
            }
            out.instances.push_back(std::move(i));
        }
    }
    return out;
}

Json exportDocument(const std::vector<Instance> &instances, bool show_secrets) {
    Json doc = {{"format", kDocumentFormat}, {"version", kDocumentVersion}};
    Json read_only = Json::object();
    for (const Instance &i : instances) {
        Json &section = i.group->set ? doc : read_only;
        Json rec = jsonRecord(groupFields(*i.group), i.record.data(), show_secrets);
        if (i.group->per_recipient)
            section[i.group->name].push_back(std::move(rec));
        else
            section[i.group->name] = std::move(rec);
    }
    if (!read_only.empty()) doc[kReadOnlyKey] = std::move(read_only);
    return doc;
}

CheckedDocument checkDocument(const Json &doc) {
    Checker c;
    c.document(doc);
    return std::move(c.out);
}

std::vector<Write> planWrites(const std::vector<Instance> &device, const std::vector<Wanted> &values) {
    std::vector<Instance> model = device;
    std::vector<Write> writes;
    for (Instance &inst : model) {
        const Group &g = *inst.group;
        if (!g.set) continue;
        Write w{&g, inst.recipient, 0, inst.record, {}};
        for (const Field &f : groupFields(g))
            for (const Wanted &v : values) {
                if (v.group != &g || v.recipient != inst.recipient || v.field.name != f.name) continue;
                Json now = jsonValue(f, inst.record.data());
                Json want = canonical(f, v.bytes);
                if (now == want) continue;
                std::memcpy(w.record.data() + f.offset, v.bytes.data(), f.size);
                w.mask |= maskBit(g, f);
                w.changes.push_back({f, std::move(now), std::move(want)});
            }
        if (w.changes.empty()) continue;
        inst.record = w.record;
        shareWritten(model, inst, w);
        writes.push_back(std::move(w));
    }
    return writes;
}

std::vector<std::string> notImported(const std::vector<Instance> &device,
                                     const std::vector<Wanted> &read_only) {
    std::vector<std::string> out;
    for (const Wanted &v : read_only)
        for (const Instance &i : device)
            if (i.group == v.group && i.recipient == v.recipient &&
                jsonValue(v.field, i.record.data()) != canonical(v.field, v.bytes))
                out.push_back(v.pointer);
    return out;
}

Applied applyWrites(SettingsAccess &device, const std::vector<Write> &writes) {
    Applied out;
    for (const Write &w : writes) {
        out.code = device.write(*w.group, w.recipient, w.mask, w.record.data());
        out.codes.push_back(out.code);
        if (out.code != 0) break;
    }
    return out;
}

std::vector<FieldReport> reportWrites(SettingsAccess &device, const std::vector<Wanted> &values,
                                      const std::vector<Write> &writes, const Applied &applied,
                                      const std::optional<StoreLog> &log) {
    std::vector<FieldReport> out;
    std::vector<std::pair<const Group *, uint32_t>> records;
    for (const Wanted &v : values)
        if (std::find(records.begin(), records.end(), std::pair(v.group, v.recipient)) == records.end())
            records.emplace_back(v.group, v.recipient);
    for (const auto &record : records) {
        // Named copies: lambdas below capture them (Clang 14 cannot capture a structured binding).
        const Group *g = record.first;
        const uint32_t n = record.second;
        FieldReport r{instanceName(*g, n), {}, {}, {}, {}};
        auto w = std::find_if(writes.begin(), writes.end(),
                              [&](const Write &x) { return x.group == g && x.recipient == n; });
        const std::size_t index = static_cast<std::size_t>(w - writes.begin());
        const bool called = w != writes.end() && index < applied.codes.size();
        const uint32_t code = called ? applied.codes[index] : 0;
        Record after;
        if (called && !log) {
            after.assign(g->size, 0);
            if (device.read(*g, n, after.data()) != 0) after.clear();
        }
        for (const Field &f : groupFields(*g)) {
            if (std::none_of(values.begin(), values.end(), [&](const Wanted &v) {
                    return v.group == g && v.recipient == n && v.field.name == f.name;
                }))
                continue;
            const bool differs =
                w != writes.end() && std::any_of(w->changes.begin(), w->changes.end(),
                                                 [&](const Change &c) { return c.field.name == f.name; });
            const uint32_t id = f.settingsId(n);
            bool written = false;
            if (called && differs)
                written = log ? std::find(log->stored.begin(), log->stored.end(), id) != log->stored.end()
                              : !after.empty() && std::memcmp(after.data() + f.offset,
                                                              w->record.data() + f.offset, f.size) == 0;
            // Without a log the failing field is the first that differs and
            // was not written: the rows are tried in this order.
            const bool stopped_here =
                code != 0 && r.failed.empty() &&
                (log ? id == log->failed
                     : differs && !written &&
                           (code == ENTMLST_ERR_STATUS_GET || code == ENTMLST_ERR_STATUS_SET));
            std::vector<std::string> &list = stopped_here      ? r.failed
                                             : written         ? r.written
                                             : !differs        ? r.unchanged
                                             : called && !code ? r.unchanged // the device held it already
                                                               : r.not_written;
            list.push_back(f.name);
        }
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace entmlst
