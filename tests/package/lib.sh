# shellcheck shell=bash
# What the package tests share beyond tests/e2e/lib.sh and hosts.sh (waits,
# Xvfb, trayer, rotation checks): counted checks, whose output goes to
# $OUT/checks.log.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/hosts.sh"
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
