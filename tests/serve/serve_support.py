"""What the serve tests share: a device of their own in a private HOME, the
entmlst command on it, and an `entmlst serve` process with raw HTTP to it."""
import http.client
import json
import os
import re
import select
import signal
import subprocess
import tempfile
import time


class Device:
    def __init__(self, tool):
        self.tool = tool
        self.home = tempfile.mkdtemp(prefix="serve-test-")
        self.path = os.path.join(self.home, "device.db")
        self.env = dict(os.environ, HOME=self.home, XDG_DATA_HOME=os.path.join(self.home, "data"),
                        ENTMLST_DEVICE=self.path)

    def run(self, *args, check=True):
        r = subprocess.run([self.tool, *args], env=self.env, capture_output=True, text=True, timeout=60)
        if check and r.returncode != 0:
            raise AssertionError(f"entmlst {' '.join(args)}: exit {r.returncode}: {r.stderr.strip()}")
        return r

    def json(self, *args):
        return json.loads(self.run("--json", *args).stdout)

    def field(self, group, name):
        return self.json("get", group)["fields"][name]


class Server:
    """entmlst serve --port 0 on the device; its first line is the page's address."""

    def __init__(self, device, *args):
        self.proc = subprocess.Popen([device.tool, "serve", "--port", "0", *args], env=device.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.proc.stdout], [], [], 30)
        self.url = self.proc.stdout.readline().strip() if ready else ""
        m = re.fullmatch(r"http://([^/]+)/\?token=([0-9a-f]{32})", self.url)
        if not m:
            self.proc.kill()
            raise AssertionError(f"serve printed {self.url!r}; stderr: {self.proc.stderr.read()}")
        self.host, self.token = m.groups()
        self.origin = "http://" + self.host

    def request(self, method, path, headers=None, body=None, token=True):
        """One request on a connection of its own; Host is the server's unless given."""
        headers = dict(headers or {})
        if token is True:
            path += ("&" if "?" in path else "?") + "token=" + self.token
        addr, port = self.host.rsplit(":", 1)
        conn = http.client.HTTPConnection(addr.strip("[]"), int(port), timeout=30)
        conn.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
        headers.setdefault("Host", self.host)
        if body is not None:
            body = body.encode() if isinstance(body, str) else body
            if "Transfer-Encoding" not in headers:
                headers.setdefault("Content-Length", str(len(body)))
        for k, v in headers.items():
            conn.putheader(k, v)
        conn.endheaders(body)
        r = conn.getresponse()
        data = r.read()
        conn.close()
        return r.status, dict(r.getheaders()), data

    def post(self, path, payload, **kw):
        headers = {"Origin": self.origin, "Content-Type": "application/json", **kw.pop("headers", {})}
        return self.request("POST", path, headers, json.dumps(payload), **kw)

    def stop(self, sig=signal.SIGTERM):
        """Sends sig; answers the exit status and how long it took."""
        start = time.monotonic()
        self.proc.send_signal(sig)
        status = self.proc.wait(timeout=30)
        return status, time.monotonic() - start

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def wait_until(what, predicate, timeout=30):
    """predicate's first true answer, trying until timeout seconds passed; an
    exception (a page element not there yet) counts as not yet."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            got = predicate()
            if got:
                return got
        except Exception as e:  # the page builds its elements as the device's state comes
            last = e
        if time.monotonic() > deadline:
            raise AssertionError(f"{what}: not within {timeout} s" + (f"; last: {last}" if last else ""))
        time.sleep(0.1)


def run_checks(checks, *args):
    """Runs each check in order; the first failure ends the run, exit 1."""
    for check in checks:
        try:
            check(*args)
        except Exception as e:  # every failure is the test's
            print(f"FAIL {check.__name__}: {type(e).__name__}: {e}")
            return 1
        print(f"ok   {check.__name__}")
    return 0
