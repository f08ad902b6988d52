# shellcheck shell=bash
# What the package tests share beyond tests/e2e/lib.sh (wait_until, Xvfb,
# trayer): counted checks and the logs' fingerprint. Needs OUT, a folder for
# the commands' output.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
passed=0 failed=0

# expect DESCRIPTION COMMAND...: counts one check; its output goes to $OUT/checks.log.
expect() {
    local what=$1
    shift
    echo "--- $what" >>"$OUT/checks.log"
    if "$@" >>"$OUT/checks.log" 2>&1; then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAIL: $what"
        failed=$((failed + 1))
    fi
}

summary() {
    echo "$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}

# Names and checksums of the files in a log folder: equal before and after
# an upgrade or uninstall when no log was lost or changed.
log_sums() { (cd "$1" && sha256sum -- *) 2>/dev/null | sort; }

# The HH:MM that Brevalt, started within a few seconds from now, sees on one
# of its first two 30-second ticks.
soon_minute() { date -d '+35 seconds' +%H:%M; }

# rotated DIR: both logs have a dated name of today's (or, past midnight, yesterday's).
rotated() {
    local day
    for day in $(date +%Y%m%d) $(date -d '-1 minute' +%Y%m%d); do
        [[ -s $1/alert.ids.$day && -s $1/scan.log.$day ]] && return 0
    done
    return 1
}
