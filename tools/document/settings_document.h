// settings_document.h - the device's settings as one JSON document: what
// export writes, and what import and diff read back and compare. The device
// is reached only through SettingsAccess, so all of this runs as well
// against a fake as against the library.
//
// {"format": "corvellib-settings", "version": 1,
//  "smtp": {"port": 25, ...}, "smtp-event": [{...}, {...}, {...}], ...,
//  "read-only": {"counters": {...}, ...}}
#pragma once

#include "document/record_fields.h"
#include "document/setting_groups.h"
#include "document/strict_json.h"

#include <cstdint>
#include <string>
#include <vector>

namespace entmlst {

inline constexpr const char *kDocumentFormat = "corvellib-settings";
inline constexpr unsigned kDocumentVersion = 1;
// Groups that are never written: exported as information under this key.
inline constexpr const char *kReadOnlyKey = "read-only";
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

// What making the planned calls did. The device has no rollback: at a
// failing call the calls before it stay made.
struct Applied {
    std::vector<std::string> written;
    std::string failed;                         // empty when every call returned ENTMLST_OK
    std::vector<std::string> failed_but_stored; // fields of the failed call that reached the store
    std::vector<std::string> not_written;
    uint32_t code = 0;
};
Applied applyWrites(SettingsAccess &device, const std::vector<Write> &writes);

} // namespace entmlst
