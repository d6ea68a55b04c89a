"""entmlst serve over raw HTTP: who may ask, what it answers, what it never
sends, how it refuses and how it ends.

    serve_security_test.py ENTMLST
"""
import json
import os
import re
import signal
import socket
import sys

from serve_support import Device, Server, run_checks, wait_until

SECRET = "pw-never-sent-7Q"


def setup(dev):
    dev.run("init")
    dev.run("set", "smtp", "server=mail.corp.example", f"password={SECRET}")
    dev.run("set", "pop3user", "--recipient", "2", f"password={SECRET}")


def every_route_wants_the_token(dev, srv):
    for path in ["/", "/page.js", "/page.css", "/api/state", "/api/log", "/events"]:
        assert srv.request("GET", path, token=False)[0] == 403, path
        assert srv.request("GET", path + "?token=" + "0" * 32, token=False)[0] == 403, path
    assert srv.request("GET", "/")[0] == 200
    assert srv.post("/api/fault/clear", {}, token=False)[0] == 403


def the_host_must_be_the_servers(dev, srv):
    port = srv.host.rsplit(":", 1)[1]
    for host in ["evil.example:" + port, "evil.example", "127.0.0.1:1", "localhost.evil.example:" + port, ""]:
        assert srv.request("GET", "/", {"Host": host})[0] == 403, host
    assert srv.request("GET", "/", {"Host": "localhost:" + port})[0] == 200


def changes_are_same_origin_posts(dev, srv):
    before = dev.field("smtp", "port")
    change = {"group": "smtp", "values": {"port": "2525"}}
    for origin in ["http://evil.example", "null", "http://localhost.evil.example"]:
        assert srv.post("/api/set", change, headers={"Origin": origin})[0] == 403, origin
    assert srv.request("POST", "/api/set", {"Content-Type": "application/json"}, json.dumps(change))[0] == 403
    assert srv.request("GET", "/api/set")[0] == 405
    assert srv.request("PUT", "/api/set", {"Origin": srv.origin}, "{}")[0] == 405
    assert dev.field("smtp", "port") == before
    assert srv.post("/api/set", change)[0] == 200
    assert dev.field("smtp", "port") == 2525


def oversized_requests_get_413(dev, srv):
    assert srv.request("GET", "/", {"X-Pad": "a" * 7000})[0] == 200
    assert srv.request("GET", "/", {"X-Pad": "a" * 9000})[0] == 413
    assert srv.request("GET", "/", {f"X-Pad-{i}": "a" * 1000 for i in range(9)})[0] == 413
    assert srv.request("GET", "/", {"X-Pad": "a" * 100_000})[0] == 413
    before = dev.field("smtp", "port")
    big = {"group": "smtp", "values": {"port": "26"}, "pad": "a" * (64 * 1024)}
    assert srv.post("/api/set", big)[0] == 413
    # Without a length to go by: counted as it comes.
    chunk = json.dumps(big).encode()[: 40 * 1024]
    chunked = b"".join(b"%x\r\n%s\r\n" % (len(chunk), chunk) for _ in range(2)) + b"0\r\n\r\n"
    assert srv.request("POST", "/api/set", {"Origin": srv.origin, "Transfer-Encoding": "chunked"}, chunked)[0] == 413
    assert dev.field("smtp", "port") == before


def every_answer_carries_the_policy(dev, srv):
    answers = [srv.request("GET", "/"), srv.request("GET", "/", token=False), srv.request("GET", "/nothing"),
               srv.request("GET", "/", {"X-Pad": "a" * 9000}), srv.post("/api/set", {})]
    for status, headers, _ in answers:
        csp = headers.get("Content-Security-Policy", "")
        assert "script-src 'self'" in csp and "unsafe-inline" not in csp, (status, csp)
        assert headers.get("Referrer-Policy") == "no-referrer", status
    page = srv.request("GET", "/")[2].decode()
    assert all("src=" in tag for tag in re.findall(r"<script[^>]*>", page)), "an inline script"
    assert not re.search(r"\son[a-z]+\s*=", page), "an inline event handler"


def passwords_are_never_sent(dev, srv):
    def everything():
        bodies = [srv.request("GET", p)[2] for p in ["/", "/page.js", "/api/state", "/api/log?n=1000"]]
        return b"".join(bodies).decode()
    assert SECRET not in everything()
    state = json.loads(srv.request("GET", "/api/state")[2])
    smtp = next(g for g in state["groups"] if g["name"] == "smtp")
    password = next(f for f in smtp["records"][0]["fields"] if f["name"] == "password")
    assert password == {"name": "password", "kind": "text", "secret": True}
    # One set from the page: stored, and still never sent.
    assert srv.post("/api/set", {"group": "smtp", "values": {"password": "new-" + SECRET}})[0] == 200
    assert dev.run("get", "smtp", "--show-secrets").stdout.count("new-" + SECRET) == 1
    assert SECRET not in everything()


def refusals_are_the_tools_own(dev, srv):
    before = dev.run("export").stdout
    tool = dev.run("set", "smtp", "port=abc", check=False)
    assert tool.returncode == 2
    status, _, body = srv.post("/api/set", {"group": "smtp", "values": {"port": "abc", "server": "x.example"}})
    assert status == 400
    assert json.loads(body) == {"refused": {"port": tool.stderr.strip().removeprefix("entmlst: ")}}
    for values in [{}, "port=1", None]:
        assert srv.post("/api/set", {"group": "smtp", "values": values})[0] == 400, values
    tool = dev.run("fault", "add", "meSTCNoSuch=1", check=False)
    status, _, body = srv.post("/api/fault/add", {"fault": "meSTCNoSuch=1"})
    assert (status, json.loads(body)["error"]) == (400, tool.stderr.strip().removeprefix("entmlst: "))
    assert dev.run("export").stdout == before


def changes_go_as_the_tools_do(dev, srv):
    assert srv.post("/api/fault/add", {"fault": "meSTCGetStatus#5=0x55"})[0] == 200
    faults = dev.json("fault", "list")
    assert [f["fault"] for f in faults] == ["meSTCGetStatus#5=0x55"]
    assert srv.post("/api/fault/clear", {"id": faults[0]["id"]})[0] == 200
    assert dev.json("fault", "list") == []
    assert srv.post("/api/fault/clear", {"id": faults[0]["id"]})[0] == 400
    pid = str(srv.proc.pid)
    assert srv.post("/api/set", {"group": "smtp", "values": {"port": "587"}})[0] == 200
    # The Set is the library's, logged as serve's own calls.
    assert any(e["service"] == "meSTCSetStatus" for e in dev.json("log", "--pid", pid))
    assert srv.post("/api/reset", {})[0] == 200
    assert dev.field("smtp", "port") == 25


def text_from_the_device_stays_data(dev, srv):
    # The log's JSON escapes what it must; the page puts every text in as text.
    js = srv.request("GET", "/page.js")[2].decode()
    assert "innerHTML" not in js and "insertAdjacentHTML" not in js and "document.write" not in js


def busy_port_and_bad_bind_exit_2(dev, srv):
    port = srv.host.rsplit(":", 1)[1]
    for args in [["--port", port], ["--bind", "not-an-address"], ["--bind", "192.0.2.1"], ["--bind", "0.0.0.0"],
                 ["--bind", "::"], ["--port", "70000"],
                 ["--port", "0", "--fail", "meSTCGetStatus=0x55"]]:
        r = dev.run("serve", *args, check=False)
        assert r.returncode == 2, (args, r.returncode, r.stderr)
        assert r.stdout == "", args


def unusable_device_exits_3(dev, srv):
    bad = os.path.join(dev.home, "not-a-device.db")
    with open(bad, "wb") as f:
        f.write(b"this is not a device file" * 100)
    r = dev.run("--device", bad, "serve", "--port", "0", check=False)
    assert r.returncode == 3, (r.returncode, r.stderr)


def signals_end_it_at_once_with_0(dev, srv):
    before = dev.run("export").stdout
    for sig in [signal.SIGTERM, signal.SIGINT]:
        other = Server(dev)
        try:
            # With a stream open: it ends with the server.
            with _stream(other):
                status, _ = other.stop(sig)
        finally:
            other.close()
        assert status == 0, (sig, status)
    assert dev.run("export").stdout == before


class _stream:
    """An event stream held open while the server stops."""

    def __init__(self, srv):
        addr, port = srv.host.rsplit(":", 1)
        self.sock = socket.create_connection((addr, int(port)), timeout=30)
        self.sock.sendall(f"GET /events?token={srv.token} HTTP/1.1\r\nHost: {srv.host}\r\n\r\n".encode())
        wait_until("the stream's first event", lambda: b"event: state" in self.sock.recv(65536))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.sock.close()


def main():
    dev = Device(sys.argv[1])
    setup(dev)
    srv = Server(dev)
    try:
        return run_checks([every_route_wants_the_token, the_host_must_be_the_servers, changes_are_same_origin_posts,
                           oversized_requests_get_413, every_answer_carries_the_policy, passwords_are_never_sent,
                           refusals_are_the_tools_own, changes_go_as_the_tools_do, text_from_the_device_stays_data,
                           busy_port_and_bad_bind_exit_2, unusable_device_exits_3, signals_end_it_at_once_with_0],
                          dev, srv)
    finally:
        srv.close()


if __name__ == "__main__":
    sys.exit(main())
