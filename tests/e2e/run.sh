#!/usr/bin/env bash
# End-to-end tests of the real brevalt under a real X server and the
# notification areas it meets (hosts.sh); installs what they need first.
# Usage: tests/e2e/run.sh BUILD_DIR   (E2E_ONLY=regex runs some cases only)
# Prints "ok: CASE" or "FAIL: CASE" and "N passed, M failed"; each case's log
# (CASE.log) and a screenshot of a failure go to BUILD_DIR/e2e-out.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
BIN="$build/bin" OUT="$build/e2e-out"
# shellcheck source=scripts/lib/packages.sh
source "$here/../../scripts/lib/packages.sh"
need_packages xvfb trayer xdotool x11-utils imagemagick dbus-daemon libglib2.0-bin xfce4-panel lxqt-panel \
    sway waybar qt6-wayland || { echo "cannot install the desktops' packages" >&2; exit 2; }
for program in brevalt snort close_window; do
    [[ -x $BIN/$program ]] || { echo "missing $BIN/$program: build first" >&2; exit 2; }
done
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$here/hosts.sh"
# shellcheck source=tests/e2e/cases.sh
source "$here/cases.sh"
rm -rf "$OUT" && mkdir -p "$OUT"
XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
# No session bus unless a case starts one: Qt then embeds its icon through
# the X11 tray protocol that trayer speaks.
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SWAYSOCK
export BIN OUT XDG_RUNTIME_DIR QT_QPA_PLATFORM=xcb

run_case() { (trap 'end_case; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT; "$1") >"$OUT/$CASE.log" 2>&1; }
for name in $(declare -F | awk '$3 ~ /^case_/ { print $3 }'); do
    CASE=${name#case_}
    [[ $CASE =~ ${E2E_ONLY:-.} ]] && expect "$CASE" run_case "$name"
done
summary
