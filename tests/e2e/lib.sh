# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034,SC2046  # conditions passed to eval; variables read by the sourcing scripts; pid lists
# Helpers for the end-to-end, package and Wine tests: Xvfb, the real brevalt and the
# stand-in sensor, driven with xdotool; the notification areas are in hosts.sh.

log() { printf '%s\n' "$*" >&2; }

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds.
wait_until() {
    local deadline=$((SECONDS + $1))
    until "${@:2}"; do ((SECONDS < deadline)) && sleep 0.1 || return 1; done
}

# check DESCRIPTION COMMAND...: ends the case (a subshell) when COMMAND fails.
check() {
    "${@:2}" >&2 || { log "check failed: $1"; screenshot failure; exit 1; }
    log "ok: $1"
}
screenshot() { import -window root "$OUT/$CASE-$1.png" 2>/dev/null || true; }

# expect DESCRIPTION COMMAND...: counts a check that goes on after a failure;
# COMMAND's output goes to $OUT/checks.log.
passed=0 failed=0
expect() {
    echo "--- $1" >>"$OUT/checks.log"
    if "${@:2}" >>"$OUT/checks.log" 2>&1; then echo "ok: $1" && ((++passed)); else echo "FAIL: $1" && ((++failed)); fi
}
summary() { echo "$passed passed, $failed failed" && ((failed == 0)); }

# Starts an Xvfb on a free display and points DISPLAY at it. It never
# resets when its last client goes, as a desktop's server, with its panel
# and session, never does: Brevalt's look at the display before its start
# would otherwise race the server's reset.
start_xvfb() {
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$OUT/display" >>"$OUT/xvfb.log" 2>&1 &
    XVFB_PID=$!
    wait_until 15 test -s "$OUT/display" || { log "Xvfb did not start"; return 1; }
    DISPLAY=":$(cat "$OUT/display")" && export DISPLAY && rm -f "$OUT/display"
}

# proc_stat FIELD PID: a field of /proc/PID/stat counted after the name; 1 is
# the state letter, 50 the wait status of a process not yet collected.
proc_stat() { awk -v f="$1" '{ sub(/^.*\) /, ""); print $f }' "/proc/$2/stat" 2>/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null || [[ $(proc_stat 1 "$1") == Z ]]; }

# Ends a child of this shell (Xvfb, trayer, Brevalt) by its pid.
stop_child() {
    [[ -n $1 ]] && kill "$1" 2>/dev/null || return 0
    wait_until 5 ended "$1" || kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null || true
}

# The icon of program NAME (brevalt unless given) once trayer has embedded it below its panel.
tray_panel() { xdotool search --classname '^panel$' 2>/dev/null | head -n 1 | grep .; }
icon_window() { xwininfo -tree -id "$(tray_panel)" | awk -v n="(\"${1:-brevalt}\"" 'index($0, n) { print $1; f++ } END { exit !f }'; } 2>/dev/null
# icon_pixels: a checksum of the pixels of Brevalt's icon in trayer.
icon_pixels() { import -window "$(icon_window brevalt)" rgba:- 2>/dev/null | md5sum; }
# click_icon BUTTON: a real click on Brevalt's icon, in trayer or a bottom panel.
click_icon() {
    local X Y
    if [[ -n ${HOST_PID[trayer]:-} ]]; then xdotool mousemove --window "$(icon_window brevalt)" 10 10 click "$1"; return; fi
    read -r X Y < <(panel_icon) || return 1
    # waybar takes a click only once the pointer has moved over the icon.
    xdotool mousemove "$X" "$Y" sleep 0.2 mousemove_relative 1 0 sleep 0.2 click "$1"
}

# Only the left button shows the window: the middle and right ones do not.
only_left_click_shows_window() {
    check "middle and right clicks are sent" eval 'click_icon 2 && click_icon 3'
    # Give a wrongly shown window a second to appear.
    check "they show nothing" eval '! wait_until 1 window_shown'
    xdotool key Escape  # the menu a panel may open for a right click
    check "a left click is sent" click_icon 1
    check "it shows the window" wait_until 10 window_shown
}

# brevalt_window main|box: a mapped top-level named Brevalt; the main window
# is the one as wide as its client area, a message box is not.
brevalt_window() {
    local id kind
    for id in $(xdotool search --onlyvisible --name '^Brevalt$' 2>/dev/null); do
        [[ $(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { print $2 }') == 312 ]] && kind=main || kind=box
        [[ $kind == "$1" ]] && { echo "$id"; return 0; }
    done
    return 1
}
window_shown() {
    if [[ -n ${SWAYSOCK:-} ]]; then [[ $(swaymsg -t get_tree) == *'"app_id": "brevalt"'* ]]; else brevalt_window main >/dev/null; fi
}

# client_click X Y: a left click in the window's 312 x 223 client area; a
# negative Y reaches into the menu bar above it.
client_click() {
    local id WINDOW X Y WIDTH HEIGHT SCREEN
    id=$(brevalt_window main) || return 1
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove "$((X + $1))" "$((Y + HEIGHT - 223 + $2))" click 1
}

# start_case [HH:MM|none]: starts Brevalt, with BREVALT_ENV added to its
# environment, in a fresh folder holding brevalt.ini (03:30 unless given;
# none without), from a program folder of its own with snort and log/.
BREVALT_ENV=()
start_case() {
    new_case
    [[ ${1:-} == none ]] || echo "${1:-03:30}" >"$RUN_DIR/brevalt.ini"
    start_brevalt
}
# new_case: the case's folders, with snort and log/ in the program folder, nothing started.
new_case() {
    CASE_DIR=$(mktemp -d)
    RUN_DIR=$CASE_DIR/run PROG_DIR=$CASE_DIR/program LOG_DIR=$CASE_DIR/program/log
    mkdir -p "$RUN_DIR" "$LOG_DIR"
    cp "$BIN/brevalt" "$BIN/snort" "$PROG_DIR/"
}
# restart_brevalt: Brevalt killed (its sensor runs on) and started again.
restart_brevalt() { kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137 && start_brevalt; }
# start_brevalt: Brevalt (again) in the case's folders; its standard error is added to the case's.
start_brevalt() {
    (cd "$RUN_DIR" && exec env "${BREVALT_ENV[@]}" "$PROG_DIR/brevalt") >>"$OUT/$CASE.stdout" 2>>"$OUT/$CASE.stderr" &
    BREVALT_PID=$!
}
# told TEXT: Brevalt's standard error has a line with TEXT (a regular expression).
told() { grep -q "^brevalt: $1" "$OUT/$CASE.stderr"; }
# taken_over PID: a new Brevalt watches the sensor PID, left running, and started none.
taken_over() {
    check "a new Brevalt watches the sensor left running" wait_until 10 told "The sensor left running by an earlier Brevalt (process $1) is watched again"
    check "and runs no second one" eval "sleep 1 && [[ \$(sensor_pids) == $1 ]]"
}

# The minute that Brevalt's first tick, 30 s after its start, falls in if it
# starts now; first waits until that tick is well clear of a minute's edge.
first_tick_minute() {
    until (($(date -d '+31 sec' +%-S) >= 4 && $(date -d '+31 sec' +%-S) <= 56)); do sleep 1; done
    date -d '+31 sec' +%H:%M
}

# rotated DAY: both logs carry the dated name of DAY or of the day after
# (the day may turn during the 8-second wait), with the old sensor's lines.
rotated() {
    local d
    for d in "$1" "$(date +%Y%m%d)"; do grep -qs "stand-in alert" "$LOG_DIR/alert.ids.$d" && test -s "$LOG_DIR/scan.log.$d" && return; done
    return 1
}
# Names and checksums of a folder's files: unchanged when no log was lost.
log_sums() { (cd "$1" && sha256sum -- *) 2>/dev/null | sort; }

# brevalt_exits_with -eq|-ne STATUS: Brevalt ends within 10 s, its status compared.
brevalt_exits_with() {
    local status=0
    wait_until 10 ended "$BREVALT_PID" || return 1
    wait "$BREVALT_PID" || status=$?
    BREVALT_PID= && log "Brevalt ended with status $status" && test "$status" "$@"
}

# pids_of PROGRAM: the live processes running PROGRAM (a full path);
# sensor_pids: the stand-in sensors started from this case's program folder.
pids_of() {
    local proc
    for proc in /proc/[0-9]*; do [[ $(readlink "$proc/exe" 2>/dev/null) == "$1" ]] && echo "${proc#/proc/}"; done
    return 0
}
sensor_pids() { pids_of "$PROG_DIR/snort"; }
sensor_count_is() { [[ $(sensor_pids | wc -l) -eq $1 ]]; }

# sensor_outlives_brevalt PID: once Brevalt has ended, its sensor (the only
# one) runs on and writes.
sensor_outlives_brevalt() {
    local pid=$1 size
    size=$(stat -c %s "$LOG_DIR/alert.ids")
    check "the sensor keeps running" eval '[[ $(sensor_pids) == "$pid" ]]'
    check "and keeps writing" wait_until 5 eval '[[ $(stat -c %s "$LOG_DIR/alert.ids") -gt $size ]]'
}

# Ends whatever the case left running: Brevalt, then its sensors, by pid.
end_case() {
    stop_child "${BREVALT_PID:-}"
    [[ -n ${CASE_DIR:-} ]] || return 0
    kill $(sensor_pids) 2>/dev/null
    wait_until 5 sensor_count_is 0 || kill -9 $(sensor_pids) 2>/dev/null
    rm -rf "$CASE_DIR"
}
