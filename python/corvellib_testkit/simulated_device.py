"""A simulated device for one test: its file, its faults and its log through
libdevsim's C API (ctypes, in this process: no process start per call), its
settings through `entmlst --json` (the settings document, its field names,
value grammar and checks live in the tool, so the tool is the one place that
reads and writes them)."""
import ctypes
import difflib
import json
import os
import pathlib
import re
import shutil
import subprocess
import time

from . import _paths


class DeviceError(Exception):
    """A call of the simulator's C API failed; the message is its own."""


class ToolError(Exception):
    """An entmlst command failed; the message is what it said on stderr."""

    def __init__(self, message, returncode):
        super().__init__(message)
        self.returncode = returncode


def _located(path):
    """A path of _paths, relative to this package's folder unless absolute."""
    return os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), path))


LIBDEVSIM = _located(_paths.LIBDEVSIM)
ENTMLST = _located(_paths.ENTMLST)


class _LogEntry(ctypes.Structure):
    _fields_ = [
        ("seq", ctypes.c_uint64),
        ("time_us", ctypes.c_int64),
        ("pid", ctypes.c_int32),
        ("result", ctypes.c_uint32),
        ("done", ctypes.c_int),
        ("program", ctypes.c_char_p),
        ("kind", ctypes.c_char_p),
        ("service", ctypes.c_char_p),
        ("args", ctypes.POINTER(ctypes.c_uint64)),
        ("arg_count", ctypes.c_size_t),
        ("text", ctypes.c_char_p),
        ("line", ctypes.c_char_p),
    ]


class _LogRecord(ctypes.Structure):
    _fields_ = [
        ("entry", _LogEntry),
        ("names_arg", ctypes.c_long),
        ("names", ctypes.POINTER(ctypes.c_char_p)),
        ("name_count", ctypes.c_size_t),
    ]


class _LogQuery(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("after", ctypes.c_uint64),
        ("service", ctypes.c_char_p),
        ("kind", ctypes.c_char_p),
        ("program", ctypes.c_char_p),
        ("pid", ctypes.c_long),
    ]


_lib = None


def _library():
    global _lib
    if _lib is None:
        lib = ctypes.CDLL(LIBDEVSIM)
        for name, res, args in [
            ("devsim_open", ctypes.c_int, [ctypes.c_char_p]),
            ("devsim_reset", ctypes.c_int, [ctypes.c_int]),
            ("devsim_fault_add", ctypes.c_uint64, [ctypes.c_char_p]),
            ("devsim_fault_clear", ctypes.c_int, [ctypes.c_uint64]),
            ("devsim_fault_hits", ctypes.c_long, [ctypes.c_uint64]),
            ("devsim_last_seq", ctypes.c_uint64, []),
            ("devsim_last_error", ctypes.c_char_p, []),
            ("devsim_service_name", ctypes.c_char_p, [ctypes.c_size_t]),
            (
                "devsim_log_entry_field",
                ctypes.c_int,
                [ctypes.c_size_t, ctypes.POINTER(ctypes.c_char_p)] + [ctypes.POINTER(ctypes.c_size_t)] * 2,
            ),
            ("devsim_log_entry_size", ctypes.c_size_t, []),
            (
                "devsim_log_read",
                ctypes.c_long,
                [ctypes.c_uint64, ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(_LogEntry), ctypes.c_size_t],
            ),
            (
                "devsim_log_select",
                ctypes.c_long,
                [ctypes.POINTER(_LogQuery), ctypes.POINTER(_LogRecord), ctypes.c_size_t],
            ),
        ]:
            f = getattr(lib, name)
            f.restype, f.argtypes = res, args
        _lib = lib
    return _lib


def services():
    """The device's services by name, in the order of the library's list."""
    lib, names = _library(), []
    while (name := lib.devsim_service_name(len(names))) is not None:
        names.append(name.decode())
    return tuple(names)


def log_entry_layout():
    """(name, offset, size) of each field of devsim_log_entry as the library was
    built, and the struct's size: what _LogEntry must match."""
    lib, fields = _library(), []
    name, offset, size = ctypes.c_char_p(), ctypes.c_size_t(), ctypes.c_size_t()
    while lib.devsim_log_entry_field(len(fields), ctypes.byref(name), ctypes.byref(offset), ctypes.byref(size)) == 0:
        fields.append((name.value.decode(), offset.value, size.value))
    return fields, lib.devsim_log_entry_size()


def _failed(lib):
    raise DeviceError(lib.devsim_last_error().decode(errors="replace"))


def _text(b):
    return b.decode(errors="replace") if b is not None else ""


# Entries read per call of devsim_log_select.
_PAGE = 256
# Lines of the log a wait_for timeout shows.
_SHOWN = 5


class Device:
    """One device file of its own. Programs started with run() use it."""

    def __init__(self, path):
        self.path = pathlib.Path(path)
        self._lib = _library()
        # Faults armed here that must fire: ID -> text, until seen firing.
        self._required = {}
        # Where expect_trace() finds a relative golden file, and whether it rewrites it.
        self.traces, self.update_traces = pathlib.Path.cwd(), False
        if self._lib.devsim_open(os.fsencode(self.path)) != 0:
            _failed(self._lib)
        self._start = self._lib.devsim_last_seq()
        # It holds passwords: its owner's alone, whatever the umask.
        for f in (self.path, *(self.path.with_name(self.path.name + s) for s in ("-wal", "-shm"))):
            if f.is_file():
                os.chmod(f, 0o600)

    @classmethod
    def copy_of(cls, factory, path):
        """A device at path made as a copy of the closed device file factory:
        one file copy instead of creating a device file (which waits for the
        disk at each of its commits). Made 0600, whatever the umask, so that no
        program warns that other users can read it."""
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(fd, "wb") as out, open(factory, "rb") as src:
            os.fchmod(fd, 0o600)
            shutil.copyfileobj(src, out)
        return cls(path)

    def close(self):
        """Lets go of the device file (this process moves to a memory device)."""
        self._lib.devsim_open(b":memory:")

    # ---- settings, through entmlst ----------------------------------------------------
    def _tool(self, *args, input=None):
        r = subprocess.run(
            [ENTMLST, "--device", str(self.path), "--json", *args],
            input=input,
            capture_output=True,
            text=True,
        )
        if r.returncode != 0:
            raise ToolError(r.stderr.strip() or f"entmlst {args[0]} exited {r.returncode}", r.returncode)
        return json.loads(r.stdout) if r.stdout.strip() else None

    @staticmethod
    def _recipient(recipient):
        return [] if recipient is None else ["--recipient", str(recipient)]

    _FORMAT = {"format": "corvellib-settings", "version": 1}

    def set(self, group, recipient=None, **fields):
        """Sets fields of a setting group (numbers, text, or bytes written as hex), as
        a set-up: checked as entmlst set checks them, written out of band (see apply)."""

        def value(k, v):
            # str() of anything else (None, a list) would be stored as its text.
            if isinstance(v, bool) or not isinstance(v, (int, float, str, bytes, bytearray)):
                raise ValueError(f"{group}: {k}={v!r}: a value is a number, text or bytes")
            return "hex:" + v.hex() if isinstance(v, (bytes, bytearray)) else v

        record = {k: value(k, v) for k, v in fields.items()}
        if recipient is not None:
            record = [record if n == recipient else {} for n in (1, 2, 3)]
        return self.apply({group: record})

    def get(self, group, recipient=None):
        """The fields of a setting group, as entmlst get --json shows them."""
        return self._tool("get", group, *self._recipient(recipient))["fields"]

    def apply(self, document):
        """A set-up from a settings document (the format of entmlst export --jobs; format
        and version may be left out): checked whole as entmlst import checks it, then
        written out of band (entmlst import --setup), so that it is not in the log, uses
        no fault and sends no notification."""
        return self._tool("import", "--setup", "-", input=json.dumps({**self._FORMAT, **document}))

    def add_job(self, id, parent=None, values=None, links=None):
        """Creates or updates job `id`: values by name ({"ip.address": "to@corp.example"},
        numbers, text or hex: bytes), links as [{"kind": "fax", "id": 6}]."""
        job = {"id": id, "values": values or {}, "links": links or []}
        if parent is not None:
            job["parent"] = parent
        return self.apply({"jobs": [job]})

    def job(self, id):
        """Job `id` as add_job takes it: {"id", "parent" (if any), "values", "links"};
        KeyError when the device has no such job."""
        for job in self._tool("export", "--jobs")["jobs"]:
            if job["id"] == id:
                return job
        raise KeyError(f"no job {id} on the device")

    # ---- faults and the log, through the C API --------------------------------------------
    def fault(
        self,
        service,
        code,
        nth=None,
        times=None,
        match=None,
        pid=None,
        program=None,
        probability=None,
        seed=None,
        optional=False,
    ):
        """Arms a fault (the keys of entmlst fault add) and returns its ID.
        The fixture fails the test at teardown when the fault never fired,
        unless it has a probability or optional is true."""

        def word(key, v):
            # The parts are joined into the fault's text: a ',' or '=' in one
            # would arm keys the caller never gave.
            text = str(v)
            if any(c in ",=" or ord(c) < 0x20 for c in text):
                raise ValueError(f"fault {key}={text!r}: no ',', '=' or control character in a value")
            return text

        code = hex(code) if isinstance(code, int) else code
        spec = word("service", service) + ("" if nth is None else "#" + word("nth", nth)) + "=" + word("code", code)
        for key, v in [
            ("times", times),
            ("match", match),
            ("pid", pid),
            ("program", program),
            ("probability", probability),
            ("seed", seed),
        ]:
            if v is not None:
                spec += f",{key}={word(key, v)}"
        fid = self._lib.devsim_fault_add(spec.encode())
        if fid == 0:
            _failed(self._lib)
        if probability is None and not optional:
            self._required[fid] = spec
        return fid

    def _settle(self):
        """Forgets the required faults that have fired (while their hits can still be read)."""
        for fid in [f for f in self._required if self._lib.devsim_fault_hits(f) > 0]:
            del self._required[fid]

    def unfired(self):
        """The required faults armed here that never fired, each as "fault ID TEXT"."""
        self._settle()
        return [f"fault {fid} {spec}" for fid, spec in self._required.items()]

    def clear_faults(self, id=None):
        """Disarms one fault, or every fault when id is None."""
        self._settle()
        if self._lib.devsim_fault_clear(0 if id is None else id) != 0:
            _failed(self._lib)

    def hits(self, id):
        """How many times the fault with this ID has fired."""
        n = self._lib.devsim_fault_hits(id)
        if n < 0:
            _failed(self._lib)
        return n

    def last_seq(self):
        return self._lib.devsim_last_seq()

    def log(self, after=None, service=None, kind=None, program=None, pid=None):
        """Log entries after seq `after` (all when None), oldest first, as dicts
        with the fields of `entmlst log --json` and the entry's line. kind is
        one of `entmlst log --kind`'s: "fault" is a firing, "armed" and
        "cleared" the arming and clearing of a fault. program and pid keep
        the entries of the programs of that name or of that process."""
        enc = lambda s: None if s is None else s.encode()
        query = _LogQuery(ctypes.sizeof(_LogQuery), after or 0, enc(service), enc(kind), enc(program), pid or 0)
        page = (_LogRecord * _PAGE)()
        out = []
        while True:
            n = self._lib.devsim_log_select(ctypes.byref(query), page, _PAGE)
            if n < 0:
                _failed(self._lib)
            for r in page[:n]:
                e = r.entry
                names = [_text(r.names[i]) for i in range(r.name_count)]
                out.append(
                    {
                        "seq": e.seq,
                        "time_us": e.time_us,
                        "pid": e.pid,
                        "program": _text(e.program),
                        "kind": _text(e.kind),
                        "service": _text(e.service),
                        "args": [e.args[i] for i in range(e.arg_count)],
                        "names": {str(r.names_arg): names} if r.names_arg >= 0 else {},
                        "result": e.result,
                        "done": bool(e.done),
                        "text": _text(e.text),
                        "line": _text(e.line),
                    }
                )
            if n < _PAGE:
                return out
            query.after = out[-1]["seq"]

    def trace(self, after=None):
        """The service calls logged after seq `after` (since the device was made
        when None) as a call trace: the text of `entmlst run --trace`."""
        after = self._start if after is None else after
        r = subprocess.run(
            [ENTMLST, "--device", str(self.path), "log", "--trace", "--after", str(after)],
            capture_output=True,
            text=True,
        )
        if r.returncode != 0:
            raise ToolError(r.stderr.strip(), r.returncode)
        return r.stdout

    def expect_trace(self, golden, after=None):
        """Fails the test with a unified diff when trace(after) differs from the
        golden file (relative to the test's folder); with pytest --update-traces
        writes it instead."""
        golden = self.traces / golden
        got = self.trace(after)
        if self.update_traces:
            golden.parent.mkdir(parents=True, exist_ok=True)
            golden.write_text(got)
            return
        if not golden.is_file():
            raise AssertionError(f"no golden trace {golden}: write it with pytest --update-traces")
        want = golden.read_text()
        if got != want:
            diff = difflib.unified_diff(want.splitlines(True), got.splitlines(True), str(golden), "this test")
            raise AssertionError(f"the calls differ from {golden}:\n" + "".join(diff))

    def wait_for(self, pattern, timeout, after=None, **filters):
        """The first entry after seq `after` (the whole log when None) whose line
        matches the regular expression, among those filters (log()'s service,
        kind, program, pid) keep; raises TimeoutError after timeout seconds,
        showing the newest lines it saw."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        after = after or 0
        seen = []
        while True:
            for e in self.log(after=after, **filters):
                if regex.search(e["line"]):
                    return e
                after = e["seq"]
                seen = (seen + [e["line"]])[-_SHOWN:]
            if time.monotonic() >= deadline:
                shown = "".join("\n  " + line for line in seen) if seen else " none"
                raise TimeoutError(f"no log entry matched {pattern!r} within {timeout} s; the newest it saw:{shown}")
            time.sleep(0.01)

    # ---- programs under test ---------------------------------------------------------------
    def run(self, argv, **kwargs):
        """Runs a program on this device (ENTMLST_DEVICE set); output captured as text
        unless kwargs say otherwise."""
        env = dict(kwargs.pop("env", None) or os.environ)
        env["ENTMLST_DEVICE"] = str(self.path)
        if "stdout" not in kwargs and "stderr" not in kwargs:
            kwargs.setdefault("capture_output", True)
        kwargs.setdefault("text", True)
        return subprocess.run(argv, env=env, **kwargs)
