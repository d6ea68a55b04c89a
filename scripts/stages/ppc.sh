#!/usr/bin/env bash
# The device build: 32-bit big-endian PowerPC, -Os. Builds everything, runs
# the whole suite under qemu-ppc and checks the library's size budget.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."
cmake --workflow --preset ppc
scripts/size-report.sh build/ppc
