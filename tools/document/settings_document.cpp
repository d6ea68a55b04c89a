// settings_document.cpp - the settings document: built from the device's
// records, checked, and compared field by field into Set calls.
#include "document/settings_document.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace entmlst {
namespace {

// Stored settings reached through two groups: for the same recipient, a
// write through one group changes what the other reads.
struct SharedValue {
    const char *group_a;
    const char *group_b;
    const char *field;
};
constexpr SharedValue kShared[] = {
    {"smtp-event", "smtp-schedule", "address"},
    {"smtp-event", "smtp-schedule", "name"},
    {"maintenance", "subject", "subject"},
};

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

bool isHexText(std::string_view s, std::size_t max_bytes) {
    if (!s.starts_with(kHexPrefix)) return false;
    s.remove_prefix(kHexPrefix.size());
    return s.size() % 2 == 0 && s.size() / 2 <= max_bytes && std::all_of(s.begin(), s.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c));
           });
}

std::string expectation(const Field &f) {
    if (uint64_t max = maxNumber(f)) return "a whole number 0.." + std::to_string(max);
    std::string hex = "hex: and at most " + std::to_string(f.size) + " bytes as two hex digits each";
    if (f.kind != Kind::text) return hex;
    return "printable text of at most " + std::to_string(f.size - 1) + " characters, or " + hex;
}

// The field's bytes for a document value, or why there are none. The rules
// are the ones the schema states.
bool fieldBytes(const Field &f, const Json &v, Record &bytes, std::string &why) {
    if (uint64_t max = maxNumber(f)) {
        uint64_t n = 0;
        if (v.is_number_unsigned()) {
            n = v.get<uint64_t>();
        } else if (v.is_number_float() && v.get<double>() == std::floor(v.get<double>())) {
            double d = v.get<double>();
            n = d >= 0 && d <= static_cast<double>(max) ? static_cast<uint64_t>(d) : max + 1;
        } else if (v.is_number_integer()) { // negative
            n = max + 1;
        } else {
            why = "expected " + expectation(f) + ", not " + (v.is_number() ? "a fraction" : v.type_name());
            return false;
        }
        if (n > max) {
            why = v.dump() + " is out of range 0.." + std::to_string(max);
            return false;
        }
        bytes = parseValue(f, std::to_string(n));
        return true;
    }
    if (!v.is_string()) {
        why = std::string("expected ") + expectation(f) + ", not " + v.type_name();
        return false;
    }
    const std::string &s = v.get_ref<const std::string &>();
    if (s.starts_with(kHexPrefix) || f.kind != Kind::text) {
        if (!isHexText(s, f.size)) {
            why = quoted(s.size() > 40 ? s.substr(0, 40) + "..." : s) + ": expected " + expectation(f);
            return false;
        }
    } else if (!std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7e; })) {
        why = "text is printable ASCII; give other bytes as hex:";
        return false;
    } else if (s.size() >= f.size) {
        why = "too long: " + std::to_string(s.size()) + " characters, at most " + std::to_string(f.size - 1);
        return false;
    }
    bytes = parseValue(f, s);
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
            if (f->secret && value == kMaskedSecret) // keeps the stored secret
                continue;
            Record bytes;
            std::string why;
            if (!fieldBytes(*f, value, bytes, why))
                problem(fp, why);
            else if (writable)
                out.values.push_back({&g, recipient, *f, std::move(bytes), fp});
        }
    }

    // One stored setting given two different values cannot be written both.
    void shared() {
        for (const SharedValue &s : kShared)
            for (const Wanted &a : out.values) {
                if (a.group->name != std::string_view(s.group_a) || a.field.name != s.field) continue;
                for (const Wanted &b : out.values)
                    if (b.group->name == std::string_view(s.group_b) && b.recipient == a.recipient &&
                        b.field.name == s.field && canonical(a.field, a.bytes) != canonical(b.field, b.bytes))
                        problem(b.pointer,
                                "differs from " + a.pointer + ", which is the same stored setting");
            }
    }
};

Instance *findInstance(std::vector<Instance> &all, std::string_view group, uint32_t recipient) {
    for (Instance &i : all)
        if (i.group->name == group && i.recipient == recipient) return &i;
    return nullptr;
}

// What a planned write does to the records of the groups sharing its fields.
void shareWritten(std::vector<Instance> &model, const Instance &written, const Write &w) {
    for (const Change &c : w.changes)
        for (const SharedValue &s : kShared) {
            if (c.field.name != s.field) continue;
            std::string_view name = written.group->name;
            const char *other = name == s.group_a ? s.group_b : name == s.group_b ? s.group_a : nullptr;
            Instance *o = other ? findInstance(model, other, written.recipient) : nullptr;
            const Field *of = o ? findField(groupFields(*o->group), s.field) : nullptr;
            if (of && of->size == c.field.size)
                std::memcpy(o->record.data() + of->offset, written.record.data() + c.field.offset, of->size);
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
    return g.per_recipient ? g.name + ("#" + std::to_string(recipient)) : g.name;
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

Applied applyWrites(SettingsAccess &device, const std::vector<Write> &writes) {
    Applied out;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const Write &w = writes[i];
        uint32_t code = device.write(*w.group, w.recipient, w.mask, w.record.data());
        if (code == 0) {
            out.written.push_back(instanceName(*w.group, w.recipient));
            continue;
        }
        out.code = code;
        out.failed = instanceName(*w.group, w.recipient);
        // A Set that stopped part-way has still written its earlier fields.
        Record now(w.group->size, 0);
        if (device.read(*w.group, w.recipient, now.data()) == 0)
            for (const Change &c : w.changes)
                if (jsonValue(c.field, now.data()) == c.document)
                    out.failed_but_stored.push_back(c.field.name);
        for (std::size_t j = i + 1; j < writes.size(); ++j)
            out.not_written.push_back(instanceName(*writes[j].group, writes[j].recipient));
        break;
    }
    return out;
}

} // namespace entmlst
