#!/usr/bin/env bash
# Sets up a fresh machine, builds with the default preset and runs the main
# job: start-up and a read of the SMTP settings against the default
# simulated device (~/.local/share/entmlst/device.db unless ENTMLST_DEVICE
# says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

entmlst=build/default/tools/entmlst
"$entmlst" init
"$entmlst" get smtp
