// web_server.cpp - the rules every request passes before the site sees it,
// over libmicrohttpd's threads (one per connection, so that an event stream
// may wait).
#include "serve/web_server.h"

#include "base/errors.h"
#include "serve/mhd_library.h"
#include "serve/page_files.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace entmlst {
namespace {

// Every answer carries these: nothing but the page's own files runs, and
// the token in the address is never passed on.
constexpr std::pair<const char *, const char *> kSecurityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
     "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cache-Control", "no-store"},
};

// What libmicrohttpd keeps of one request: headers up to about this size
// reach the gate, which answers 413 past kMaxHeaderBytes; larger ones the
// library refuses itself (431).
constexpr size_t kConnectionMemory = 256 * 1024;

// What the index page holds where its files take the token.
constexpr std::string_view kTokenMark = "{{token}}";

std::string randomToken() {
    uint8_t bytes[16];
    if (::getrandom(bytes, sizeof bytes, 0) != sizeof bytes)
        throw std::runtime_error("no random bytes for the token");
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes) hex.append(1, kDigits[b >> 4]).append(1, kDigits[b & 0xf]);
    return hex;
}

// Equal without saying how far: a wrong token takes as long whatever it holds.
bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

Listener listenOn(const std::string &address, uint16_t port) {
    sockaddr_storage where{};
    socklen_t size = 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&where);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&where);
    const bool six = address.find(':') != std::string::npos;
    if (!six && ::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        size = sizeof *v4;
    } else if (six && ::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        size = sizeof *v6;
    } else {
        throw UsageError("--bind: \"" + printable(address) + "\" is not an IPv4 or IPv6 address");
    }
    // Requests must name the address served (the Host check): every address at once has no such name.
    if (six ? IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr) : v4->sin_addr.s_addr == htonl(INADDR_ANY))
        throw UsageError("--bind: \"" + address + "\" is every address; give the one to serve on");
    Listener l;
    l.fd = ::socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (l.fd < 0) throw UsageError(std::string("cannot make a socket: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (six) ::setsockopt(l.fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(l.fd, reinterpret_cast<sockaddr *>(&where), size) != 0 || ::listen(l.fd, 64) != 0) {
        const int e = errno;
        ::close(l.fd);
        if (e == EADDRINUSE)
            throw UsageError("port " + std::to_string(port) + " on " + address + " is in use");
        throw UsageError("cannot listen on " + address + " port " + std::to_string(port) + ": " +
                         std::strerror(e));
    }
    ::getsockname(l.fd, reinterpret_cast<sockaddr *>(&where), &size);
    const uint16_t bound = ntohs(six ? v6->sin6_port : v4->sin_port);
    l.host = (six ? "[" + address + "]" : address) + ":" + std::to_string(bound);
    l.loopback = six ? IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) : (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    return l;
}

struct WebServer::Impl {
    const mhd::Library &mhd;
    Listener listener;
    Site &site;
    std::string token;
    std::string localhost; // "localhost:PORT", also the loopback server's name
    MHD_Daemon *daemon = nullptr;

    // One request as it comes in: refused (with its status) or gathered.
    struct Exchange {
        unsigned refused = 0;
        const char *why = "";
        std::size_t body_bytes = 0;
        std::string body;
    };

    // An event stream: the site's text not yet sent.
    struct Stream {
        Impl *server;
        uint64_t cursor = 0;
        std::string pending;
        std::size_t sent = 0;
    };

    std::string header(MHD_Connection *c, const char *name) const {
        const char *v = mhd.MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
        return v ? v : "";
    }

    bool allowedHost(const std::string &host) const {
        return host == listener.host || (listener.loopback && equalsIgnoringCase(host, localhost));
    }

    // The rules, checked before any of the body is read; 0 when it passes.
    unsigned gate(MHD_Connection *c, const char *url, const char *method, const char *&why) const {
        std::size_t header_bytes = std::strlen(url) + std::strlen(method);
        mhd.MHD_get_connection_values(
            c, MHD_HEADER_KIND,
            [](void *cls, MHD_ValueKind, const char *key, const char *value) {
                *static_cast<std::size_t *>(cls) += std::strlen(key) + (value ? std::strlen(value) : 0) + 4;
                return MHD_YES;
            },
            &header_bytes);
        if (header_bytes > kMaxHeaderBytes) return why = "headers too large", 413;
        const std::string length = header(c, "Content-Length");
        if (!length.empty() && (length.size() > 9 || std::stoul(length) > kMaxBodyBytes))
            return why = "body too large", 413;
        const std::string host = header(c, "Host");
        if (!allowedHost(host)) return why = "not a name this server serves", 403;
        const char *given = mhd.MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "token");
        if (!given || !sameSecret(given, token)) return why = "no token, or a wrong one", 403;
        const bool post = std::strcmp(method, "POST") == 0;
        if (!post && std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0)
            return why = "only GET and POST", 405;
        if (post && header(c, "Origin") != "http://" + host) return why = "a change from another origin", 403;
        return 0;
    }

    MHD_Result send(MHD_Connection *c, const Reply &r) const {
        MHD_Response *response = mhd.MHD_create_response_from_buffer(
            r.body.size(), const_cast<char *>(r.body.data()), MHD_RESPMEM_MUST_COPY);
        return queue(c, response, r.status, r.type);
    }

    MHD_Result queue(MHD_Connection *c, MHD_Response *response, unsigned status, const char *type) const {
        if (!response) return MHD_NO;
        mhd.MHD_add_response_header(response, "Content-Type", type);
        for (const auto &[name, value] : kSecurityHeaders) mhd.MHD_add_response_header(response, name, value);
        const MHD_Result queued = mhd.MHD_queue_response(c, status, response);
        mhd.MHD_destroy_response(response);
        return queued;
    }

    MHD_Result startStream(MHD_Connection *c) {
        auto *s = new Stream{this, 0, {}, 0};
        MHD_Response *response = mhd.MHD_create_response_from_callback(
            MHD_SIZE_UNKNOWN, 16 * 1024,
            [](void *cls, uint64_t, char *buf, size_t max) -> ssize_t {
                auto *st = static_cast<Stream *>(cls);
                if (st->sent == st->pending.size()) {
                    st->pending.clear();
                    st->sent = 0;
                    if (!st->server->site.events(st->cursor, st->pending))
                        return MHD_CONTENT_READER_END_OF_STREAM;
                }
                const std::size_t n = std::min(max, st->pending.size() - st->sent);
                std::memcpy(buf, st->pending.data() + st->sent, n);
                st->sent += n;
                return static_cast<ssize_t>(n);
            },
            s, [](void *cls) { delete static_cast<Stream *>(cls); });
        if (!response) delete s;
        return queue(c, response, 200, "text/event-stream");
    }

    MHD_Result answer(MHD_Connection *c, const char *url, const char *method, Exchange &x) {
        if (x.refused) return send(c, {x.refused, std::string(x.why) + "\n", "text/plain; charset=utf-8"});
        Request r{std::strcmp(method, "HEAD") == 0 ? "GET" : method, url, {}, std::move(x.body)};
        if (r.method == "GET") {
            if (r.path == "/events") return startStream(c);
            for (const PageFile &f : pageFiles()) {
                if (r.path != f.path) continue;
                std::string body(f.body);
                for (auto at = body.find(kTokenMark); at != std::string::npos; at = body.find(kTokenMark, at))
                    body.replace(at, kTokenMark.size(), token);
                return send(c, {200, std::move(body), f.type});
            }
        }
        mhd.MHD_get_connection_values(
            c, MHD_GET_ARGUMENT_KIND,
            [](void *cls, MHD_ValueKind, const char *key, const char *value) {
                static_cast<Request *>(cls)->query[key] = value ? value : "";
                return MHD_YES;
            },
            &r);
        return send(c, site.answer(r));
    }
};

namespace {

MHD_Result onRequest(void *cls, MHD_Connection *c, const char *url, const char *method, const char *,
                     const char *upload, size_t *upload_size, void **con_cls) {
    auto *server = static_cast<WebServer::Impl *>(cls);
    using Exchange = WebServer::Impl::Exchange;
    auto *x = static_cast<Exchange *>(*con_cls);
    if (!x) {
        x = new Exchange;
        *con_cls = x;
        x->refused = server->gate(c, url, method, x->why);
        return MHD_YES;
    }
    if (*upload_size != 0) {
        // Read to its end even when refused, so that the client reads the answer.
        x->body_bytes += *upload_size;
        if (x->body_bytes > kMaxBodyBytes && !x->refused) {
            x->refused = 413;
            x->why = "body too large";
        }
        if (!x->refused) x->body.append(upload, *upload_size);
        *upload_size = 0;
        return MHD_YES;
    }
    return server->answer(c, url, method, *x);
}

void onCompleted(void *, MHD_Connection *, void **con_cls, MHD_RequestTerminationCode) {
    delete static_cast<WebServer::Impl::Exchange *>(*con_cls);
    *con_cls = nullptr;
}

} // namespace

WebServer::WebServer(Listener listener, Site &site) {
    const mhd::Library *mhd = mhd::library();
    if (!mhd) {
        ::close(listener.fd);
        throw UsageError("serve is not available in this build: libmicrohttpd (" ENTMLST_MHD_SONAME
                         ") is missing");
    }
    const std::string port = listener.host.substr(listener.host.rfind(':') + 1);
    impl_ = new Impl{*mhd, listener, site, randomToken(), "localhost:" + port};
    impl_->daemon = mhd->MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL | MHD_USE_ITC, 0,
        nullptr, nullptr, &onRequest, impl_, MHD_OPTION_LISTEN_SOCKET, listener.fd,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_CONNECTION_LIMIT, 64u,
        MHD_OPTION_CONNECTION_TIMEOUT, 120u, MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, nullptr,
        MHD_OPTION_END);
    if (!impl_->daemon) {
        ::close(listener.fd);
        delete impl_;
        throw UsageError("cannot start the web server");
    }
}

WebServer::~WebServer() {
    stop();
    delete impl_;
}

std::string WebServer::url() const { return "http://" + impl_->listener.host + "/?token=" + impl_->token; }

void WebServer::stop() {
    if (!impl_->daemon) return;
    impl_->mhd.MHD_stop_daemon(impl_->daemon);
    impl_->daemon = nullptr; // it closed the listening socket
}

} // namespace entmlst
