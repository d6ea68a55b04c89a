"""smtp_settings against a device of its own: it moves the device to the
new server, it writes those two fields and no other, and when the device
refuses the write it fails and says so. The set-up (settings, jobs and
links) is not in the log: only the program is."""
import os
import subprocess

APP = os.environ.get("SMTP_SETTINGS", "./smtp_settings")


def test_moves_to_the_new_server(device):
    device.set("smtp", server="old.example", port=25)
    result = device.run([APP])
    assert result.returncode == 0, result.stderr
    smtp = device.get("smtp")
    assert (smtp["server"], smtp["port"]) == ("smtp.corp.example", 587)


def test_writes_the_server_and_the_port_alone(device):
    # Its calls against the snapshot beside this file: a program that starts
    # writing another field fails here, the new call in the diff.
    # pytest --update-traces writes the snapshot anew.
    assert device.run([APP]).returncode == 0
    device.expect_trace("smtp_settings.trace")


def test_a_refused_write_fails_the_program(device):
    device.fault("meSTCSetStatus", 0x1234, program="smtp_settings")
    app = subprocess.Popen([APP], stderr=subprocess.PIPE, text=True)  # on the test's device too
    # Another program's call, waited for as it happens.
    device.wait_for(r"call meSTCSetStatus\(.*= 0x1234", timeout=30, program="smtp_settings")
    assert app.wait(timeout=30) == 1
    assert "entMLSTSetSmtp failed: 0x70020006" in app.stderr.read()


def test_a_set_up_with_a_job_and_a_link_stays_out_of_the_log(device):
    device.set("smtp", server="old.example")
    device.add_job(6, values={"fax.name": "fax one", "fax.status": 2})
    device.add_job(5, parent=100, values={"ip.address": "to@corp.example"}, links=[{"kind": "fax", "id": 6}])
    assert device.job(5)["links"] == [{"kind": "fax", "id": 6}]
    assert device.run([APP]).returncode == 0
    assert {e["program"] for e in device.log(kind="call")} == {"smtp_settings"}
