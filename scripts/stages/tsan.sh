#!/usr/bin/env bash
# The thread stress test under ThreadSanitizer: any race report fails the stage.
# TSAN_OPTIONS given here are added to the preset's.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset tsan
