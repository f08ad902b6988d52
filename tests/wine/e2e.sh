#!/usr/bin/env bash
# The Windows program under Wine on Xvfb with trayer, at the scaling in BREVALT_E2E_DPI
# (96 unless set): the icon docks, a left click shows the window, closing it ends the
# program with 0 and the sensor runs on; without brevalt.ini a message box names it, status 1.
# Usage: tests/wine/e2e.sh BIN_DIR CLOSE_WINDOW, BIN_DIR holding brevalt.exe and
# snort.exe, CLOSE_WINDOW the Linux build's helper, WINEPREFIX a prepared prefix.
# shellcheck disable=SC2016,SC2034,SC2154  # checks are passed to eval and set what later checks read
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin_dir=$(cd "${1:?usage: e2e.sh BIN_DIR CLOSE_WINDOW}" && pwd) close_window=$(realpath "${2:?}")
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
CASE=wine-${BREVALT_E2E_DPI:-96}dpi
OUT=$(dirname "$bin_dir")/e2e-out/$CASE  # logs and a screenshot of any failure
rm -rf "$OUT" && mkdir -p "$OUT"
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$here/../e2e/hosts.sh"
trap '"$wineserver" -k 2>/dev/null; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
check "an X server with trayer runs" desktop trayer

# A program folder as an operator sets it up, with a rotation time twelve hours away.
start_program() {
    app=$OUT/$1
    mkdir -p "$app/log" && cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/"
    [[ $1 == bare ]] || printf '%s\r\n' "$(date -d '+12 hours' +%H:%M)" >"$app/brevalt.ini"
    (cd "$app" && exec "$wine" brevalt.exe >"$OUT/$1.out" 2>&1) &
    BREVALT_PID=$!
}
# A window named Brevalt: the main one even while hidden; with --onlyvisible, the one on screen.
wine_window() { xdotool search "$@" --name '^Brevalt$' 2>/dev/null | head -n 1 | grep .; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }

start_program app
# With trayer running, Wine docks the icon into trayer's panel by XEmbed.
check "the icon is docked in the tray" wait_until 20 icon_window explorer.exe
check "the sensor writes its logs" wait_until 15 test -s "$app/log/alert.ids" -a -s "$app/log/scan.log"
check "the window is there and hidden" eval 'window=$(wine_window) && ! viewable "$window"'
# Away first, so that a tooltip cannot take the click.
xdotool mousemove 400 400 sleep 0.3 mousemove --window "$(icon_window explorer.exe)" 5 5 click 1
check "a left click on the icon shows the window" wait_until 10 viewable "$window"
check "the window is asked to close" "$close_window" "$window"
check "Brevalt ends with status 0" brevalt_exits_with -eq 0
lines=$(wc -l <"$app/log/alert.ids")
check "the sensor keeps running" wait_until 10 eval '(($(wc -l <"$app/log/alert.ids") > lines))'
"$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null

# Wine's message-box trace is how the script reads the text.
WINEDEBUG=-all,trace+msgbox start_program bare
check "a message box names brevalt.ini and the reason" \
    wait_until 20 grep -q 'MSGBOX_OnInit L"Cannot use the settings file \\"brevalt.ini\\": ' "$OUT/bare.out"
xdotool windowfocus --sync "$(wine_window --onlyvisible)" key Return
check "Brevalt ends with status 1" brevalt_exits_with -eq 1
check "no sensor was started" test ! -e "$app/log/alert.ids"
echo "e2e: all passed"
