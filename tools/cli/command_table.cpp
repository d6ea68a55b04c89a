// command_table.cpp - every entmlst command once, with what it needs.
//
// A row names the file under commands/ that binds the command, its group
// ("job", "fault", or nullptr), name, needs (command_line.h), bind function
// and one-line summary. The build compiles the files the rows name
// (tools/CMakeLists.txt reads this table): those of SIMULATED_COMMAND rows
// only in the simulated build, where alone those commands run.
#include "cli/command_line.h"

#include "functions.h"

namespace entmlst {
namespace {

constexpr unsigned kReads = kUsesDevice;
constexpr unsigned kWrites = kUsesDevice | kChangesState;

} // namespace

// The job reads the registry offers to tools, under their tool names.
#define JOB_READ(F, tool, shape, access, Rec) COMMAND(job_commands, "job", tool, kReads, bindJobRead, nullptr)

#define ENTMLST_COMMAND_TABLE                                                                                \
    COMMAND(device_commands, nullptr, "init", kWrites, bindInit,                                             \
            "start-up: set up the ID service, send every notification once")                                 \
    COMMAND(device_commands, nullptr, "sync", kWrites, bindSync,                                             \
            "wait until the ID service is synchronised")                                                     \
    SIMULATED_COMMAND(status_command, nullptr, "status", kInspects, bindStatus,                              \
                      "where the simulated device is and what it holds")                                     \
    SIMULATED_COMMAND(check_command, nullptr, "check", kInspects, bindCheck,                                 \
                      "check the simulated device's file and the device's own rules (exit 1 on a problem)")  \
    COMMAND(setting_commands, nullptr, "groups", 0, bindGroups, "list the setting groups and their fields")  \
    COMMAND(setting_commands, nullptr, "get", kReads, bindGet, "read a setting group")                       \
    COMMAND(setting_commands, nullptr, "set", kWrites, bindSet, "change fields of a setting group")          \
    COMMAND(backup_commands, nullptr, "export", kReads, bindExport,                                          \
            "write every setting group to one JSON document")                                                \
    COMMAND(backup_commands, nullptr, "import", kWrites, bindImport,                                         \
            "check a settings document whole, then write the fields that differ")                            \
    COMMAND(backup_commands, nullptr, "diff", kReads, bindDiff,                                              \
            "fields where the device and a settings document differ (exit 1 if any)")                        \
    COMMAND(backup_commands, nullptr, "schema", 0, bindSchema,                                               \
            "print the JSON Schema (draft 2020-12) of the settings document")                                \
    GROUP("job", 0, "simulated jobs and the job functions")                                                  \
    SIMULATED_COMMAND(sim_job_commands, "job", "create", kWrites, bindJobCreate,                             \
                      "create or update a simulated job")                                                    \
    SIMULATED_COMMAND(sim_job_commands, "job", "set", kWrites, bindJobSet,                                   \
                      "set values of a simulated job, by name (ip.address) or value ID")                     \
    SIMULATED_COMMAND(sim_job_commands, "job", "link", kWrites, bindJobLink, "link a child job under a job") \
    ENTMLST_JOB_FUNCTIONS(JOB_READ)                                                                          \
    COMMAND(job_commands, "job", "send-result", kReads, bindJobSendResult,                                   \
            "list the send results of a job's children of one link kind")                                    \
    COMMAND(job_commands, "job", "attach", kWrites, bindJobAttach, "write a job's mail attachment values")   \
    SIMULATED_COMMAND(log_command, nullptr, "log", kInspects | kOpensItself, bindLog,                        \
                      "what the simulated device received from every process (calls, notifications, "        \
                      "monitor lines, faults), oldest first")                                                \
    GROUP("fault", kSimulatorOnly, "faults kept with the simulated device, for every program")               \
    SIMULATED_COMMAND(fault_commands, "fault", "add", kWrites, bindFaultAdd,                                 \
                      "arm a fault: the Nth matching call (default the next) answers CODE")                  \
    SIMULATED_COMMAND(fault_commands, "fault", "list", kInspects, bindFaultList,                             \
                      "the armed faults and the spent ones, with their hits")                                \
    SIMULATED_COMMAND(fault_commands, "fault", "clear", kWrites, bindFaultClear,                             \
                      "disarm one fault, or every fault")                                                    \
    SIMULATED_COMMAND(reset_command, nullptr, "reset", kWrites, bindReset,                                   \
                      "put the simulated device back to factory settings; clear its jobs, log and faults")   \
    SIMULATED_COMMAND(sim_job_commands, "job", "list", kInspects, bindJobList,                               \
                      "the IDs of the simulated device's jobs")                                              \
    SIMULATED_COMMAND(sim_job_commands, "job", "show", kInspects, bindJobShow,                               \
                      "every value and link of a simulated job")                                             \
    SIMULATED_COMMAND(sim_job_commands, "job", "delete", kWrites, bindJobDelete,                             \
                      "delete a simulated job with its values and links")                                    \
    SIMULATED_COMMAND(serve_command, nullptr, "serve", kWrites, bindServe,                                   \
                      "show the simulated device in a browser, live: settings, jobs, faults and the log")    \
    SIMULATED_COMMAND(run_command, nullptr, "run", kRunsProgram, bindRun,                                    \
                      "run a program on a fresh simulated device of its own (ENTMLST_DEVICE set for it), "   \
                      "then say what it received")

// Each row's bind function, defined in its file.
#define COMMAND(File, Group, Name, Needs, Bind, Summary) void Bind(CLI::App &, Chosen &);
#define SIMULATED_COMMAND COMMAND
#define GROUP(Name, Needs, Summary)
ENTMLST_COMMAND_TABLE
#undef COMMAND
#undef SIMULATED_COMMAND
#undef GROUP

namespace {

// The simulated device's own commands: their files are not in the device
// build, which lists them as refused.
#if ENTMLST_SIMULATED
#define SIMULATED(Bind) Bind
#else
#define SIMULATED(Bind) nullptr
#endif

#define COMMAND(File, Group, Name, Needs, Bind, Summary) Command{Group, Name, Summary, Needs, Bind},
#define SIMULATED_COMMAND(File, Group, Name, Needs, Bind, Summary)                                           \
    Command{Group, Name, Summary, (Needs) | kSimulatorOnly, SIMULATED(Bind)},
#define GROUP(Name, Needs, Summary) Command{nullptr, Name, Summary, (Needs) | kGroupOfCommands, nullptr},
constexpr Command kCommands[] = {ENTMLST_COMMAND_TABLE};
#undef COMMAND
#undef SIMULATED_COMMAND
#undef GROUP
#undef SIMULATED

} // namespace

std::span<const Command> commands() { return kCommands; }

} // namespace entmlst
