// settings_import.h - the import of a settings document, as import makes
// it and as run --state makes a fresh device's settings.
#pragma once

#include "cli/commands.h"
#include "document/settings_document.h"

#include <string>
#include <vector>

namespace entmlst {

// An import: the document checked whole, the device read, then the fields
// that differ written in order until a call fails.
struct Import {
    CheckedDocument doc;
    DeviceRead before;
    std::vector<Write> writes;
    std::vector<std::string> not_imported;
    Applied done; // done.code: the failed read's or write's code, else ENTMLST_OK
    News news;
};
// False when the document (path, or - for standard input) has problems:
// each is said on standard error, and the device is neither read nor
// written. With dry_run nothing is written.
bool importDocument(const Options &o, const std::string &path, bool dry_run, LibraryAccess &lib, Import &out);

} // namespace entmlst
