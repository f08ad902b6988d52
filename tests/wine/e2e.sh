#!/usr/bin/env bash
# The Windows program under Wine on Xvfb with trayer, at the scaling in BREVALT_E2E_DPI
# (96 unless set): the icon docks; a second Brevalt in the same folder says that the log
# folder is served, ends with 1 and starts no sensor; a left click shows the window, closing
# it ends the program with 0 and the sensor runs on; a Brevalt started then takes that sensor
# over, starts none, and its 停止 ends it; without brevalt.ini a message box names it, status 1;
# a user who may not write the log folder is let go quietly at logon, and told why by hand;
# with keep=2, 再起動 leaves the dated logs of the two newest dates and every other name;
# /? answers in a box and an unknown option ends with 2; the sensor writes into log\sensor.out.
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
    run_program "$1"
}
# run_program NAME [ARGUMENT]: brevalt.exe from the program folder $app, its output in $OUT/NAME.out.
run_program() {
    (cd "$app" && exec "$wine" brevalt.exe "${@:2}" >"$OUT/$1.out" 2>&1) &
    BREVALT_PID=$!
}
# A window named Brevalt: the main one even while hidden; with --onlyvisible, the one on screen.
wine_window() { xdotool search "$@" --name '^Brevalt$' 2>/dev/null | head -n 1 | grep .; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
# click_button WINDOW X Y: a button by its centre in the client area at 96 dpi (312 x 223);
# the client area sits at the bottom of Wine's frame.
click_button() {
    local WIDTH HEIGHT scale border
    eval "$(xdotool getwindowgeometry --shell "$1")"
    scale=$(((${BREVALT_E2E_DPI:-96} * 100 + 48) / 96)) border=$(((WIDTH - 312 * scale / 100) / 2))
    xdotool mousemove --window "$1" $((border + $2 * scale / 100)) $((HEIGHT - border - (223 - $3) * scale / 100)) click 1
}
# The message box on screen is closed by its close button (the keyboard focus
# may be on the sensor's console), and Brevalt then ends with status 1.
box_closed_ends_with_1() {
    check "the box is on screen" wait_until 10 eval 'box=$(wine_window --onlyvisible)'
    check "the box is closed" "$close_window" "$box"
    check "$1 ends with status ${2:-1}" brevalt_exits_with -eq "${2:-1}"
}
# The stand-in sensors that run in the program folder $app (Wine's current folder is theirs).
app_sensors() {
    local pid
    for pid in $(pgrep -x snort.exe); do [[ $(readlink "/proc/$pid/cwd") != "$app" ]] || echo "$pid"; done
}
sensors_running() { (($(app_sensors | wc -l) == $1)); }

# The Event Log's and the notification area's traces show what Brevalt tells.
WINEDEBUG=-all,+eventlog,trace+systray start_program app
# With trayer running, Wine docks the icon into trayer's panel by XEmbed.
check "the icon is docked in the tray" wait_until 20 icon_window explorer.exe
check "the sensor writes its logs" wait_until 15 test -s "$app/log/alert.ids" -a -s "$app/log/scan.log"
check "and its own words into log\\sensor.out" wait_until 10 grep -q "^stand-in sensor" "$app/log/sensor.out"
check "the window is there and hidden" eval 'window=$(wine_window) && ! viewable "$window"'

# A second Brevalt from the same folder: the log folder is served already.
first_pid=$BREVALT_PID
WINEDEBUG=-all,trace+msgbox run_program second
check "a message box says the log folder is served" wait_until 20 grep -qs \
    'MSGBOX_OnInit L"Another Brevalt already serves the log folder \\"[^"]*\\\\app\\\\log\\"' "$OUT/second.out"
box_closed_ends_with_1 "the second Brevalt"
check "and started no sensor" sensors_running 1
BREVALT_PID=$first_pid

# A sensor killed from outside is told in the Event Log and by a balloon from
# the icon, and the next tick starts another.
sensor=$(app_sensors) && kill -9 "$sensor"
check "the next tick starts another sensor" wait_until 40 eval '[[ $(app_sensors) =~ ^[0-9]+$ && $(app_sensors) != "$sensor" ]]'
check "the Event Log gets the end as a warning and the new start as information" eval 'grep -q "warn:eventlog:ReportEventW L\"The sensor ended by itself" "$OUT/app.out" &&
    grep -q "trace:eventlog:ReportEventW L\"The sensor was started again\"" "$OUT/app.out"'
check "the tray shows both as balloons (NIF_INFO)" eval '(($(grep -c "modify_icon id=0x0 .* flags=10$" "$OUT/app.out") >= 2))'
# The icon and its tooltip change in place, NIF_ICON then NIF_TIP: to the
# icon that says none runs when the end is seen, and back with the new start.
check "the icon and its tooltip change to no sensor and back" eval 'sed -n "/The sensor ended by itself/,/started again/p" \
    "$OUT/app.out" | sed -n "s/.*modify_icon id=0x0 .* flags=\([0-9]*\)$/\1/p" | tr "\n" " " | grep -q "2 4 2 4 "'
# Away first, so that a tooltip cannot take the click.
first_icon=$(icon_window explorer.exe)
xdotool mousemove 400 400 sleep 0.3 mousemove --window "$first_icon" 5 5 click 1
check "a left click on the icon shows the window" wait_until 10 viewable "$window"
check "the window is asked to close" "$close_window" "$window"
check "Brevalt ends with status 0" brevalt_exits_with -eq 0
lines=$(wc -l <"$app/log/alert.ids")
check "the sensor keeps running" wait_until 10 eval '(($(wc -l <"$app/log/alert.ids") > lines))'
# The next Brevalt on the folder watches the sensor left running instead of
# starting a second one beside it, and its stop ends that very sensor.
sensor=$(app_sensors)
WINEDEBUG=-all,+eventlog run_program again
check "the Event Log tells that the sensor left running is watched again" wait_until 15 grep -q \
    'eventlog:ReportEventW L"The sensor left running by an earlier Brevalt (process [0-9]*) is watched again' "$OUT/again.out"
# The ended Brevalt's icon stays until the pointer passes over it.
check "the new Brevalt's icon is docked beside it" \
    wait_until 20 eval 'icon=$(icon_window explorer.exe | grep -vx "$first_icon")'
check "no second sensor was started" eval '[[ $(app_sensors) == "$sensor" ]]'
xdotool mousemove 400 400 sleep 0.3 mousemove --window "$icon" 5 5 click 1
check "a left click on the new icon shows the window" wait_until 10 eval 'window=$(wine_window --onlyvisible)'
click_button "$window" 256 84  # 停止
check "停止 ends the sensor taken over" wait_until 10 sensors_running 0
"$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null

# Wine's message-box trace is how the script reads the text. In a Japanese
# session (Wine takes it from LANG, with a locale of the script's own) the box
# is Japanese, "設定ファイル" in Wine's escapes, and standard error English.
mkdir -p "$OUT/locales" && localedef -i ja_JP -f UTF-8 "$OUT/locales/ja_JP.UTF-8"
LANG=ja_JP.UTF-8 LC_ALL= LOCPATH=$OUT/locales WINEDEBUG=-all,trace+msgbox start_program bare
check "a message box names brevalt.ini and the reason, in Japanese" wait_until 20 grep -q \
    'MSGBOX_OnInit L"\\8a2d\\5b9a\\30d5\\30a1\\30a4\\30eb \\"[A-Z]:\\\\[^"]*\\\\bare\\\\brevalt.ini\\" ' "$OUT/bare.out"
check "standard error says it in English, with the file's full path" \
    grep -qE '^(brevalt: )?Cannot use the settings file "[A-Z]:\\.*\\bare\\brevalt.ini", read from the current directory: ' "$OUT/bare.out"
box_closed_ends_with_1 Brevalt
check "no sensor was started" test ! -e "$app/log/alert.ids"
# Asked for its usage, Brevalt answers in a box and starts nothing; an unknown option is status 2.
WINEDEBUG=-all,trace+msgbox run_program usage /?
check "/? shows the usage in a box" wait_until 20 grep -q 'MSGBOX_OnInit L"Usage: brevalt' "$OUT/usage.out"
box_closed_ends_with_1 "Brevalt asked for its usage" 0
WINEDEBUG=-all,trace+msgbox run_program unknown /frobnicate
check "an unknown option is named in a box" wait_until 20 grep -q 'MSGBOX_OnInit L"brevalt: unknown option \\"/frobnicate\\"' "$OUT/unknown.out"
box_closed_ends_with_1 "Brevalt given an unknown option" 2
check "neither started a sensor" test ! -e "$app/log/alert.ids"

# Wine makes a folder's permissions from its mode: a log folder this user may
# only read, as the installed one is to someone outside "Brevalt Operators".
app=$OUT/outsider && mkdir -p "$app/log" && cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/" &&
    printf '%s\r\n' "$(date -d '+12 hours' +%H:%M)" >"$app/brevalt.ini" && chmod 555 "$app/log"
WINEDEBUG=-all,+eventlog,trace+msgbox run_program logon --logon
check "started at logon for a user who may not write the log folder, Brevalt ends with status 0" brevalt_exits_with -eq 0
check "with the reason as an information event and no box" eval 'grep -q \
    "trace:eventlog:ReportEventW L\"Only members of the group \\\\\"Brevalt Operators\\\\\" may run Brevalt: " \
    "$OUT/logon.out" && ! grep -q MSGBOX_OnInit "$OUT/logon.out"'
WINEDEBUG=-all,trace+msgbox run_program outsider
check "started by hand, a message box says who may run Brevalt" wait_until 20 grep -q \
    'MSGBOX_OnInit L"Only members of the group \\"Brevalt Operators\\" may run Brevalt: ask an administrator to add you' "$OUT/outsider.out"
box_closed_ends_with_1 Brevalt
check "neither started a sensor" test ! -e "$app/log/alert.ids"

# keep=2 on the second line: months of dated logs, a name with a date that does not exist,
# a folder named as a dated log, other files.
"$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null
app=$OUT/keep && mkdir -p "$app/log/scan.log.20200101" && cp "$bin_dir/brevalt.exe" "$bin_dir/snort.exe" "$app/" &&
    printf '%s\r\nkeep=2\r\n' "$(date -d '+12 hours' +%H:%M)" >"$app/brevalt.ini"
for name in alert.ids.20260101 alert.ids.20260102 alert.ids.20260103 alert.ids.20260230 scan.log.20251231 \
    scan.log.20260103 scan.log.20200101/notes notes.txt; do echo "$name" >"$app/log/$name"; done
run_program keep
check "the icon of the Brevalt with keep=2 is docked" wait_until 20 eval 'icon=$(icon_window explorer.exe)'
check "its sensor writes" wait_until 15 test -s "$app/log/alert.ids" -a -s "$app/log/scan.log"
xdotool mousemove 400 400 sleep 0.3 mousemove --window "$icon" 5 5 click 1
check "a left click shows its window" wait_until 10 eval 'window=$(wine_window --onlyvisible)'
day=$(date +%Y%m%d)
click_button "$window" 160 84  # 再起動
check "再起動 rotates both logs" wait_until 20 test -e "$app/log/alert.ids.$day" -a -e "$app/log/scan.log.$day"
kept="alert.ids alert.ids.20260103 alert.ids.20260230 alert.ids.$day notes.txt scan.log scan.log.20200101 scan.log.20260103 scan.log.$day sensor.out"
check "the newest two dates of each log are left, and every other name" \
    wait_until 15 eval '[[ $(ls "$app/log" | sort | paste -sd " ") == "$kept" ]]'
holds_its_name() { local name; for name; do [[ $(cat "$app/log/$name") == "$name" ]] || return 1; done; }
check "as they were" holds_its_name alert.ids.20260103 alert.ids.20260230 scan.log.20260103 scan.log.20200101/notes notes.txt
echo "e2e: all passed"
