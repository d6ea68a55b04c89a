// settings_schema.cpp - the settings document's schema, field by field from
// the group tables. Its rules are the ones import checks (except repeated
// keys, one stored setting given two values, and the length of text in
// bytes rather than characters, which a schema cannot say).
#include "document/settings_schema.h"

#include "document/settings_document.h"

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
    return {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
            {"title", "entmlst settings document"},
            {"type", "object"},
            {"required", {"format", "version"}},
            {"properties", properties},
            {"additionalProperties", false}};
}

} // namespace entmlst
