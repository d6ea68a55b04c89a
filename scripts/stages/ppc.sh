#!/usr/bin/env bash
# The device build: 32-bit big-endian PowerPC, -Os. Builds everything, runs
# the whole suite under qemu-ppc and checks the library's size budget.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset ppc
scripts/size-report.sh build/ppc
