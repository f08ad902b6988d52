# shellcheck shell=bash
# What the package tests share beyond tests/e2e/lib.sh (wait_until, Xvfb,
# trayer): counted checks, whose output goes to $OUT/checks.log.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
passed=0 failed=0

expect() {
    local what=$1
    shift
    echo "--- $what" >>"$OUT/checks.log"
    if "$@" >>"$OUT/checks.log" 2>&1; then
        echo "ok: $what" && passed=$((passed + 1))
    else
        echo "FAIL: $what" && failed=$((failed + 1))
    fi
}
summary() {
    echo "$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}

# Names and checksums of a folder's files: unchanged when no log was lost.
log_sums() { (cd "$1" && sha256sum -- *) 2>/dev/null | sort; }
# A minute that Brevalt, started in the next few seconds, meets on one of its
# first two 30-second ticks.
soon_minute() { date -d '+35 seconds' +%H:%M; }
# Both logs in folder $1 have today's dated names (or yesterday's, past midnight).
rotated() {
    local day
    for day in $(date +%Y%m%d) $(date -d '-1 minute' +%Y%m%d); do
        [[ -s $1/alert.ids.$day && -s $1/scan.log.$day ]] && return 0
    done
    return 1
}
