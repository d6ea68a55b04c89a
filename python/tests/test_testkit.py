"""The device fixture: settings through the tool, faults and the log through
the C API, programs run on the test's own device, failures as exceptions."""
import contextlib
import ctypes
import json
import os
import stat
import subprocess
import sys

import pytest

from corvellib_testkit import Device, DeviceError, ToolError, services
from corvellib_testkit.simulated_device import ENTMLST, _LogEntry, log_entry_layout


def test_fresh_device_of_its_own(device, tmp_path):
    assert device.path.parent == tmp_path and device.path.exists()
    assert os.environ["ENTMLST_DEVICE"] == str(device.path)
    seen = device.run([sys.executable, "-c", "import os; print(os.environ['ENTMLST_DEVICE'])"])
    assert seen.stdout.strip() == str(device.path)


def test_set_up_is_out_of_band_and_reads_back(device):
    start = device.last_seq()
    device.set("smtp", server="mail.example", port=2525)
    device.set("smtp-event", recipient=2, address="ops@corp.example")
    device.apply({"smtp": {"port": 465}})
    link = {"kind": "0100", "id": 6}
    device.add_job(6, values={"link-0100.name": "to ops", "link-0100.status": 2})
    device.add_job(5, parent=101, values={"ip.address": "to@corp.example"}, links=[link])
    device.add_job(5, links=[link])  # updated: the link is not made twice
    assert device.log(after=start) == []
    assert device.job(5) == {"id": 5, "parent": 101, "values": {"ip.address": "to@corp.example"}, "links": [link]}
    assert (device.get("smtp")["server"], device.get("smtp")["port"]) == ("mail.example", 465)
    assert device.get("smtp-event", recipient=2)["address"] == "ops@corp.example"
    assert "name: to ops, status: 2" in device.run([ENTMLST, "job", "send-result", "5", "0100"]).stdout


@pytest.mark.parametrize(
    "call, error, said",
    [
        (lambda d: d.get("nosuchgroup"), ToolError, "nosuchgroup"),
        (lambda d: d.set("smtp", nosuchfield=1), ToolError, "nosuchfield"),
        (lambda d: d.fault("meNoSuch", 1), DeviceError, "meNoSuch"),
        (lambda d: d.fault("meSTCSetStatus", 1, times="many"), DeviceError, "many"),
        (lambda d: d.clear_faults(987654), DeviceError, "987654"),
        (lambda d: d.log(service="meNoSuch"), DeviceError, "meNoSuch"),
        (lambda d: d.add_job(5, values={"ip.adress": 1}), ToolError, "ip.adress: no job value"),
        (lambda d: d.add_job(5, values={"ip.kind": 256}), ToolError, "ip.kind: .*out of range"),
        (lambda d: d.add_job(5, links=[{"kind": "faks", "id": 6}]), ToolError, "link kind faks"),
        (lambda d: d.job(5), KeyError, "no job 5"),
        # A timeout shows the newest lines it saw.
        (
            lambda d: d.clear_faults(d.fault("meSTCSetStatus", 1, optional=True)) or d.wait_for("never logged", 0.05),
            TimeoutError,
            r"never logged.* saw:\n  .* armed [^\n]*\n  .* cleared ",
        ),
        # Values that are not numbers, text or bytes; fault keys that would
        # smuggle in keys of their own.
        (lambda d: d.set("smtp", server=None), ValueError, "server=None"),
        (lambda d: d.set("smtp", port=True), ValueError, "port=True"),
        (lambda d: d.set("smtp", server=["a"]), ValueError, "server"),
        (lambda d: d.fault("meSTCSetStatus", 1, program="app,times=5"), ValueError, "program"),
        (lambda d: d.fault("meSTCSetStatus", 1, match="smtp.port,write-first"), ValueError, "match"),
        (lambda d: d.fault("meSTCSetStatus", 1, pid="1=2"), ValueError, "pid"),
        (lambda d: d.fault("meSTCSetStatus", "0x1,times=9"), ValueError, "code"),
        (lambda d: d.fault("meSTCSetStatus,times=9", 1), ValueError, "service"),
    ],
)
def test_failures_raise_with_the_message(device, call, error, said):
    before = device.get("smtp")
    with pytest.raises(error, match=said):
        call(device)
    # Nothing armed, nothing written.
    assert device.get("smtp") == before and device.run([ENTMLST, "job", "list"]).stdout == ""
    assert device.run([ENTMLST, "fault", "list"]).stdout.strip() in ("", "no faults armed")


# (fault keywords, Set calls made by three `entmlst set` runs, which of them fail)
FAULTS = [
    (dict(nth=2), [False, True, False]),
    (dict(times=2), [True, True, False]),
    (dict(match="smtp.server", optional=True), [False, False, False]),
    (dict(program="entmlst"), [True, False, False]),
    (dict(program="someoneelse", optional=True), [False, False, False]),
]


@pytest.mark.parametrize("keys, fails", FAULTS)
def test_fault_keywords(device, keys, fails):
    fid = device.fault("meSTCSetStatus", 0x1234, **keys)
    assert fid > 0
    got = [device.run([ENTMLST, "set", "smtp", f"port={port}"]).returncode != 0 for port in (1025, 1026, 1027)]
    assert got == fails
    # Only the firings are of kind "fault"; the arming is of its own.
    assert len(device.log(kind="fault")) == device.hits(fid) == sum(fails)
    assert [e["text"].split()[0] for e in device.log(kind="armed")] == [str(fid)]
    device.clear_faults()


def test_a_fault_that_must_fire_is_reported_until_it_fires(device):
    fid = device.fault("meSTCSetStatus", 0x1234)
    device.fault("meSTCSetStatus", 0x1234, probability=1, seed=1)
    device.fault("meSTCGetStatus", 0x1234, match="smtp.server", optional=True)
    assert device.unfired() == [f"fault {fid} meSTCSetStatus=0x1234"]
    assert device.run([ENTMLST, "set", "smtp", "port=1025"]).returncode == 1
    assert device.unfired() == []


def test_the_fixture_fails_a_test_whose_fault_never_fired(tmp_path):
    (tmp_path / "test_unfired.py").write_text(
        "def test_unfired(device):\n    device.fault('meSTCSetStatus', 0x77, nth=2)\n"
    )
    r = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "corvellib_testkit", "-p", "no:cacheprovider", str(tmp_path)],
        capture_output=True,
        text=True,
    )
    assert r.returncode == 1, r.stdout
    assert "1 passed, 1 error" in r.stdout
    assert "faults armed in this test never fired: fault 1 meSTCSetStatus#2=0x77" in r.stdout


def test_log_filters_and_wait(device, tmp_path):
    start = device.last_seq()
    device.run([ENTMLST, "set", "smtp", "port=2526"])
    calls = device.log(after=start, service="meSTCSetStatus", kind="call")
    assert calls and all(e["service"] == "meSTCSetStatus" and e["kind"] == "call" for e in calls)
    assert all(e["seq"] > start for e in calls) and calls[0]["names"] == {"2": ["smtp.port"]}
    hit = device.wait_for(r"meSTCSetStatus\(", timeout=5, after=start)
    assert hit["seq"] == calls[0]["seq"]
    assert device.log(after=device.last_seq()) == []
    # A program of a long name is found by its whole name, as faults find it.
    (tmp_path / "entmlst-of-a-long-name").symlink_to(ENTMLST)
    assert device.run([tmp_path / "entmlst-of-a-long-name", "set", "smtp", "port=2527"]).returncode == 0
    mine = device.log(program="entmlst-of-a-long-name")
    assert mine and {e["program"] for e in mine} == {"entmlst-of-a-lo"}
    assert device.log(pid=mine[0]["pid"]) == mine and device.log(program="entmlst", pid=mine[0]["pid"]) == []
    # Each entry holds what `entmlst log --json` shows of it, and its line.
    shown = json.loads(device.run([ENTMLST, "--json", "log"]).stdout)
    assert [{k: v for k, v in e.items() if k != "line"} for e in device.log()] == shown


@pytest.mark.parametrize("umask", [0o022, 0o002, 0o000, 0o077, 0o277])
def test_device_files_are_their_owners_alone(_factory_device, tmp_path, umask):
    old = os.umask(umask)
    try:
        made = [Device.copy_of(_factory_device, tmp_path / "copy.db"), Device(tmp_path / "new.db")]
    finally:
        os.umask(old)
    for d in made:
        assert stat.S_IMODE(d.path.stat().st_mode) == 0o600, d.path
        got = d.run([ENTMLST, "get", "smtp"])
        assert got.returncode == 0 and "other users" not in got.stderr, got.stderr
        d.close()


def test_without_a_device_named_the_default_is_made_in_private_folders(tmp_path):
    env = {k: v for k, v in os.environ.items() if k != "ENTMLST_DEVICE"}
    env["XDG_DATA_HOME"] = str(tmp_path / "data" / "share")
    made = subprocess.run([ENTMLST, "init"], env=env, capture_output=True, text=True)
    assert made.returncode == 0, made.stderr
    folder = tmp_path / "data" / "share" / "entmlst"
    assert str(folder / "device.db") in made.stderr and (folder / "device.db").is_file()
    for d in (tmp_path / "data", tmp_path / "data" / "share", folder):
        assert stat.S_IMODE(d.stat().st_mode) == 0o700, d


def test_the_log_entry_is_declared_as_the_library_lays_it_out():
    fields, size = log_entry_layout()
    declared = [(name, getattr(_LogEntry, name).offset, getattr(_LogEntry, name).size) for name, _ in _LogEntry._fields_]
    assert declared == fields
    assert ctypes.sizeof(_LogEntry) == size


def test_the_services_come_from_the_library_and_each_filters_the_log(device):
    names = services()
    assert len(set(names)) == len(names) and {"meSTCGetStatus", "emwGENMonSendMessage"} <= set(names)
    for name in names:
        device.log(service=name)  # an unknown name raises


def test_a_call_trace_snapshot(device, tmp_path):
    # One line per service call logged; the same program from the same state
    # gives the same trace, and one that writes a field more fails with that call.
    device.traces, device.update_traces = tmp_path, True
    device.run([ENTMLST, "set", "smtp", "port=26"])
    device.expect_trace("set.trace")
    calls = [e for e in device.log() if e["kind"] in ("call", "notify", "monitor")]
    assert len((tmp_path / "set.trace").read_text().splitlines()) == len(calls) > 0
    device.update_traces = False
    for words, diff in [(["port=26"], None), (["port=26", "ssl=1"], r"\n\+meSTCSetStatus\([^\n]*smtp\.ssl=1\) = 0x0\n")]:
        device.set("smtp", port=25, ssl=0)
        mark = device.last_seq()
        device.run([ENTMLST, "set", "smtp", *words])
        with pytest.raises(AssertionError, match=diff) if diff else contextlib.nullcontext():
            device.expect_trace("set.trace", after=mark)


def test_update_traces_writes_the_golden_files(tmp_path):
    (tmp_path / "test_snap.py").write_text(
        "from corvellib_testkit import ENTMLST\n\n\ndef test_snap(device):\n"
        "    device.run([ENTMLST, 'set', 'smtp', 'port=26'])\n    device.expect_trace('snap.trace')\n"
    )
    pytest_ = [sys.executable, "-m", "pytest", "-q", "-p", "corvellib_testkit", "-p", "no:cacheprovider", str(tmp_path)]
    missing = subprocess.run(pytest_, capture_output=True, text=True)
    assert missing.returncode == 1 and "no golden trace" in missing.stdout, missing.stdout
    assert subprocess.run(pytest_ + ["--update-traces"], capture_output=True).returncode == 0
    assert "smtp.port=26" in (tmp_path / "snap.trace").read_text()
    assert subprocess.run(pytest_, capture_output=True).returncode == 0
