"""corvellib_testkit: test your program against a simulated device of its own.

Load it as a pytest plugin (`pytest -p corvellib_testkit`) and take the
`device` fixture: a fresh device file under the test's tmp_path, with
ENTMLST_DEVICE naming it for every program the test starts.
"""
from .simulated_device import ENTMLST, LIBDEVSIM, Device, DeviceError, ToolError, services

__all__ = ["Device", "DeviceError", "ToolError", "ENTMLST", "LIBDEVSIM", "services"]

try:
    import pytest
except ImportError:  # used without pytest: Device alone
    pytest = None

if pytest is not None:

    def pytest_addoption(parser):
        parser.addoption(
            "--update-traces",
            action="store_true",
            help="corvellib_testkit: device.expect_trace() writes its golden files instead of comparing",
        )

    @pytest.fixture(scope="session")
    def _factory_device(tmp_path_factory):
        """A device file with factory settings, made once per session."""
        path = tmp_path_factory.mktemp("corvellib_testkit") / "factory.db"
        Device(path).close()
        return path

    @pytest.fixture
    def device(_factory_device, tmp_path, monkeypatch, request):
        """A fresh simulated device for this test (see Device)."""
        d = Device.copy_of(_factory_device, tmp_path / "device.db")
        d.traces, d.update_traces = request.path.parent, request.config.getoption("update_traces")
        monkeypatch.setenv("ENTMLST_DEVICE", str(d.path))
        try:
            yield d
            unfired = d.unfired()
        finally:
            d.close()
        # A fault that never fired tested nothing: the test's teardown error.
        if unfired:
            pytest.fail("faults armed in this test never fired: " + "; ".join(unfired), pytrace=False)
