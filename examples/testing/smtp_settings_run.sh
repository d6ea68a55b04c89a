#!/bin/sh
# smtp_settings on a fresh device of its own, twice: as it is, its calls
# compared with the snapshot beside this script, then with the device
# refusing its settings write. entmlst run exits with the program's status
# (1 when its calls differ from the snapshot), and the device the user has
# configured is never touched.
set -eu
app=${1:-./smtp_settings}

entmlst run --expect-trace "$(dirname "$0")/smtp_settings.trace" -- "$app"

status=0
entmlst run --fault 'meSTCSetStatus=0x1234' -- "$app" || status=$?
if [ "$status" -ne 1 ]; then
    echo "smtp_settings exited $status, not 1, when the device refused its write" >&2
    exit 1
fi
echo "both runs as expected"
