"""The `device` fixture's set-up plus tear-down, as pytest runs it: median
over many tests, next to tests that take only tmp_path and monkeypatch
(the part pytest itself spends). Goal: at most 20 ms.

    PYTHONPATH=<build>/python /usr/bin/python3 bench/fixture_bench.py [N]
"""
import statistics
import sys
import tempfile
import time
from pathlib import Path

import pytest

N = int(sys.argv[1]) if len(sys.argv) > 1 else 200

TESTS = f"""
import pytest

@pytest.mark.parametrize("i", range({N}))
def test_device(device, i):
    pass

@pytest.mark.parametrize("i", range({N}))
def test_bare(tmp_path, monkeypatch, i):
    pass
"""


class Timer:
    def __init__(self):
        self.spent = {}

    def _time(self, item):
        start = time.perf_counter()
        yield
        self.spent[item.nodeid] = self.spent.get(item.nodeid, 0.0) + time.perf_counter() - start

    @pytest.hookimpl(hookwrapper=True)
    def pytest_runtest_setup(self, item):
        yield from self._time(item)

    @pytest.hookimpl(hookwrapper=True)
    def pytest_runtest_teardown(self, item):
        yield from self._time(item)


with tempfile.TemporaryDirectory() as work:
    (Path(work) / "test_fixture_cost.py").write_text(TESTS)
    timer = Timer()
    rc = pytest.main(["-q", "-p", "corvellib_testkit", "-p", "no:cacheprovider", work], plugins=[timer])
    if rc != 0:
        sys.exit(f"the benchmark's tests failed ({rc})")

ms = {kind: [1000 * t for k, t in timer.spent.items() if f"::test_{kind}[" in k] for kind in ("device", "bare")}
device, bare = statistics.median(ms["device"]), statistics.median(ms["bare"])
print(f"device fixture set-up + tear-down: median {device:.2f} ms over {N} tests (goal <= 20 ms)")
print(f"  of which pytest's tmp_path and monkeypatch: median {bare:.2f} ms; the device itself {device - bare:.2f} ms")
