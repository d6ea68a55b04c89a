#!/usr/bin/env bash
# Host build, release with debug info: the whole suite.
set -euo pipefail
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
