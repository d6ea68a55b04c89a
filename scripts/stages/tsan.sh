#!/usr/bin/env bash
# The thread stress test under ThreadSanitizer: any race report fails the stage.
set -euo pipefail
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target thread_stress_test
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}" \
  ctest --preset tsan -R '^ThreadStressTest\.'
