#!/bin/sh
# smtp_settings on a fresh device of its own each time: its calls compared
# with the snapshot beside this script, then with the device refusing its
# settings write, then with a fault it never meets. entmlst run exits with
# the program's status, or 1 when a check fails (calls that differ from the
# snapshot, a fault that never fired); the device the user has configured
# is never touched.
set -eu
app=${1:-./smtp_settings}

# expect STATUS ARGS...: entmlst run ARGS exits STATUS.
expect() {
    want=$1
    shift
    status=0
    entmlst run "$@" || status=$?
    if [ "$status" -ne "$want" ]; then
        echo "entmlst run $*: exited $status, not $want" >&2
        exit 1
    fi
}

expect 0 --expect-trace "$(dirname "$0")/smtp_settings.trace" -- "$app"
expect 1 --require-fired --fault 'meSTCSetStatus=0x1234' -- "$app"
# It writes twice: a fault on a third write never fires, and fails the run.
expect 1 --require-fired --fault 'meSTCSetStatus#3=0x1234' -q -- "$app"
echo "all runs as expected"
