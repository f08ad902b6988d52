#!/usr/bin/env bash
# The Windows program under Wine on a virtual X display with a real tray host
# (trayer), at the display scaling in BREVALT_E2E_DPI (96 unless set).
# Usage: tests/wine/e2e.sh <folder holding brevalt.exe and snort.exe>, with
# WINEPREFIX naming a prepared prefix (see scripts/test-windows); every
# Windows process left in it is ended when the script finishes.
set -euo pipefail

bin_dir=$(cd "${1:?usage: e2e.sh <folder with brevalt.exe and snort.exe>}" && pwd)
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE64:-/usr/lib/wine/wine64}
wineserver=${WINESERVER64:-/usr/lib/wine/wineserver64}
# The layout is in twips, 1440 to an inch, at the prefix's LogPixels.
dpi=${BREVALT_E2E_DPI:-96}
px() { echo $((($1 * dpi + 720) / 1440)); }

work=$(mktemp -d "${TMPDIR:-/tmp}/brevalt-e2e.XXXXXX")
xvfb_pid="" trayer_pid=""
trap '"$wineserver" -k 2>/dev/null || true; kill $trayer_pid $xvfb_pid 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    echo "e2e: FAIL: $*" >&2
    xwininfo -root -tree 2>/dev/null | grep -v '1x1+' >&2 || true
    exit 1
}
pass() { echo "e2e: ok: $*"; }
wait_for() {  # the command, every 0.2 s until it succeeds or $1 seconds have passed
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do ((SECONDS < deadline)) || return 1; sleep 0.2; done
}

# "<id> <width> <height> <x> <y>" of each matching window but the 1x1 helpers.
windows_matching() {
    xwininfo -root -tree 2>/dev/null | awk -v pattern="$1" '$0 ~ pattern {
        split($(NF-1), g, /[x+]/); split($NF, a, /[+]/)
        if (g[1] > 1 && g[2] > 1) print $1, g[1], g[2], a[2], a[3] }'
}
is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
find_viewable() {  # the first matching window on screen, into $found
    local id rest
    while read -r id rest; do is_viewable "$id" && found="$id $rest" && return 0; done < <(windows_matching "$1")
    return 1
}
brevalt_window='"Brevalt": \\("brevalt.exe" "brevalt.exe"\\)'
sensor_writes() { [[ -s $app/log/alert.ids && -s $app/log/scan.log ]]; }
ended() { ! kill -0 "$brevalt_pid" 2>/dev/null; }
# Waits for the program to end; true if its status is $1.
ends_with() {
    wait_for 10 ended || { status="none: still running"; return 1; }
    status=0
    wait "$brevalt_pid" || status=$?
    [[ $status -eq $1 ]]
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false >/dev/null 2>&1 &
trayer_pid=$!
wait_for 10 find_viewable '"panel": \\("panel" "trayer"\\)' || fail "trayer did not dock"

# A program folder as an operator sets it up, with a rotation time twelve
# hours away so that only the button rotates.
app="$work/app"
mkdir -p "$app/log"
cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/"
printf '%s\r\n' "$(date -d '+12 hours' +%H:%M)" >"$app/brevalt.ini"
(cd "$app" && exec "$wine" brevalt.exe >"$work/brevalt.out" 2>&1) &
brevalt_pid=$!

# With trayer running, Wine docks the icon into its panel by XEmbed.
icon_in_tray() {
    icon=$(xwininfo -root -tree 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/ { in_panel = 1; next }
        in_panel && /\("explorer.exe" "explorer.exe"\)/ { print $(NF-1), $NF; exit }')
    [[ -n $icon ]]
}
wait_for 20 icon_in_tray || fail "no icon docked in the tray"
wait_for 15 sensor_writes || fail "the sensor did not start writing its logs"
read -r window_id _ <<<"$(windows_matching "$brevalt_window")"
[[ -n ${window_id:-} ]] && ! is_viewable "$window_id" || fail "no hidden window Brevalt at start-up"
pass "the icon is in the tray ($icon), the sensor writes its logs, the window is hidden"

IFS='x+ ' read -r icon_w icon_h _ _ icon_x icon_y <<<"$icon"
# Away first, so that a tooltip cannot take the click.
xdotool mousemove 400 400 sleep 0.3 mousemove $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click 1
wait_for 10 is_viewable "$window_id" || fail "a left click on the icon did not show the window"
pass "a left click on the icon shows the window ($dpi dpi)"

# Wine draws the frame itself: the border is equal on the sides and at the
# bottom, caption and menu bar are on top.
read -r _ window_w window_h window_x window_y <<<"$(windows_matching "$brevalt_window")"
border=$(((window_w - $(px 4680)) / 2))
client_x=$((window_x + border)) client_y=$((window_y + window_h - border - $(px 3345)))

# 再起動 is at 1800, 960 twips, 1215 x 615.
day_before=$(date +%Y%m%d)
xdotool windowraise "$window_id" \
    mousemove $((client_x + $(px 1800) + $(px 1215) / 2)) $((client_y + $(px 960) + $(px 615) / 2)) click 1
rotated_to() { [[ -s $app/log/alert.ids.$1 && -s $app/log/scan.log.$1 ]]; }
rotated() { rotated_to "$day_before" || rotated_to "$(date +%Y%m%d)"; }  # the date may turn meanwhile
wait_for 30 rotated || fail "再起動 did not rename the logs to today's names: $(ls "$app/log")"
wait_for 15 sensor_writes || fail "no sensor writes fresh logs after the rotation"
pass "再起動 renamed the logs ($(cd "$app/log" && echo alert.ids.* scan.log.*)) and a new sensor writes fresh ones"

# The new sensor's console window may lie over ours, and a click that only
# activates the window may not reach the menu ファイル: try a few times.
menu_open() { find_viewable '\\(has no name\\): \\("brevalt.exe" "brevalt.exe"\\)'; }
for _ in 1 2 3; do
    xdotool windowraise "$window_id" sleep 0.5 mousemove $((client_x + 26)) $((client_y - 9)) click 1
    wait_for 3 menu_open && break
done
menu_open || fail "the menu ファイル did not open"
read -r _ menu_w menu_h menu_x menu_y <<<"$found"
xdotool mousemove $((menu_x + menu_w / 2)) $((menu_y + menu_h / 2)) click 1
ends_with 0 || fail "終了 ended the program with status $status, expected 0"
lines_before=$(wc -l <"$app/log/alert.ids")
sensor_still_writes() { (($(wc -l <"$app/log/alert.ids") > lines_before)); }
wait_for 10 sensor_still_writes || fail "the sensor stopped when the program ended"
pass "終了 ended the program with status 0 and the sensor keeps running"
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true

# No settings file. Wine's message-box trace is how the script reads the text.
app="$work/bare"
mkdir -p "$app/log"
cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/"
(cd "$app" && WINEDEBUG=-all,trace+msgbox exec "$wine" brevalt.exe >"$work/bare.out" 2>&1) &
brevalt_pid=$!
wait_for 20 find_viewable "$brevalt_window" || fail "no message box for the missing settings file"
box_text=$(sed -n 's/.*MSGBOX_OnInit L"\(.*\)"$/\1/p' "$work/bare.out")
box_text=${box_text//\\\"/\"}
[[ $box_text == *brevalt.ini*:* ]] || fail "the message box does not name brevalt.ini and the reason: '$box_text'"
xdotool windowfocus --sync "${found%% *}" key Return
ends_with 1 || fail "a start-up error ended the program with status $status, expected 1"
[[ ! -e $app/log/alert.ids ]] || fail "a sensor was started despite the start-up error"
pass "without brevalt.ini: a message box ($box_text), status 1, no sensor"
echo "e2e: all passed"
