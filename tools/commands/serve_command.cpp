// serve_command.cpp - entmlst serve: the simulated device as one local web
// page that follows it live.
#include "cli/command_line.h"

#include "base/errors.h"
#include "document/values.h"

#if ENTMLST_SERVE
#include "commands/device_view.h"
#include "serve/web_server.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>
#endif

namespace entmlst {
namespace {

// Not one of the well-known ports, nor one that other local servers favour.
constexpr uint16_t kDefaultPort = 8466;

struct ServeArgs {
    std::optional<std::string> port;
    std::string bind = "127.0.0.1";
};

int runServe(const Options &o, const ServeArgs &a) {
    // Faults of the command line would be armed for each change the page makes.
    if (!o.faults.empty())
        throw UsageError("serve arms no faults from its command line (" + o.faults[0].given +
                         "): arm them on the page, or with fault add");
    const auto port = static_cast<uint16_t>(a.port ? parseUnsigned("--port", *a.port, 65535) : kDefaultPort);
#if ENTMLST_SERVE
    // Every thread started from here leaves the stop signals to this one.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Listener listener = listenOn(a.bind, port);
    DeviceView view(o);
    WebServer server(listener, view);
    if (std::printf("%s\n", server.url().c_str()) < 0 || std::fflush(stdout) != 0)
        throw OutputError("cannot write standard output");
    if (!listener.loopback)
        std::fprintf(stderr,
                     "entmlst: warning: serving beyond this machine: whoever has the address can change "
                     "the device\n");
    std::fprintf(stderr, "entmlst: serving %s; Ctrl-C stops\n", printable(o.device).c_str());
    int signal = 0;
    sigwait(&stops, &signal);
    view.stop();
    server.stop();
    return kExitOk;
#else
    (void)o;
    (void)port;
    throw UsageError("serve is not available in this build: it was built without libmicrohttpd");
#endif
}

} // namespace

void bindServe(CLI::App &cmd, Chosen &chosen) {
    define<ServeArgs>(
        cmd, chosen,
        [](CLI::App &c, ServeArgs &a) {
            c.add_option("--port", a.port,
                         "the port to listen on (default " + std::to_string(kDefaultPort) +
                             "; 0: a free one)")
                ->type_name("N");
            c.add_option("--bind", a.bind,
                         "the address to listen on (default 127.0.0.1, this machine alone); another one "
                         "serves whoever can reach it")
                ->type_name("ADDR");
            c.footer(
                "Prints the page's address as its first line, with a token made anew at each start: a "
                "request without it is refused. The page shows every setting group as a form (passwords "
                "can be set, never shown), the jobs, the armed faults, the status and check's result, and "
                "the log, following the device live. It reads as get reads: nothing logged, no armed "
                "fault spent. Its changes go as set, fault add, fault clear and reset make them. Ctrl-C or "
                "SIGTERM stops it, exit 0. It refuses (403) requests for another host name than the one it "
                "serves, and "
                "changes from another origin; headers over 8 KiB or bodies over 64 KiB get 413. No password "
                "leaves it.");
        },
        runServe);
}

} // namespace entmlst
