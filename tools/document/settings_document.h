// settings_document.h - the device's settings as one JSON document: what
// export writes, and what import and diff read back and compare. The device
// is reached only through SettingsAccess, so all of this runs as well
// against a fake as against the library.
//
// {"format": "corvellib-settings", "version": 1,
//  "smtp": {"port": 25, ...}, "smtp-event": [{...}, {...}, {...}], ...,
//  "read-only": {"counters": {...}, ...},
//  "jobs": [{"id": 5, "parent": 101, "values": {"ip.address": "to@corp.example"},
//            "links": [{"kind": "fax", "id": 6}]}]}
#pragma once

#include "document/record_fields.h"
#include "document/setting_groups.h"
#include "document/strict_json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace entmlst {

inline constexpr const char *kDocumentFormat = "corvellib-settings";
inline constexpr unsigned kDocumentVersion = 1;
// Groups that are never written: exported as information under this key.
inline constexpr const char *kReadOnlyKey = "read-only";
// Jobs of the simulated device, optional: checked and written by the
// simulated build alone (the device build refuses them).
inline constexpr const char *kJobsKey = "jobs";
// A per-recipient group is an array of this many records.
inline constexpr unsigned kRecipients = 3;
// Larger files are refused unread; a full export is some tens of KiB.
inline constexpr std::size_t kMaxDocumentBytes = 1 << 20;

using Record = std::vector<uint8_t>;

// The fields of a group, expanded once.
const std::vector<Field> &groupFields(const Group &g);

// "smtp", or "smtp-event#2" for recipient 2.
std::string instanceName(const Group &g, uint32_t recipient);

// What the document logic needs of the device: one record of a group read,
// or written with a change mask. Both answer the library's result code.
class SettingsAccess {
public:
    virtual ~SettingsAccess() = default;
    virtual uint32_t read(const Group &g, uint32_t recipient, uint8_t *record) = 0;
    virtual uint32_t write(const Group &g, uint32_t recipient, uint32_t mask, const uint8_t *record) = 0;
};

// The library's own Get and Set functions of each group.
class LibraryAccess : public SettingsAccess {
public:
    uint32_t read(const Group &g, uint32_t recipient, uint8_t *record) override {
        return g.get(recipient, record);
    }
    uint32_t write(const Group &g, uint32_t recipient, uint32_t mask, const uint8_t *record) override {
        return g.set(mask, recipient, record);
    }
};

// One record as the device holds it; recipient 0 for a single-instance group.
struct Instance {
    const Group *group;
    uint32_t recipient;
    Record record;
};

struct DeviceRead {
    std::vector<Instance> instances; // group table order, recipients 1..3
    uint32_t code = 0;               // of the first failing read, which ends it
    std::string failed;              // that record's name
};
DeviceRead readDevice(SettingsAccess &device, bool with_read_only);

// The whole document of what was read; secrets masked unless show_secrets.
Json exportDocument(const std::vector<Instance> &instances, bool show_secrets);

// A value the document gives for one field of one writable record.
struct Wanted {
    const Group *group;
    uint32_t recipient;
    Field field;
    Record bytes; // exactly field.size
    std::string pointer;
};

// Checks everything before anything is written: format and version, group
// and field names, types, widths and ranges, recipient counts, and values of
// one stored setting given differently in two groups. Masked secrets are
// passed over. The values are only to be used when there are no problems.
struct CheckedDocument {
    std::vector<Wanted> values;
    std::vector<Wanted> read_only;         // compared with the device's, never written
    std::vector<std::string> kept_secrets; // pointers of masked secrets: the stored ones stay
    std::optional<Json> jobs;              // the jobs section as given, an array
    std::vector<Problem> problems;
};
CheckedDocument checkDocument(const Json &doc);

// One field whose value differs: device and document values as jsonValue
// shows them (unmasked).
struct Change {
    Field field;
    Json device;
    Json document;
};

// One Set call: the record to pass and a mask of exactly the fields whose
// values differ.
struct Write {
    const Group *group;
    uint32_t recipient;
    uint32_t mask;
    Record record;
    std::vector<Change> changes;
};

// The Set calls that bring the device to the document's values, in group
// table order; none for records with nothing different. A value written
// through one group is taken as written for the other group that shares it.
std::vector<Write> planWrites(const std::vector<Instance> &device, const std::vector<Wanted> &values);

// Pointers of the read-only values that differ from the device's: never
// imported, as the device keeps its own.
std::vector<std::string> notImported(const std::vector<Instance> &device,
                                     const std::vector<Wanted> &read_only);

// The planned calls, made in order until one fails; the device has no
// rollback, so the calls before it stay made.
struct Applied {
    std::vector<uint32_t> codes; // of the calls made
    uint32_t code = 0;           // of the failing call, else ENTMLST_OK
};
Applied applyWrites(SettingsAccess &device, const std::vector<Write> &writes);

// What the device's log shows of the calls: the settings IDs stored, and the
// one whose read or write failed (0: none). The device build has no log.
struct StoreLog {
    std::vector<uint32_t> stored;
    uint32_t failed = 0;
};

// What became of each given field of one record: written; failed (the one
// the failing call stopped at); not written (differing, never tried); or
// unchanged (the device held the value already).
struct FieldReport {
    std::string record; // instanceName
    std::vector<std::string> written, failed, not_written, unchanged;
};
// One report per record the values name, in their order. A field was written
// when the log shows a store of its settings ID; without a log, when the
// record read back holds the value.
std::vector<FieldReport> reportWrites(SettingsAccess &device, const std::vector<Wanted> &values,
                                      const std::vector<Write> &writes, const Applied &applied,
                                      const std::optional<StoreLog> &log);

} // namespace entmlst
