// settings_schema.cpp - the settings document's schema, field by field from
// the group tables. Its rules are the ones import checks (except repeated
// keys, one stored setting given two values, and the length of text in
// bytes rather than characters, which a schema cannot say).
#include "document/settings_schema.h"

#include "document/settings_document.h"
#include "document/values.h"
#include "job_fields.h"

#include <algorithm>

namespace entmlst {
namespace {

Json hexString(std::size_t bytes) {
    return {{"type", "string"}, {"pattern", "^hex:([0-9a-fA-F]{2}){0," + std::to_string(bytes) + "}$"}};
}

Json fieldSchema(const Field &f) {
    if (uint64_t max = maxNumber(f)) return {{"type", "integer"}, {"minimum", 0}, {"maximum", max}};
    if (f.kind != Kind::text) return hexString(f.size);
    // Text without NUL that leaves room for the terminator, or raw bytes.
    Json text = {{"type", "string"},
                 {"maxLength", f.size - 1},
                 {"pattern", "^[^\\x00]*$"},
                 {"not", {{"pattern", "^hex:"}}}};
    Json s = {{"anyOf", {hexString(f.size), text}}};
    if (f.secret) s["description"] = std::string("secret; \"") + kMaskedSecret + "\" keeps the stored value";
    return s;
}

Json recordSchema(const Group &g) {
    Json properties = Json::object();
    for (const Field &f : groupFields(g)) properties[f.name] = fieldSchema(f);
    Json record = {{"type", "object"}, {"properties", properties}, {"additionalProperties", false}};
    if (!g.per_recipient) return record;
    return {{"type", "array"}, {"items", record}, {"minItems", kRecipients}, {"maxItems", kRecipients}};
}

Json jobId() { return {{"type", "integer"}, {"minimum", 0}, {"maximum", 0xffffffffu}}; }

// A job value is named after the first record listing its ID; a value ID
// (decimal or 0x hex) names any value. Values in the grammar of job set.
Json jobsSchema() {
    namespace reg = corvel::registry;
    Json names = Json::array();
    for (const reg::JobValue &v : reg::kJobValues)
        if (std::find_if(reg::kJobValues, &v,
                         [&](const reg::JobValue &w) { return w.value_id == v.value_id; }) == &v)
            names.push_back(std::string(v.record) + "." + v.member);
    const Json kinds = linkKindNames();
    Json link = {{"type", "object"},
                 {"properties", {{"kind", {{"anyOf", {{{"enum", kinds}}, jobId()}}}}, {"id", jobId()}}},
                 {"required", {"kind", "id"}},
                 {"additionalProperties", false}};
    Json values = {{"type", "object"},
                   {"propertyNames", {{"anyOf", {{{"enum", names}}, {{"pattern", "^[0-9]"}}}}}},
                   {"additionalProperties", {{"type", {"integer", "string"}}}}};
    Json job = {{"type", "object"},
                {"properties",
                 {{"id", jobId()},
                  {"parent", jobId()},
                  {"values", values},
                  {"links", {{"type", "array"}, {"items", link}}}}},
                {"required", {"id"}},
                {"additionalProperties", false}};
    return {{"description", "jobs of the simulated device, created or updated; other jobs are left alone"},
            {"type", "array"},
            {"items", job}};
}

} // namespace

Json settingsSchema() {
    Json properties = Json::object(), read_only = Json::object();
    properties["format"] = {{"const", kDocumentFormat}};
    properties["version"] = {{"const", kDocumentVersion}};
    for (const Group &g : groups()) {
        Json s = recordSchema(g);
        s["description"] = g.summary;
        (g.set ? properties : read_only)[g.name] = s;
    }
    properties[kReadOnlyKey] = {{"description", "information; never imported"},
                                {"type", "object"},
                                {"properties", read_only},
                                {"additionalProperties", false}};
    properties[kJobsKey] = jobsSchema();
    return {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
            {"title", "entmlst settings document"},
            {"type", "object"},
            {"required", {"format", "version"}},
            {"properties", properties},
            {"additionalProperties", false}};
}

} // namespace entmlst
