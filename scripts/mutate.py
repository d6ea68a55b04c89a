#!/usr/bin/env python3
"""Mutation testing: does the suite notice a small wrong change to the code?

Samples single-point mutants of the sources (src/ by default), and for each
one rebuilds, runs the suite and prints `killed` (a test failed), `survived`
(every test passed: a fault the suite lets through) or `no-compile`, then the
totals. The source tree is always put back, also on Ctrl-C.

Mutants:
  compare   a comparison flipped: == !=, < >=, > <=
  logic     && ||
  constant  an integer constant changed (0 -> 1, N -> N+1)
  call      a call statement deleted
  return    a returned value changed (true/false swapped, a number or name -> 0)

Equivalent mutants (changes that cannot change behaviour) are listed in
scripts/mutants-equivalent.txt, by file and mutated text, with the reason;
they are reported but not counted.

  scripts/mutate.py                      # every mutant of src/
  scripts/mutate.py --sample 20 --seed 1 --min-score 90
  scripts/mutate.py --with-sim-tools --sample 100
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EQUIVALENTS = os.path.join(ROOT, "scripts", "mutants-equivalent.txt")
SOURCE_EXT = (".cpp", ".h")

COMPARE = {"==": "!=", "!=": "==", "<=": ">", ">=": "<", "<": ">=", ">": "<="}
# A comparison: not part of <<, >>, ->, <=>, template brackets are excluded by
# requiring spaces around it, as the formatter writes every binary operator.
COMPARE_RE = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
LOGIC_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
CONSTANT_RE = re.compile(r"(?<![\w.])(0x[0-9a-fA-F]+|\d+)(?:[uU]?[lL]{0,2})?(?![\w.])")
CALL_RE = re.compile(r"^(\s*)((?:[\w:]+(?:\.|->))*[\w:]+\(.*\));\s*$")
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


def skip_line(text):
    s = text.strip()
    return (
        not s
        or s.startswith(("//", "#", "/*", "*", "static_assert", "X(", "case "))
        or "static_assert" in s
        or s.endswith("\\")
    )


def code_part(text):
    """The line without its // comment and string literals (replaced by spaces)."""
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


def mutants_of_line(path, number, text):
    if skip_line(text):
        return []
    code = code_part(text)
    found = []

    def at(kind, start, end, replacement):
        found.append(Mutant(path, number, kind, text, text[:start] + replacement + text[end:]))

    for m in COMPARE_RE.finditer(code):
        # "template <" and "std::vector<int> x" are written without spaces around <.
        at("compare", m.start(), m.end(), COMPARE[m.group(1)])
    for m in LOGIC_RE.finditer(code):
        at("logic", m.start(), m.end(), "||" if m.group(1) == "&&" else "&&")
    if not re.match(r"\s*(enum|constexpr .*\[\]|inline constexpr|alignas)", code):
        for m in CONSTANT_RE.finditer(code):
            literal = m.group(1)
            value = int(literal, 0)
            new = value + 1 if value != 1 else 0
            rendered = hex(new) if literal.lower().startswith("0x") else str(new)
            at("constant", m.start(1), m.end(1), rendered)
    call = CALL_RE.match(code)
    if call and not code.lstrip().startswith(("return", "if", "for", "while", "switch")) and "=" not in code:
        found.append(Mutant(path, number, "call", text, call.group(1) + ";\n"))
    ret = RETURN_RE.match(code)
    if ret:
        value = ret.group(2).strip()
        if value == "true":
            new = "false"
        elif value == "false":
            new = "true"
        elif value in ("0", "nullptr", "{}"):
            new = None
        else:
            new = "{}"
        if new is not None:
            found.append(Mutant(path, number, "return", text, ret.group(1) + new + ";\n"))
    return found


def all_mutants(folders):
    out = []
    for folder in folders:
        for base, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_EXT):
                    continue
                full = os.path.join(base, name)
                rel = os.path.relpath(full, ROOT)
                in_block_comment = False
                with open(full, encoding="utf-8") as f:
                    for number, text in enumerate(f, 1):
                        s = text.strip()
                        if in_block_comment:
                            in_block_comment = "*/" not in s
                            continue
                        if s.startswith("/*") and "*/" not in s:
                            in_block_comment = True
                            continue
                        out.extend(mutants_of_line(rel, number, text))
    return out


def read_equivalents():
    """(path, mutated text stripped) -> reason."""
    known = {}
    if not os.path.exists(EQUIVALENTS):
        return known
    with open(EQUIVALENTS, encoding="utf-8") as f:
        for raw in f:
            if not raw.strip() or raw.startswith("#"):
                continue
            parts = raw.rstrip("\n").split("\t")
            if len(parts) != 3:
                sys.exit(f"{EQUIVALENTS}: want PATH<TAB>MUTATED TEXT<TAB>REASON: {raw!r}")
            known[(parts[0], parts[1].strip())] = parts[2]
    return known


def run(cmd, timeout, log):
    try:
        r = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    if log:
        log.write(r.stdout.decode(errors="replace"))
    return r.returncode


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--with-sim-tools", action="store_true", help="also mutate sim/ and tools/")
    ap.add_argument("--only", nargs="*", help="mutate only these folders (e.g. sim tools)")
    ap.add_argument("--sample", type=int, help="this many mutants, chosen at random (default: all)")
    ap.add_argument("--seed", type=int, default=1, help="seed of the sample")
    ap.add_argument("--build-dir", default="build/mutate")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--tests", default="", help="ctest -R pattern (default: the whole suite)")
    ap.add_argument("--exclude", default="", help="ctest -E pattern")
    ap.add_argument("--timeout", type=int, default=300, help="seconds a mutant's build or suite may take")
    ap.add_argument("--min-score", type=float, help="fail below this percent of counted mutants killed")
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--log", help="append build and test output here")
    a = ap.parse_args()

    folders = a.only or (["src", "sim", "tools"] if a.with_sim_tools else ["src"])
    mutants = all_mutants(folders)
    if a.sample is not None and a.sample < len(mutants):
        mutants = random.Random(a.seed).sample(mutants, a.sample)
        mutants.sort(key=lambda m: (m.path, m.line))
    if a.list:
        for m in mutants:
            print(m.label())
        print(f"{len(mutants)} mutants")
        return 0

    equivalent = read_equivalents()
    build = os.path.join(ROOT, a.build_dir)
    log = open(a.log, "a") if a.log else None
    configure = ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Debug", "-DCORVELLIB_WERROR=ON"]
    if shutil.which("ninja"):
        configure += ["-G", "Ninja"] if not os.path.exists(os.path.join(build, "CMakeCache.txt")) else []
    if run(configure, a.timeout, log) != 0 or run(["cmake", "--build", build, "-j", str(a.jobs)], None, log) != 0:
        sys.exit("mutate: the unmutated tree does not build")
    ctest = ["ctest", "--test-dir", build, "-j", str(a.jobs), "--stop-on-failure"]
    if a.tests:
        ctest += ["-R", a.tests]
    if a.exclude:
        ctest += ["-E", a.exclude]
    if run(ctest, a.timeout, log) != 0:
        sys.exit("mutate: the suite fails without any mutant")

    totals = {"killed": 0, "survived": 0, "no-compile": 0, "equivalent": 0}
    survivors = []
    started = time.monotonic()
    for m in mutants:
        full = os.path.join(ROOT, m.path)
        with open(full, encoding="utf-8") as f:
            original = f.readlines()
        mutated = list(original)
        mutated[m.line - 1] = m.after
        reason = equivalent.get((m.path, m.after.strip()))
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.writelines(mutated)
            if reason:
                verdict = "equivalent"
            elif run(["cmake", "--build", build, "-j", str(a.jobs)], a.timeout, log) != 0:
                verdict = "no-compile"
            else:
                verdict = "survived" if run(ctest, a.timeout, log) == 0 else "killed"
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.writelines(original)
            os.utime(full)
        totals[verdict] += 1
        if verdict == "survived":
            survivors.append(m)
        print(f"{verdict:10} {m.label()}" + (f"  ({reason})" if reason else ""), flush=True)

    # Put the build back in step with the sources.
    run(["cmake", "--build", build, "-j", str(a.jobs)], None, log)
    counted = totals["killed"] + totals["survived"]
    score = 100.0 * totals["killed"] / counted if counted else 100.0
    print(
        f"mutants: {len(mutants)}; killed {totals['killed']}, survived {totals['survived']}, "
        f"no-compile {totals['no-compile']}, equivalent {totals['equivalent']}; "
        f"score {score:.1f}% of {counted} in {time.monotonic() - started:.0f} s"
    )
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
