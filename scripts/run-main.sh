#!/usr/bin/env bash
# Sets up a fresh machine, builds with the default preset and runs the main
# job: start-up and a read of the SMTP settings against the default
# simulated device (~/.local/share/entmlst/device.db unless ENTMLST_DEVICE
# says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
# Only what the main job runs: the library, the simulator and the tool (the
# test suites are built by test-all.sh and the presets' workflows).
cmake --build --preset default --target entmlst

entmlst=build/default/tools/entmlst
"$entmlst" init
"$entmlst" get smtp
