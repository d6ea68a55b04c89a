#!/usr/bin/env bash
# Host build, release with debug info: the whole suite.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."
# The browser test may skip on a user's machine, never here.
CORVELLIB_REQUIRE_BROWSER=1 cmake --workflow --preset default
