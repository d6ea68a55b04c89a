// setting_groups.h - the setting groups as the tool offers them: each group's
// fields and the library functions that read and write it.
#pragma once

#include "document/record_fields.h"
#include "functions.h"

#include <cstdint>
#include <span>
#include <string>

namespace entmlst {

// Uniform shapes of the library's Get and Set functions; recipient is
// ignored by single-instance groups.
using GetFn = corvel::registry::GetFn;
using SetFn = corvel::registry::SetFn;

struct Group {
    const char *name;
    const char *summary;
    std::size_t size; // of the record
    bool per_recipient;
    std::span<const Member> members;
    GetFn get;
    SetFn set; // null: read only
};

std::span<const Group> groups();
const Group &findGroup(const std::string &name); // throws UsageError

// The change mask that selects a field of a group: the header's bit.
uint32_t maskBit(const Group &g, const Field &f);

} // namespace entmlst
