#!/usr/bin/env bash
# End-to-end run of the Windows program under Wine, on a virtual X display
# with a real tray host (trayer), at the display scaling in BREVALT_E2E_DPI
# (96 unless set): the icon appears, a left click on it shows the window,
# "再起動" renames both logs to today's names, "終了" ends the program with
# status 0 while the sensor keeps running; and without a settings file the
# program reports it and ends with status 1.
#
# Usage: tests/wine/e2e.sh <folder holding brevalt.exe and snort.exe>
# WINEPREFIX must name a prepared prefix (see scripts/test-windows); every
# Windows process left in it is ended when the script finishes.
set -euo pipefail

bin_dir=$(cd "${1:?usage: e2e.sh <folder with brevalt.exe and snort.exe>}" && pwd)
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE64:-/usr/lib/wine/wine64}
wineserver=${WINESERVER64:-/usr/lib/wine/wineserver64}

# The prefix's display scaling, set by the caller (HKCU\Control Panel\Desktop
# LogPixels); the layout is in twips, 1440 to an inch.
dpi=${BREVALT_E2E_DPI:-96}
px() { echo $((($1 * dpi + 720) / 1440)); }
client_width=$(px 4680)
client_height=$(px 3345)

work=$(mktemp -d "${TMPDIR:-/tmp}/brevalt-e2e.XXXXXX")
xvfb_pid="" trayer_pid="" brevalt_pid=""

cleanup() {
    "$wineserver" -k 2>/dev/null || true
    [[ -n $trayer_pid ]] && kill "$trayer_pid" 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "e2e: FAIL: $*" >&2
    echo "e2e: windows on the display:" >&2
    xwininfo -root -tree 2>/dev/null | grep -v '1x1+' >&2 || true
    exit 1
}
pass() { echo "e2e: ok: $*"; }

# Runs the command every 0.2 s until it succeeds or `seconds` have passed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# --- display and tray host -------------------------------------------------
# Xvfb picks a free display and writes its number into the file.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display_known() { [[ -s $work/display ]]; }
wait_for 10 display_known || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false \
    >"$work/trayer.log" 2>&1 &
trayer_pid=$!

is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# "<id> <width> <height> <x> <y>" (absolute position) of each window whose
# line in the window tree matches the pattern, leaving out the 1x1 helper
# windows that Wine and trayer keep.
windows_matching() {
    xwininfo -root -tree 2>/dev/null | awk -v pattern="$1" '
        $0 ~ pattern {
            split($(NF-1), g, /[x+]/); split($NF, a, /[+]/)
            if (g[1] > 1 && g[2] > 1) print $1, g[1], g[2], a[2], a[3]
        }'
}
find_window() { windows_matching "$1" | head -n1; }
# The first of them that is on screen.
find_viewable_window() {
    local id rest
    while read -r id rest; do
        is_viewable "$id" && { echo "$id $rest"; return 0; }
    done < <(windows_matching "$1")
    return 1
}
tray_panel_ready() { [[ -n $(find_window '"panel": \\("panel" "trayer"\\)') ]]; }
wait_for 10 tray_panel_ready || fail "trayer did not dock"

# --- a program folder as an operator sets it up ----------------------------
app="$work/app"
mkdir -p "$app/log"
cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/"
# A rotation time twelve hours away, so only the button rotates.
printf '%s\r\n' "$(date -d '+12 hours' +%H:%M)" >"$app/brevalt.ini"

(cd "$app" && exec "$wine" brevalt.exe >"$work/brevalt.out" 2>&1) &
brevalt_pid=$!

# --- the icon appears; the window stays hidden ------------------------------
# With trayer running, Wine docks the icon into its panel by XEmbed.
icon_geometry=""
icon_in_tray() {
    icon_geometry=$(xwininfo -root -tree 2>/dev/null | awk '
        /"panel": \("panel" "trayer"\)/ { in_panel = 1; next }
        in_panel && /\("explorer.exe" "explorer.exe"\)/ { print $(NF-1), $NF; exit }')
    [[ -n $icon_geometry ]]
}
wait_for 20 icon_in_tray || fail "no icon docked in the tray"
pass "the icon is in the tray ($icon_geometry)"

sensor_writes() { [[ -s $app/log/alert.ids && -s $app/log/scan.log ]]; }
wait_for 15 sensor_writes || fail "the sensor did not start writing its logs"
pass "the sensor was started and writes log/alert.ids and log/scan.log"

brevalt_window() { find_window '"Brevalt": \\("brevalt.exe" "brevalt.exe"\\)'; }
read -r window_id _ <<<"$(brevalt_window)"
[[ -n ${window_id:-} ]] || fail "no window Brevalt"
is_viewable "$window_id" && fail "the window is shown at start-up; it should be hidden"
pass "the window is hidden at start-up"

# --- a left click on the icon shows the window ------------------------------
read -r icon_size icon_offset <<<"$icon_geometry"
IFS=x read -r icon_w icon_h <<<"$icon_size"
IFS=+ read -r _ icon_x icon_y <<<"$icon_offset"
# Away first, so that a tooltip cannot take the click.
xdotool mousemove 400 400
sleep 0.3
xdotool mousemove $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click 1
wait_for 10 is_viewable "$window_id" || fail "a left click on the icon did not show the window"
pass "a left click on the icon shows the window ($dpi dpi)"

# Where the client area starts: Wine draws the frame itself, border equal on
# the sides and bottom, caption and menu bar on top.
read -r _ window_w window_h window_x window_y <<<"$(brevalt_window)"
((window_w > client_width && window_h > client_height)) ||
    fail "the window is ${window_w}x${window_h}, too small for a ${client_width}x${client_height} client area at $dpi dpi"
border=$(((window_w - client_width) / 2))
client_x=$((window_x + border))
client_y=$((window_y + window_h - border - client_height))

# --- "再起動" rotates the logs ------------------------------------------------
day_before=$(date +%Y%m%d)
xdotool windowraise "$window_id"
# rotate: 1800, 960, 1215 x 615 twips
xdotool mousemove $((client_x + $(px 1800) + $(px 1215) / 2)) $((client_y + $(px 960) + $(px 615) / 2)) click 1
rotated() {
    local day
    for day in "$day_before" "$(date +%Y%m%d)"; do
        [[ -s $app/log/alert.ids.$day && -s $app/log/scan.log.$day ]] && return 0
    done
    return 1
}
wait_for 30 rotated || fail "再起動 did not rename the logs to today's names: $(ls "$app/log")"
wait_for 15 sensor_writes || fail "no sensor writes fresh logs after the rotation"
pass "再起動 renamed the logs ($(cd "$app/log" && echo alert.ids.* scan.log.*)) and a new sensor writes fresh ones"

# --- "終了" ends the program; the sensor keeps running -----------------------
file_menu=""
menu_open() {
    file_menu=$(find_viewable_window '\\(has no name\\): \\("brevalt.exe" "brevalt.exe"\\)')
}
# The restarted sensor's console window may now lie over ours, and a click
# that only activates the window may not reach the menu: try a few times.
for attempt in 1 2 3; do
    xdotool windowraise "$window_id"
    sleep 0.5
    xdotool mousemove $((client_x + 26)) $((client_y - 9)) click 1
    wait_for 3 menu_open && break
done
menu_open || fail "the menu ファイル did not open"
read -r _ menu_w menu_h menu_x menu_y <<<"$file_menu"
xdotool mousemove $((menu_x + menu_w / 2)) $((menu_y + menu_h / 2)) click 1

ended() { ! kill -0 "$brevalt_pid" 2>/dev/null; }
wait_for 10 ended || fail "終了 did not end the program"
status=0
wait "$brevalt_pid" || status=$?
brevalt_pid=""
[[ $status -eq 0 ]] || fail "終了 ended the program with status $status, expected 0"
lines_before=$(wc -l <"$app/log/alert.ids")
sensor_still_writes() { (($(wc -l <"$app/log/alert.ids") > lines_before)); }
wait_for 10 sensor_still_writes || fail "the sensor stopped when the program ended"
pass "終了 ended the program with status 0 and the sensor keeps running"
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true

# --- no settings file: reported, nothing started, status 1 -----------------
bare="$work/bare"
mkdir -p "$bare/log"
cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$bare/"
# Wine's message-box trace is how the script reads the box's text.
(cd "$bare" && WINEDEBUG=-all,trace+msgbox exec "$wine" brevalt.exe >"$work/bare.out" 2>&1) &
brevalt_pid=$!
message_box=""
box_shown() { message_box=$(find_viewable_window '"Brevalt": \\("brevalt.exe" "brevalt.exe"\\)'); }
wait_for 20 box_shown || fail "no message box for the missing settings file"
box_text=$(sed -n 's/.*MSGBOX_OnInit L"\(.*\)"$/\1/p' "$work/bare.out")
box_text=${box_text//\\\"/\"}
[[ $box_text == *brevalt.ini*:* ]] || fail "the message box does not name brevalt.ini and the reason: '$box_text'"
xdotool windowfocus --sync "${message_box%% *}" key Return
wait_for 10 ended || fail "the program did not end after its start-up error"
status=0
wait "$brevalt_pid" || status=$?
brevalt_pid=""
[[ $status -eq 1 ]] || fail "a start-up error ended the program with status $status, expected 1"
[[ ! -e $bare/log/alert.ids ]] || fail "a sensor was started despite the start-up error"
pass "without brevalt.ini: a message box ($box_text), status 1, no sensor"

echo "e2e: all passed"
