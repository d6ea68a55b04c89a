#!/usr/bin/env python3
"""Runs the README's shell blocks as a reader would, top to bottom, in a
private HOME with the build installed as ~/corvellib and the example
client as ./app and ./smtp_settings. A block that installs, builds, runs the
suites or benchmarks is left out and named below; a C or Python block must
be one of the examples, which their own tests run; other blocks (JSON, text)
show no commands. A shell block that is neither run nor named fails the
test, and so does a name that matches no block.

    readme_blocks_test.py README BUILD_DIR EXAMPLE_PROGRAM
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

# First line of each block left out -> why.
LEFT_OUT = {
    "scripts/run-main.sh": "installs packages and builds",
    "ENTMLSTSMTP smtp;": "a fragment of a C program",
    "cmake --workflow --preset default": "builds and runs the suites",
    "cmake -S . -B b -DCMAKE_BUILD_TYPE=Release": "builds and runs the suites",
    "cmake --preset default && cmake --build --preset default": "builds and installs",
    "cmake --preset ppc && cmake --build --preset ppc": "cross-builds",
    "cmake --install build/ppc --prefix /opt/corvellib": "installs",
    "scripts/mutate.py --list": "runs the suites",
    "scripts/bench.sh": "benchmarks",
}


def blocks(text):
    for m in re.finditer(r"^```(\w*)\n(.*?)^```$", text, re.M | re.S):
        yield m.group(1), m.group(2)


def run_block(body, cwd, env):
    """Runs a block in a session of its own, its output in a file, so that a
    process it left in the background (a follower the block never reached
    the end of) can neither hold the test up nor outlive it."""
    with tempfile.TemporaryFile(mode="w+") as out:
        p = subprocess.Popen(["bash", "-e", "-o", "pipefail", "-c", body], cwd=cwd, env=env, stdout=out,
                             stderr=subprocess.STDOUT, start_new_session=True)
        try:
            status = p.wait(timeout=300)
        except subprocess.TimeoutExpired:
            status = "timeout (300 s)"
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        p.wait()
        out.seek(0)
        return status, out.read()


def main():
    readme, build, program = sys.argv[1:4]
    examples = os.path.join(os.path.dirname(os.path.abspath(readme)), "examples")
    shown = {}
    for root, _, files in os.walk(examples):
        for f in files:
            with open(os.path.join(root, f), encoding="utf-8", errors="replace") as fh:
                shown[fh.read()] = os.path.relpath(os.path.join(root, f), os.path.dirname(examples))
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    tmp = tempfile.mkdtemp(prefix="readme-")
    home, cwd = os.path.join(tmp, "home"), os.path.join(tmp, "work")
    os.makedirs(home)
    os.makedirs(cwd)
    env = {k: v for k, v in os.environ.items() if not k.startswith(("ENTMLST_", "XDG_"))}
    env.update(HOME=home, XDG_DATA_HOME=os.path.join(home, ".local/share"),
               ENTMLST_DEVICE=os.path.join(home, "device.db"),
               PATH=os.pathsep.join([os.path.join(home, "corvellib/bin"), "/usr/bin", env.get("PATH", "")]))
    subprocess.run(["cmake", "--install", build, "--prefix", os.path.join(home, "corvellib")],
                   check=True, stdout=subprocess.DEVNULL, env=env)
    for name in ("app", "smtp_settings"):
        shutil.copy(program, os.path.join(cwd, name))
    os.symlink(examples, os.path.join(cwd, "examples"))
    shutil.copy(os.path.join(examples, "testing/smtp_settings.trace"), cwd)  # beside the shell example
    failed, used = [], set()
    for lang, body in blocks(text):
        first = body.split("\n", 1)[0].strip()
        left = next((k for k in LEFT_OUT if first.startswith(k)), None)
        if left:
            used.add(left)
            print(f"left out: {first[:60]} ({LEFT_OUT[left]})")
        elif lang in ("c", "python"):
            if body not in shown:
                failed.append(f"a {lang} block that is no example: {first}")
            else:
                print(f"run by its own test: {shown[body]}")
        elif lang == "sh":
            status, out = run_block(body, cwd, env)
            print(f"ran: {first[:60]}: exit {status}")
            if status != 0:
                failed.append(f"block `{first}` exited {status}:\n{out}")
        else:
            print(f"shown only ({lang or 'text'}): {first[:60]}")
    failed += [f"left out, but no block starts so: {k}" for k in LEFT_OUT if k not in used]
    for f in failed:
        print("FAILED: " + f, file=sys.stderr)
    if not failed:
        shutil.rmtree(tmp)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
