"""entmlst serve in headless Chromium, driven through selenium as a user
would: the page reads the device, changes it the way the tool does, and
follows what other processes do. Writes a PNG of each view to OUTDIR.
Exits 77 when Chromium, its driver or selenium is missing (1 with
CORVELLIB_REQUIRE_BROWSER=1, as the test stages set).

    serve_browser_test.py ENTMLST PROGRAM LIBDEVSIM OUTDIR
PROGRAM is a program of the library's that reads and writes SMTP settings;
LIBDEVSIM the simulator's library, whose services another program calls.
"""
import ctypes
import ctypes.util
import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import time

from serve_support import Device, Server, run_checks, wait_until

CHROMIUM, DRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
HOSTILE_TEXT = "<script>document.title='ran'</script><img src=x onerror=\"document.title='ran'\">"
HOSTILE_NAME = "<b onerror=x>"  # a program's name keeps 15 bytes

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select
except ImportError:
    webdriver = None


def browser(home):
    opts = Options()
    opts.binary_location = CHROMIUM
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-quic", "--window-size=1400,1000", f"--user-data-dir={home}/chromium"]:
        opts.add_argument(flag)
    return webdriver.Chrome(service=Service(DRIVER), options=opts)


class Page:
    def __init__(self, driver, out):
        self.driver, self.out = driver, out

    def find(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def value(self, element_id):
        return self.find(element_id).get_attribute("value")

    def text(self, element_id):
        return self.find(element_id).get_attribute("textContent")

    def view(self, name):
        self.find("tabs").find_element(By.CSS_SELECTOR, f"a[data-view='{name}']").click()
        wait_until(f"the {name} view", lambda: self.find(f"{name}-view").is_displayed())

    def type_into(self, element_id, text):
        box = self.find(element_id)
        box.clear()
        box.send_keys(text)

    def rows(self, table_id):
        """The cells' texts of each row, read at once: the page replaces rows as the device changes."""
        return self.driver.execute_script(
            "return [...document.querySelectorAll(arguments[0])].map(r => [...r.cells].map(c => c.textContent))",
            f"#{table_id} tbody tr")

    def shoot(self, name, whole=True):
        """The view as a PNG: the whole page, or what a window of 1400 x 1000 shows."""
        if whole:
            height = self.driver.execute_script("return document.documentElement.scrollHeight")
            self.driver.set_window_size(1400, min(max(height + 40, 700), 4000))
        self.driver.save_screenshot(os.path.join(self.out, f"serve-{name}.png"))
        self.driver.set_window_size(1400, 1000)


def log_from_another_program(dev, name, text, count=1):
    """Monitor lines from a process named name, through libdevsim's services."""
    script = textwrap.dedent(f"""
        import ctypes, sys
        libc = ctypes.CDLL(None)
        libc.prctl(15, {name.encode()!r}, 0, 0, 0)
        lib = ctypes.CDLL({dev.libdevsim!r})
        lib.devsim_open.argtypes = [ctypes.c_char_p]
        if lib.devsim_open({dev.path.encode()!r}) != 0:
            sys.exit("cannot open the device")
        for i in range({count}):
            lib.emwGENMonSendMessage(1, 1, 0, b"%s", {text.encode()!r})
    """)
    subprocess.run([sys.executable, "-c", script], env=dev.env, check=True, timeout=60)


def reads_the_smtp_server(dev, srv, page):
    page.driver.get(srv.url)
    wait_until("the SMTP server in its field", lambda: page.value("f-smtp-server") == "mail.corp.example")
    assert page.value("f-smtp-password") == "" and page.find("f-smtp-password").get_attribute("type") == "password"
    assert "pw-never-sent" not in page.driver.page_source
    wait_until("the live mark", lambda: page.text("live") == "live")
    page.shoot("settings")


def reads_out_of_band(dev, srv, page):
    # Ten seconds of the page open: the armed fault stays unspent and serve logs nothing.
    time.sleep(10)
    fault = dev.json("fault", "list")[0]
    assert (fault["service"], fault["hits"], fault["spent"]) == ("meSTCGetStatus", 0, False), fault
    assert dev.json("log", "--pid", str(srv.proc.pid)) == []
    dev.run("fault", "clear")


def changes_the_port_in_the_form(dev, srv, page):
    page.type_into("f-smtp-port", "587")
    page.find("save-smtp").click()
    wait_until("port 587 on the device", lambda: dev.field("smtp", "port") == 587)
    wait_until("the Set's result", lambda: page.text("result-smtp").startswith("ENTMLST_OK"))


def shows_another_process_set(dev, srv, page):
    dev.run("set", "smtp", "server=other.corp.example")
    wait_until("the other process's server on the page", lambda: page.value("f-smtp-server") == "other.corp.example")


def shows_a_refused_value_beside_its_field(dev, srv, page):
    before = dev.run("export").stdout
    tool = dev.run("set", "smtp", "port=99999", check=False).stderr.strip().removeprefix("entmlst: ")
    page.type_into("f-smtp-port", "99999")
    page.find("save-smtp").click()
    wait_until("the refusal beside the port", lambda: page.text("e-smtp-port") == tool)
    assert page.text("e-smtp-server") == ""
    assert dev.run("export").stdout == before
    page.type_into("f-smtp-port", "587")


def arms_a_fault_that_fires_in_a_program(dev, srv, page):
    page.view("faults")
    page.type_into("fault-spec", "meSTCGetStatus=0x55")
    page.find("fault-arm").click()
    fault = wait_until("the fault armed", lambda: dev.json("fault", "list"))[0]
    wait_until("the fault on the page", lambda: page.driver.find_elements(By.ID, f"fault-{fault['id']}"))
    r = subprocess.run([dev.program], env=dev.env, capture_output=True, text=True, timeout=60)
    assert r.returncode != 0 and "entMLSTGetSmtp failed" in r.stderr, (r.returncode, r.stderr)
    wait_until("its hit on the page", lambda: page.text(f"fault-{fault['id']}").find("spent") >= 0)
    cells = next(r for r in page.rows("faults") if r[0] == str(fault["id"]))
    assert cells[1:4] == ["meSTCGetStatus=0x55", "1", "spent"], cells
    page.shoot("faults")
    page.view("log")
    wait_until("the program's failed read, live", lambda: any(r[5] == "meSTCGetStatus" and r[7] == "0x00000055"
                                                              for r in page.rows("log")))
    page.shoot("log", whole=False)


def shows_device_text_as_text(dev, srv, page):
    page.view("log")
    log_from_another_program(dev, HOSTILE_NAME, HOSTILE_TEXT)
    wait_until("the hostile entry, live", lambda: HOSTILE_NAME in page.text("log"))
    cells = next(r for r in page.rows("log") if r[3] == HOSTILE_NAME)
    assert HOSTILE_TEXT in cells[8], cells
    assert not page.driver.find_elements(By.CSS_SELECTOR, "#log b, #log img, #log script")
    assert page.driver.title == "Simulated device"
    try:
        page.driver.switch_to.alert
        raise AssertionError("an alert is open")
    except NoAlertPresentException:
        pass


def pages_back_and_filters_the_log(dev, srv, page):
    log_from_another_program(dev, "pager", "entry", count=250)
    wait_until("the newest page", lambda: "pager" in page.text("log"))
    newest = dev.json("log", "-n", "1")[0]["seq"]
    seqs = lambda: [int(r[0]) for r in page.rows("log")]
    wait_until("100 entries up to the newest", lambda: seqs() == list(range(newest, newest - 100, -1)))
    page.find("log-older").click()
    wait_until("the page before", lambda: seqs() == list(range(newest - 100, newest - 200, -1)))
    page.find("log-newer").click()
    wait_until("back to the newest", lambda: seqs()[:1] == [newest])
    Select(page.find("log-kind")).select_by_value("notify")
    page.find("log-filter").submit()
    wanted = [e["seq"] for e in dev.json("log", "--kind", "notify", "-n", "100")][::-1]
    wait_until("only notifications", lambda: seqs() == wanted)
    Select(page.find("log-kind")).select_by_value("")
    page.type_into("log-program", HOSTILE_NAME)
    page.find("log-filter").submit()
    wait_until("only the hostile program's entry", lambda: len(seqs()) == 1)
    page.type_into("log-program", "")
    page.find("log-filter").submit()
    page.shoot("log-pages", whole=False)


def shows_jobs_and_status(dev, srv, page):
    dev.run("job", "create", "7", "ip.address=to@corp.example")
    dev.run("job", "create", "8")
    dev.run("job", "link", "7", "mail", "8")
    page.view("jobs")
    wait_until("job 7 with its value and link", lambda: "ip.address = to@corp.example" in page.text("jobs")
               and "mail → 8" in page.text("jobs"))
    page.shoot("jobs")
    page.view("status")
    wait_until("the check's answer", lambda: page.text("check") == "ok")
    assert dev.path in page.text("status")
    page.shoot("status")
    page.view("settings")


def main():
    tool, program, libdevsim, out = sys.argv[1:5]
    missing = [p for p in (CHROMIUM, DRIVER) if not os.access(p, os.X_OK)] + (["selenium"] if not webdriver else [])
    if missing:
        print(f"serve_browser_test: skipped, missing {', '.join(missing)}")
        return 1 if os.environ.get("CORVELLIB_REQUIRE_BROWSER") == "1" else 77
    os.makedirs(out, exist_ok=True)
    dev = Device(tool)
    dev.program = program
    dev.libdevsim = libdevsim
    dev.run("init")
    dev.run("set", "smtp", "server=mail.corp.example", "password=pw-never-sent-9")
    dev.run("fault", "add", "meSTCGetStatus=0x55")
    srv = Server(dev)
    driver = browser(dev.home)
    try:
        return run_checks([reads_the_smtp_server, reads_out_of_band, changes_the_port_in_the_form,
                           shows_another_process_set, shows_a_refused_value_beside_its_field,
                           arms_a_fault_that_fires_in_a_program, shows_device_text_as_text,
                           pages_back_and_filters_the_log, shows_jobs_and_status], dev, srv, Page(driver, out))
    finally:
        driver.quit()
        srv.close()


if __name__ == "__main__":
    sys.exit(main())
