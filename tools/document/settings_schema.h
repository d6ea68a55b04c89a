// settings_schema.h - the JSON Schema (draft 2020-12) of the settings
// document, made from the same group and field tables as the document.
#pragma once

#include "document/record_fields.h"

namespace entmlst {

Json settingsSchema();

} // namespace entmlst
