// command_table.cpp - every entmlst command once, with what it needs.
#include "cli/command_line.h"

#include "functions.h"

namespace entmlst {
namespace {

constexpr unsigned kReads = kUsesDevice;
constexpr unsigned kWrites = kUsesDevice | kChangesState;
constexpr unsigned kSim = kSimulatorOnly;

// The simulated device's own commands exist only in the simulated build.
#if ENTMLST_SIMULATED
#define SIMULATED(bind) bind
#else
#define SIMULATED(bind) nullptr
#endif

// The job reads the registry offers to tools, under their tool names.
#define JOB_READ(F, tool, shape, access, Rec) {"job", tool, nullptr, kReads, bindJobRead},

constexpr Command kCommands[] = {
    {nullptr, "init", "start-up: set up the ID service, send every notification once", kWrites, bindInit},
    {nullptr, "sync", "wait until the ID service is synchronised", kWrites, bindSync},
    {nullptr, "status", "where the simulated device is and what it holds", kSim | kInspects,
     SIMULATED(bindStatus)},
    {nullptr, "check", "check the simulated device's file and the device's own rules (exit 1 on a problem)",
     kSim | kInspects, SIMULATED(bindCheck)},
    {nullptr, "groups", "list the setting groups and their fields", 0, bindGroups},
    {nullptr, "get", "read a setting group", kReads, bindGet},
    {nullptr, "set", "change fields of a setting group", kWrites, bindSet},
    {nullptr, "export", "write every setting group to one JSON document", kReads, bindExport},
    {nullptr, "import", "check a settings document whole, then write the fields that differ", kWrites,
     bindImport},
    {nullptr, "diff", "fields where the device and a settings document differ (exit 1 if any)", kReads,
     bindDiff},
    {nullptr, "schema", "print the JSON Schema (draft 2020-12) of the settings document", 0, bindSchema},
    {nullptr, "job", "simulated jobs and the job functions", kGroupOfCommands, nullptr},
    {"job", "create", "create or update a simulated job", kSim | kWrites, SIMULATED(bindJobCreate)},
    {"job", "link", "link a child job under a job", kSim | kWrites, SIMULATED(bindJobLink)},
    ENTMLST_JOB_FUNCTIONS(JOB_READ){"job", "send-result",
                                    "list the send results of a job's children of one link kind", kReads,
                                    bindJobSendResult},
    {"job", "attach", "write a job's mail attachment values", kWrites, bindJobAttach},
    {nullptr, "log",
     "what the simulated device received from every process (calls, notifications, monitor lines, faults), "
     "oldest first",
     kSim | kInspects | kOpensItself, SIMULATED(bindLog)},
    {nullptr, "fault", "faults kept with the simulated device, for every program", kSim | kGroupOfCommands,
     nullptr},
    {"fault", "add", "arm a fault: the Nth matching call (default the next) answers CODE", kSim | kWrites,
     SIMULATED(bindFaultAdd)},
    {"fault", "list", "the armed faults and the spent ones, with their hits", kSim | kInspects,
     SIMULATED(bindFaultList)},
    {"fault", "clear", "disarm one fault, or every fault", kSim | kWrites, SIMULATED(bindFaultClear)},
    {nullptr, "reset", "put the simulated device back to factory settings; clear its jobs, log and faults",
     kSim | kWrites, SIMULATED(bindReset)},
    {"job", "list", "the IDs of the simulated device's jobs", kSim | kInspects, SIMULATED(bindJobList)},
    {"job", "show", "every value and link of a simulated job", kSim | kInspects, SIMULATED(bindJobShow)},
    {"job", "delete", "delete a simulated job with its values and links", kSim | kWrites,
     SIMULATED(bindJobDelete)},
    {nullptr, "run",
     "run a program on a fresh simulated device of its own (ENTMLST_DEVICE set for it), then say what it "
     "received",
     kSim | kRunsProgram, SIMULATED(bindRun)},
};

#undef JOB_READ
#undef SIMULATED

} // namespace

std::span<const Command> commands() { return kCommands; }

} // namespace entmlst
