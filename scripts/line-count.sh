#!/usr/bin/env bash
# Test lines against the rest: tracked C and C++ lines under tests/ against
# all other tracked C and C++, blank and comment-only (//) lines aside.
# Prints tests, rest and percent; exits 1 when the tests exceed a third of
# the rest.
set -u
cd "$(dirname "$0")/.."

count() { git ls-files -- "$@" 2>/dev/null | grep -E '\.(c|cc|cpp|cxx|h|hh|hpp)$' | xargs -r cat 2>/dev/null | grep -c -v -E '^\s*(//.*)?$'; }
t=$(count tests) all=$(count .)
code=$((all - t))
if ((code <= 0)); then
  echo "line count: no C or C++ outside tests/" >&2
  exit 1
fi
pct=$((100 * t / code))
echo "line count: tests $t, rest $code, $pct%"
if ((3 * t > code)); then
  echo "line count: the tests exceed a third of the rest ($t > $code / 3); fold tests" >&2
  exit 1
fi
