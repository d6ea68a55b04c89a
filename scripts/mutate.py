#!/usr/bin/env python3
"""Mutation testing: does the suite notice a small wrong change to the code?

Makes single-point mutants of the sources (src/ by default), and for each one
rebuilds, runs the suite and prints `killed` (a test failed, named), `survived`
(every test passed: a fault the suite lets through) or `no-compile`, then the
totals per folder. The work happens in a copy of the tree under the build
folder, so the checkout is never touched and can be edited meanwhile; with
--in-place (for CI, on a fresh checkout) the checkout's own files are mutated
and put back, and an existing build folder of it is reused.

Mutants:
  compare   a comparison flipped: == !=, < >=, > <=
  logic     && ||
  constant  an integer constant changed (0 -> 1, 1 -> 0, N -> N+1)
  call      a call statement deleted
  return    a returned value changed (true/false swapped, zero -> 1, a value -> {})

Equivalent mutants (changes that cannot change behaviour) are listed in
scripts/mutants-equivalent.txt by file and mutated text, with the reason;
they are reported but not counted.

The suite runs in two passes, the quick tests first and then the slow ones,
each stopping at the first failure, so a killed mutant costs little.

  scripts/mutate.py                                   # every mutant of src/
  scripts/mutate.py --sample 20 --seed 1 --min-score 90
  scripts/mutate.py --only sim tools --sample 100
"""
import argparse
import filecmp
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from collections import Counter
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EQUIVALENTS = os.path.join(ROOT, "scripts", "mutants-equivalent.txt")
SOURCE_EXT = (".cpp", ".h")
# Compile-time checks of the tables (that header, and every `namespace check`
# block): a weaker check changes no behaviour and a stronger one stops the
# build, so their mutants say nothing about the suite.
NOT_MUTATED = ("src/frame/table_check.h",)
# Tests that start programs or take seconds each; they run after the rest
# has passed, which is where most mutants of the library die.
SLOW_TESTS = "settings_schema|serve_|package_|example_|readme_blocks|testkit_pytest|DeviceFile|ToolTest|SettingsDocument"

COMPARE = {"==": "!=", "!=": "==", "<=": ">", ">=": "<", "<": ">=", ">": "<="}
# A binary operator has spaces around it (the formatter writes them so), which
# keeps out <<, ->, <=> and template brackets.
COMPARE_RE = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
LOGIC_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
CONSTANT_RE = re.compile(r"(?<![\w.'])(0x[0-9a-fA-F]+|\d+)(?:[uU]?[lL]{0,2})?(?![\w.'])")
CALL_RE = re.compile(r"^(\s*)((?:[\w:]+(?:\.|->))*[\w:]+\(.*\));\s*$")
# Returned values that are already zero: their mutant returns 1 instead.
ZERO_VALUES = ("0", "0u", "{}", "nullptr", "ENTMLST_OK")
RETURN_RE = re.compile(r"^(\s*return\s+)(.+?);\s*$")


@dataclass
class Mutant:
    path: str  # relative to ROOT
    line: int  # 1-based
    kind: str
    before: str
    after: str

    def label(self):
        return f"{self.path}:{self.line} {self.kind}: {self.after.strip()}"

    def folder(self):
        return self.path.split("/", 1)[0]


def skip_line(path, text):
    s = text.strip()
    # The registry's field lists are macro rows: their IDs, masks and flags
    # are the library's data, so they are mutated too.
    table_row = path.startswith("registry/") and s.startswith("X(")
    return (
        not s
        or s.startswith(("//", "#", "/*", "*", "case ", "static_assert"))
        or "static_assert" in s
        or (not table_row and (s.startswith("X(") or s.endswith("\\")))
    )


def code_part(text):
    """The line without its // comment, string and character literals blanked."""
    out, i, quote = [], 0, None
    while i < len(text):
        c = text[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" ")
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(" ")
        elif text.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def constant_value(literal):
    if literal.lower().startswith("0x"):
        return int(literal, 16)
    if len(literal) > 1 and literal.startswith("0"):
        return int(literal, 8)
    return int(literal)


def render(literal, value):
    if literal.lower().startswith("0x"):
        return hex(value)
    if len(literal) > 1 and literal.startswith("0"):
        return "0" + oct(value)[2:]
    return str(value)


def mutants_of_line(path, number, text):
    if skip_line(path, text):
        return []
    code = code_part(text)
    found = []

    def at(kind, start, end, replacement):
        found.append(Mutant(path, number, kind, text, text[:start] + replacement + text[end:]))

    for m in COMPARE_RE.finditer(code):
        at("compare", m.start(), m.end(), COMPARE[m.group(1)])
    for m in LOGIC_RE.finditer(code):
        at("logic", m.start(), m.end(), "||" if m.group(1) == "&&" else "&&")
    if not re.match(r"\s*(enum|template|alignas|#)", code):
        for m in CONSTANT_RE.finditer(code):
            literal = m.group(1)
            value = constant_value(literal)
            at("constant", m.start(1), m.end(1), render(literal, value + 1 if value != 1 else 0))
    call = CALL_RE.match(code)
    if (
        call
        and not code.lstrip().startswith(("return", "if", "for", "while", "switch", "else"))
        and " = " not in code
    ):
        found.append(Mutant(path, number, "call", text, call.group(1) + ";\n"))
    ret = RETURN_RE.match(code)
    if ret and ret.group(2).strip() in ("0", "0u"):
        ret = None  # the constant mutant above already makes it 1
    if ret:
        value = ret.group(2).strip()
        if value in ("true", "false"):
            new = "false" if value == "true" else "true"
        elif value in ZERO_VALUES:
            new = "1"
        else:
            new = "{}"
        if new is not None:
            found.append(Mutant(path, number, "return", text, ret.group(1) + new + ";\n"))
    return found


def source_files(paths):
    """The C++ sources below each folder (or the file itself), relative to ROOT."""
    out = []
    for path in paths:
        full = os.path.join(ROOT, path)
        if os.path.isfile(full):
            out.append(os.path.relpath(full, ROOT))
            continue
        for base, dirs, files in os.walk(full):
            dirs.sort()
            out.extend(os.path.relpath(os.path.join(base, n), ROOT) for n in sorted(files))
    return [f for f in out if f.endswith(SOURCE_EXT) and f not in NOT_MUTATED]


def all_mutants(paths):
    out = []
    for rel in source_files(paths):
        in_comment = in_check = False
        with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
            for number, text in enumerate(f, 1):
                s = text.strip()
                if in_check or s == "namespace check {":
                    in_check = not s.startswith("} // namespace check")
                    continue
                if in_comment:
                    in_comment = "*/" not in s
                    continue
                if s.startswith("/*") and "*/" not in s:
                    in_comment = True
                    continue
                out.extend(mutants_of_line(rel, number, text))
    return out


def read_equivalents():
    """(path, mutated text stripped) -> reason."""
    known = {}
    if not os.path.exists(EQUIVALENTS):
        return known
    with open(EQUIVALENTS, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            if not raw.strip() or raw.startswith("#"):
                continue
            parts = raw.rstrip("\n").split("\t")
            if len(parts) != 3 or not all(p.strip() for p in parts):
                sys.exit(f"{EQUIVALENTS}:{number}: want PATH<TAB>MUTATED TEXT<TAB>REASON")
            known[(parts[0], parts[1].strip())] = parts[2]
    return known


def sync_tree(tree):
    """Copies the checkout's tracked files, as they are now, into tree.

    A file whose bytes are unchanged is left alone, so the build there redoes
    only what changed."""
    files = subprocess.run(
        ["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        check=True,
        stdout=subprocess.PIPE,
    ).stdout.decode().split("\0")
    for rel in filter(None, files):
        src, dst = os.path.join(ROOT, rel), os.path.join(tree, rel)
        if not os.path.isfile(src) or os.path.islink(src):
            continue
        if os.path.exists(dst) and filecmp.cmp(src, dst, shallow=False):
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        # Copied with a new time: the checkout's own time can be older than
        # the build's object of the copy it replaces, which would then be kept.
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)


class Runner:
    def __init__(self, tree, build, jobs, timeout, log):
        self.tree, self.build, self.jobs, self.timeout, self.log = tree, build, jobs, timeout, log

    def run(self, cmd, timeout=None):
        try:
            r = subprocess.run(
                cmd, cwd=self.tree, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout
            )
        except subprocess.TimeoutExpired:
            return None, ""
        out = r.stdout.decode(errors="replace")
        if self.log:
            self.log.write(out)
            self.log.flush()
        return r.returncode, out

    def configure(self):
        """A new build folder only: an existing one keeps its own settings."""
        if os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            return True
        # Warnings stay warnings: a deleted call that leaves a parameter unused
        # is still a mutant the suite should notice.
        cmd = ["cmake", "-S", self.tree, "-B", self.build, "-DCMAKE_BUILD_TYPE=Debug", "-DCORVELLIB_WERROR=OFF",
               "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON"]
        if shutil.which("ninja"):
            cmd += ["-G", "Ninja"]
        return self.run(cmd)[0] == 0

    def compile(self, timeout=None):
        return self.run(["cmake", "--build", self.build, "-j", str(self.jobs)], timeout)[0] == 0

    def suite(self, include, exclude):
        """The failing tests (empty: all passed), quick ones first."""
        base = ["ctest", "--test-dir", self.build, "-j", str(self.jobs), "--stop-on-failure",
                "--timeout", str(self.timeout)]
        passes = [["-R", include]] if include else [["-E", SLOW_TESTS], ["-R", SLOW_TESTS]]
        for chosen in passes:
            if exclude:
                chosen = chosen + ["-E", exclude] if chosen[0] == "-R" else ["-E", f"{chosen[1]}|{exclude}"]
            code, out = self.run(base + chosen, self.timeout * 4)
            if code is None:
                return ["(the suite ran past its time)"]
            if code != 0 and "No tests were found" not in out:
                return re.findall(r"^\s*\d+ - (\S+) \(", out, re.M) or ["(ctest failed)"]
        return []


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--with-sim-tools", action="store_true", help="also mutate sim/ and tools/")
    ap.add_argument("--only", nargs="+", metavar="PATH", help="mutate only these folders or files (e.g. sim tools)")
    ap.add_argument("--sample", type=int, help="this many mutants, chosen at random (default: all)")
    ap.add_argument("--seed", type=int, default=1, help="seed of the sample")
    ap.add_argument("--build-dir", default="build/mutate", help="holds the tree's copy and its build")
    ap.add_argument("--in-place", action="store_true", help="mutate the checkout itself; build in --build-dir")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--tests", default="", help="ctest -R pattern (default: the whole suite)")
    ap.add_argument("--exclude", default="", help="ctest -E pattern")
    ap.add_argument("--timeout", type=int, default=300, help="seconds a build or one test may take")
    ap.add_argument("--min-score", type=float, help="fail below this percent of counted mutants killed")
    ap.add_argument("--pick", metavar="FILE", help="only the mutants whose label is on a line of FILE "
                    "(e.g. lines of an earlier run's output, to run them again)")
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--log", help="write build and test output here")
    a = ap.parse_args()

    folders = a.only or (["src", "sim", "tools"] if a.with_sim_tools else ["src"])
    mutants = all_mutants(folders)
    if a.pick:
        picked = set()
        with open(a.pick, encoding="utf-8") as f:
            for line in f:
                line = re.sub(r"^(killed|survived|no-compile|equivalent)\s+", "", line.strip())
                picked.add(re.sub(r"  (by |\().*$", "", line))
        mutants = [m for m in mutants if m.label() in picked]
    if a.sample is not None and a.sample < len(mutants):
        mutants = random.Random(a.seed).sample(mutants, a.sample)
    # One file at a time: its copy is put back once, after its last mutant.
    mutants.sort(key=lambda m: (m.path, m.line, m.after))
    if a.list:
        for m in mutants:
            print(m.label())
        print(f"{len(mutants)} mutants")
        return 0

    equivalent = read_equivalents()
    # Stopped from outside: the finally below still puts the sources back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = os.path.join(ROOT, a.build_dir)
    if a.in_place:
        tree, build = ROOT, work
    else:
        tree, build = os.path.join(work, "tree"), os.path.join(work, "build")
        sync_tree(tree)
    log = open(a.log, "w") if a.log else None
    runner = Runner(tree, build, a.jobs, a.timeout, log)
    if not runner.configure() or not runner.compile():
        sys.exit("mutate: the unmutated tree does not build")
    if runner.suite(a.tests, a.exclude):
        sys.exit("mutate: the suite fails without any mutant")

    totals = {}
    survivors = []
    started = time.monotonic()
    original = {}
    try:
        for i, m in enumerate(mutants):
            copy = os.path.join(tree, m.path)
            if m.path not in original:
                with open(copy, encoding="utf-8") as f:
                    original[m.path] = f.readlines()
            lines = list(original[m.path])
            lines[m.line - 1] = m.after
            reason = equivalent.get((m.path, m.after.strip()))
            killer = ""
            if reason:
                verdict = "equivalent"
            else:
                with open(copy, "w", encoding="utf-8") as f:
                    f.writelines(lines)
                if not runner.compile(a.timeout):
                    verdict = "no-compile"
                else:
                    failed = runner.suite(a.tests, a.exclude)
                    verdict = "killed" if failed else "survived"
                    killer = f"  by {failed[0]}" if failed else ""
            last_of_file = i + 1 == len(mutants) or mutants[i + 1].path != m.path
            if last_of_file:
                with open(copy, "w", encoding="utf-8") as f:
                    f.writelines(original.pop(m.path))
            totals.setdefault(m.folder(), Counter())[verdict] += 1
            if verdict == "survived":
                survivors.append(m)
            note = f"  ({reason})" if reason else killer
            print(f"{verdict:10} {m.label()}{note}", flush=True)
    finally:
        for path, text in original.items():
            with open(os.path.join(tree, path), "w", encoding="utf-8") as f:
                f.writelines(text)
        if a.in_place:
            runner.compile()  # the build in step with the checkout again

    killed = sum(t["killed"] for t in totals.values())
    survived = sum(t["survived"] for t in totals.values())
    for folder, t in sorted(totals.items()):
        counted = t["killed"] + t["survived"]
        print(
            f"{folder}: {sum(t.values())} mutants; killed {t['killed']}, survived {t['survived']}, "
            f"no-compile {t['no-compile']}, equivalent {t['equivalent']}; "
            f"score {100.0 * t['killed'] / counted if counted else 100.0:.1f}%"
        )
    score = 100.0 * killed / (killed + survived) if killed + survived else 100.0
    print(f"score {score:.1f}% of {killed + survived} counted mutants in {time.monotonic() - started:.0f} s")
    if survivors:
        print("survivors:")
        for m in survivors:
            print(f"  {m.label()}")
    if a.min_score is not None and score < a.min_score:
        print(f"mutate: score {score:.1f}% is below {a.min_score}%", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
