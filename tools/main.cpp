// entmlst - reads and writes the device's mail settings and job values
// through libcorvellib: on the device itself, or on a PC against a
// simulated device kept in a file.
#include "commands.h"
#include "record_fields.h"
#include "usage_error.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>

using namespace entmlst;

int main(int argc, char **argv) {
    CLI::App app{"entmlst - mail settings and job values of the device, through libcorvellib"};
    app.require_subcommand(1);
    app.fallthrough();

    std::string device;
    bool json = false;
    std::vector<std::string> fail_args;
    app.add_option("--device", device,
                   "simulated device file (default: $ENTMLST_DEVICE, else ~/.local/share/entmlst/device.db)");
    app.add_flag("--json", json, "print JSON");
    app.add_option("--fail", fail_args,
                   "SERVICE[#N]=CODE: the Nth call (default 1) of SERVICE answers CODE (simulated device)")
        ->allow_extra_args(false);

    std::function<int(const Options &)> run;

    std::string area = "0";
    auto *init = app.add_subcommand("init", "start-up: set up the ID service, send every notification once");
    init->add_option("--area", area, "destination area");
    init->callback([&] { run = [&](const Options &o) { return runInit(o, parseNumber("--area", area)); }; });

    app.add_subcommand("sync", "wait until the ID service is synchronised")
        ->callback([&] { run = runSync; });
    app.add_subcommand("log", "monitor lines and notifications the simulated device received, newest last")
        ->callback([&] { run = runLog; });
    app.add_subcommand("groups", "list the setting groups and their fields")
        ->callback([&] { run = runGroups; });

    std::string group;
    std::string recipient;
    std::vector<std::string> assignments;
    auto *get = app.add_subcommand("get", "read a setting group");
    get->add_option("group", group, "setting group (see: entmlst groups)")->required();
    get->add_option("--recipient,--user", recipient, "recipient or POP3 user, 1..3 (default 1)");
    get->callback([&] { run = [&](const Options &o) { return runGet(o, group, recipient); }; });

    auto *set = app.add_subcommand("set", "change fields of a setting group");
    set->add_option("group", group, "setting group")->required();
    set->add_option("--recipient,--user", recipient, "recipient or POP3 user, 1..3 (default 1)");
    set->add_option("assignments", assignments, "FIELD=VALUE (text, number, or hex:..)")->required();
    set->callback([&] { run = [&](const Options &o) { return runSet(o, group, recipient, assignments); }; });

    auto *job = app.add_subcommand("job", "simulated jobs and the job functions");
    job->require_subcommand(1);
    std::string job_id, parent, kind, child;
    std::string capacity = "16";

    auto *create = job->add_subcommand("create", "create or update a simulated job");
    create->add_option("job", job_id, "job ID")->required();
    create->add_option("--parent", parent, "parent (user) job ID");
    create->add_option("values", assignments, "VALUEID=VALUE");
    create->callback([&] { run = [&](const Options &o) { return runJobCreate(o, job_id, parent, assignments); }; });

    auto *link = job->add_subcommand("link", "link a child job under a job");
    link->add_option("job", job_id, "job ID")->required();
    link->add_option("kind", kind, "link kind: number, fax or mail")->required();
    link->add_option("child", child, "child job ID")->required();
    link->callback([&] { run = [&](const Options &o) { return runJobLink(o, job_id, kind, child); }; });

    for (const char *what : {"ip", "fax-path", "print-end", "current-send"}) {
        auto *read = job->add_subcommand(what, std::string("read the job's ") + what + " values");
        read->add_option("job", job_id, "job ID")->required();
        read->callback([&, what] { run = [&, what](const Options &o) { return runJobRead(o, what, job_id); }; });
    }

    auto *result = job->add_subcommand("send-result", "list the send results of a job's children of one link kind");
    result->add_option("job", job_id, "job ID")->required();
    result->add_option("kind", kind, "link kind: number, fax or mail")->required();
    result->add_option("--capacity", capacity, "entries to offer (default 16)");
    result->callback([&] { run = [&](const Options &o) { return runJobSendResult(o, job_id, kind, parseNumber("--capacity", capacity)); }; });

    auto *attach = job->add_subcommand("attach", "write a job's mail attachment values");
    attach->add_option("job", job_id, "job ID")->required();
    attach->add_option("values", assignments, "attach_mode=N attach_format=N resolution=N")->required();
    attach->callback([&] { run = [&](const Options &o) { return runJobAttach(o, job_id, assignments); }; });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) // --help
            return app.exit(e);
        std::fprintf(stderr, "entmlst: %s (see --help)\n", e.what());
        return kExitUsage;
    }

    try {
        Options o;
        o.json = json;
        for (const auto &text : fail_args)
            o.faults.push_back(parseFault(text));
        o.device = devicePath(device);
        return run(o);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return kExitUsage;
    } catch (const DeviceFileError &e) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return kExitDeviceFile;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "entmlst: %s\n", e.what());
        return 1;
    }
}
