// web_server.h - the local web server of entmlst serve: HTTP from
// libmicrohttpd, and in front of every request the rules of a local server
// that holds something private (the token, the Host header, same-origin
// POSTs, size limits, the security headers).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace entmlst {

// Requests are refused with 413 past these.
inline constexpr std::size_t kMaxHeaderBytes = 8 * 1024;
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;

struct Request {
    std::string method; // GET or POST
    std::string path;   // without the query
    std::map<std::string, std::string> query;
    std::string body;
};

struct Reply {
    unsigned status = 200;
    std::string body;
    const char *type = "application/json";
};

// What the server serves: the page's own files come from the server, the
// rest from the site.
class Site {
public:
    virtual ~Site() = default;
    virtual Reply answer(const Request &r) = 0;
    // The next server-sent events after cursor (0: from the start), waiting
    // for them a while; a comment when there were none. False once the
    // site stops.
    virtual bool events(uint64_t &cursor, std::string &out) = 0;
};

// A listening socket, made before the server starts so that a port in use
// or a bad address is told as such (UsageError).
struct Listener {
    int fd = -1;
    std::string host; // what the Host header must say: "127.0.0.1:8080", "[::1]:8080"
    bool loopback = false;
};
Listener listenOn(const std::string &address, uint16_t port);

class WebServer {
public:
    // Serves site on the listener (which it takes) until stop(); throws
    // UsageError when the HTTP library is not on this machine.
    WebServer(Listener listener, Site &site);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    // The page's address, with this run's token.
    std::string url() const;
    // Ends the streams and the connections; waits for them.
    void stop();

    // For the library's callbacks.
    struct Impl;

private:
    Impl *impl_;
};

} // namespace entmlst
