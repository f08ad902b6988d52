#!/usr/bin/env bash
# scripts/run as an operator uses it, twice on one day: first with no display
# (it brings a virtual one and ends after the rotation), which must end with
# status 0 and say nothing that reads as a failure; then on a desktop, whose
# rotation must give the logs today's dated names again although the first
# run left dated logs of today behind.
# Usage: tests/demo/run_twice.sh   (needs Xvfb; builds build/ as scripts/run does)
# shellcheck disable=SC2016  # checks are passed to eval
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$(mktemp -d) demo=$root/build/demo
# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
run_pid='' XVFB_PID=''
trap 'stop_child "$run_pid"; stop_child "$XVFB_PID"; rm -rf "$OUT"' EXIT

expect "with no display: the rotation is seen, status 0, and no line reads as a failure" eval '
    env -u DISPLAY -u WAYLAND_DISPLAY "$root/scripts/run" >"$OUT/first.out" 2>&1 &&
    grep -q "log folder after the rotation" "$OUT/first.out" && ! grep -Ei "broke|fail|error|kept its name" "$OUT/first.out"'

day=$(date -d '+1 minute' +%Y%m%d)
start_xvfb >/dev/null 2>&1 && touch "$OUT/second-start"
"$root/scripts/run" >"$OUT/second.out" 2>&1 &
run_pid=$!
# A dated log the second run's sensor wrote is newer than that run's start;
# one the first run left is older.
renamed_again() { [[ $demo/log/alert.ids.$day -nt $OUT/second-start && $demo/log/scan.log.$day -nt $OUT/second-start ]]; }
expect "on a desktop, the same day: the rotation gives both logs today's dated names again" \
    eval 'wait_until 200 renamed_again && ! grep "kept its name" "$OUT/second.out"'
stop_child "$run_pid"
summary || { cat "$OUT/checks.log" "$OUT/first.out" "$OUT/second.out" >&2; exit 1; }
