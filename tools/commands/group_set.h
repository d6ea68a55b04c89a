// group_set.h - what set does, shared with serve's forms: the given fields
// of one record written by one Set call of the library.
#pragma once

#include "cli/commands.h"
#include "document/settings_document.h"

namespace entmlst {

// One FIELD=VALUE of group g read by the tool's grammar; throws UsageError
// with the text set gives.
Wanted wantedField(const Group &g, uint32_t recipient, const std::string &name, const std::string &value);

struct GroupSet {
    Json body; // group, recipient, written, failed, not_written, unchanged
    News news;
    uint32_t code = 0; // the library's answer
};
// Reads the record out of band, then writes the values with one Set call
// armed with o.faults, and says which fields it wrote.
GroupSet setFields(const Options &o, const Group &g, uint32_t recipient, const std::vector<Wanted> &values);

} // namespace entmlst
