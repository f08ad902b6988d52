#!/usr/bin/env bash
# The Windows program under Wine on a virtual X display with a real tray host
# (trayer), at the display scaling in BREVALT_E2E_DPI (96 unless set): the
# icon docks and a left click on it shows the window at any scaling; closing
# the window ends the program with 0 and leaves the sensor running; without
# brevalt.ini a message box names it and the program ends with 1.
# Usage: tests/wine/e2e.sh <folder holding brevalt.exe and snort.exe>
# <close_window helper of the Linux build>, with WINEPREFIX naming a prepared
# prefix (see scripts/test-windows).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin_dir=$(cd "${1:?usage: e2e.sh BIN_DIR CLOSE_WINDOW}" && pwd) close_window=$(realpath "${2:?}")
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
CASE=wine-${BREVALT_E2E_DPI:-96}dpi
OUT=$(dirname "$bin_dir")/e2e-out/$CASE  # logs and a screenshot of any failure
rm -rf "$OUT" && mkdir -p "$OUT"
source "$here/../e2e/lib.sh"
source "$here/../e2e/hosts.sh"
trap '"$wineserver" -k 2>/dev/null; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
check "an X server with trayer runs" desktop trayer

# A program folder as an operator sets it up, with a rotation time twelve hours away.
start_program() {
    app=$OUT/$1
    mkdir -p "$app/log"
    cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/"
    [[ $1 == bare ]] || printf '%s\r\n' "$(date -d '+12 hours' +%H:%M)" >"$app/brevalt.ini"
    (cd "$app" && exec "$wine" brevalt.exe >"$OUT/$1.out" 2>&1) &
    BREVALT_PID=$!
}
# A window named Brevalt: the main window even while hidden, or with
# --onlyvisible the one on screen.
wine_window() { xdotool search "$@" --name '^Brevalt$' 2>/dev/null | head -n 1 | grep .; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
# With trayer running, Wine docks the icon into its panel by XEmbed.
docked_icon() { xwininfo -tree -id "$(tray_panel)" 2>/dev/null | awk '/"explorer.exe"/ { print $1; n++ } END { exit !n }'; }
sensor_writes() { [[ -s $app/log/alert.ids && -s $app/log/scan.log ]]; }

start_program app
check "the icon is docked in the tray" wait_until 20 docked_icon
check "the sensor writes its logs" wait_until 15 sensor_writes
check "the window is there and hidden" eval 'window=$(wine_window) && ! viewable "$window"'
# Away first, so that a tooltip cannot take the click.
xdotool mousemove 400 400 sleep 0.3 mousemove --window "$(docked_icon)" 5 5 click 1
check "a left click on the icon shows the window" wait_until 10 viewable "$window"
check "the window is asked to close" "$close_window" "$window"
check "Brevalt ends with status 0" brevalt_exits_with -eq 0
lines=$(wc -l <"$app/log/alert.ids")
check "the sensor keeps running" wait_until 10 eval '(($(wc -l <"$app/log/alert.ids") > lines))'
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null

# Wine's message-box trace is how the script reads the text.
WINEDEBUG=-all,trace+msgbox start_program bare
check "a message box names brevalt.ini and the reason" \
    wait_until 20 grep -q 'MSGBOX_OnInit L"Cannot use the settings file \\"brevalt.ini\\": ' "$OUT/bare.out"
xdotool windowfocus --sync "$(wine_window --onlyvisible)" key Return
check "Brevalt ends with status 1" brevalt_exits_with -eq 1
check "no sensor was started" test ! -e "$app/log/alert.ids"
echo "e2e: all passed"
