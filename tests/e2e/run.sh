#!/usr/bin/env bash
# End-to-end tests of the real brevalt under a real X server and tray host.
# Usage: tests/e2e/run.sh BUILD_DIR
# Prints "PASS name" or "FAIL name" per case and "N passed, M failed";
# each case's log and screenshots go to BUILD_DIR/e2e-out.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
BIN="$build/bin"
OUT="$build/e2e-out"
export BIN OUT

for tool in Xvfb trayer xdotool xwininfo import; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 2; }
done
for program in brevalt snort; do
    [[ -x $BIN/$program ]] || { echo "missing $BIN/$program: build first" >&2; exit 2; }
done

# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/cases.sh
source "$here/cases.sh"

rm -rf "$OUT"
mkdir -p "$OUT"
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
# No session bus: Qt then embeds its icon through the X11 tray protocol
# that trayer speaks, not through a StatusNotifier host.
unset DBUS_SESSION_BUS_ADDRESS
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

cleanup() {
    stop_child "${TRAYER_PID:-}"
    stop_child "${XVFB_PID:-}"
    rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT

start_xvfb || exit 2
start_trayer || exit 2

passed=0
failed=0
for name in $(declare -F | awk '$3 ~ /^case_/ { print $3 }'); do
    CASE=${name#case_}
    if (
        trap 'end_case; stop_child "${NO_TRAY_XVFB_PID:-}"' EXIT
        "$name"
    ) >"$OUT/$CASE.log" 2>&1; then
        echo "PASS $CASE"
        passed=$((passed + 1))
    else
        echo "FAIL $CASE"
        echo "  log: $OUT/$CASE.log" >&2
        failed=$((failed + 1))
    fi
done
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
