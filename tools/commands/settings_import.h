// settings_import.h - the import of a settings document, as import makes
// it and as run --state makes a fresh device's settings.
#pragma once

#include "cli/commands.h"
#include "document/settings_document.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace entmlst {

// One job of the document's jobs section, checked: its values as the device
// keeps them, its links as (kind, child).
struct SetupJob {
    uint32_t id = 0;
    std::optional<uint32_t> parent;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values;
    std::vector<std::pair<int32_t, uint32_t>> links;
};

// An import: the document checked whole, the device read, then the fields
// that differ written in order until a call fails.
struct Import {
    CheckedDocument doc;
    DeviceRead before;
    std::vector<Write> writes;
    std::vector<std::string> not_imported;
    Applied done; // done.code: the failed read's or write's code, else ENTMLST_OK
    News news;
    std::vector<SetupJob> jobs;
    std::vector<uint32_t> jobs_written; // the jobs it created or changed
};
// False when the document (path, or - for standard input) has problems:
// each is said on standard error, and the device is neither read nor
// written. With dry_run nothing is written.
// The jobs go in after the settings, and only when those all went in.
bool importDocument(const Options &o, const std::string &path, bool dry_run, LibraryAccess &lib, Import &out);

// The simulated build's part (sim_job_commands.cpp); the device build
// refuses a jobs section, export --jobs and import --setup.
//
// The jobs section checked whole: each problem appended, by its pointer.
std::vector<SetupJob> checkJobs(const Json &section, std::vector<Problem> &problems);
// Creates or updates each job through the control API (not logged, no
// faults), writing only what differs; other jobs are left alone. Answers
// the IDs of the jobs it changed.
std::vector<uint32_t> applyJobs(const std::vector<SetupJob> &jobs);
// The device's jobs, as the jobs section.
Json exportJobs();
// import --setup: the document checked and imported as import does it, on a
// copy of the device in memory; the device then gets the stored values that
// changed through the control API: not logged, no faults, no notifications.
bool importForSetup(const Options &o, const std::string &path, LibraryAccess &lib, Import &out);

} // namespace entmlst
