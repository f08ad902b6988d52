# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034  # polled conditions are passed to eval; variables are read by run.sh and cases.sh
# Helpers for the end-to-end cases: a real X server (Xvfb), a real tray host
# (trayer), the real brevalt and the stand-in sensor, driven with xdotool.
# Sourced by run.sh; every wait polls with a bound.

# The window's client area is 312 x 223 below the menu bar; these are the
# centres of its controls in client coordinates.
readonly START_SNORT_XY="64 84"
readonly ROTATE_XY="160 84"
readonly COMMAND1_XY="256 84"
readonly CLIENT_HEIGHT=223

log() { printf '%s\n' "$*" >&2; }
fail() { log "failed: $*"; return 1; }

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds.
wait_until() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Starts an Xvfb on a free display and points DISPLAY at it.
start_xvfb() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$number_file" >"$OUT/xvfb.log" 2>&1 &
    XVFB_PID=$!
    wait_until 15 test -s "$number_file" || fail "Xvfb did not start" || return 1
    DISPLAY=":$(cat "$number_file")"
    export DISPLAY
    rm -f "$number_file"
}

start_trayer() {
    trayer --edge top --align right --widthtype request --height 32 \
        --transparent false --SetDockType true >"$OUT/trayer.log" 2>&1 &
    TRAYER_PID=$!
    wait_until 15 tray_panel >/dev/null || fail "trayer shows no panel"
}

# Ends a child of this shell (Xvfb, trayer, Brevalt) by its pid.
ended() { ! kill -0 "$1" 2>/dev/null || [[ $(proc_state "$1") == Z ]]; }
stop_child() {
    local pid=$1
    [[ -n $pid ]] || return 0
    kill "$pid" 2>/dev/null || return 0
    wait_until 5 ended "$pid" || kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
}

tray_panel() { xdotool search --classname '^panel$' 2>/dev/null | head -n 1 | grep .; }

# The X window of Brevalt's icon once the tray host has embedded it: it sits
# below trayer's panel in the window tree.
icon_window() {
    local panel
    panel=$(tray_panel) || return 1
    xwininfo -tree -id "$panel" 2>/dev/null | awk '/"Brevalt": \("brevalt"/ { print $1; found = 1; exit } END { exit !found }'
}

# The main window, when mapped: a top-level named Brevalt as wide as the
# client area (the icon's window and a message box are narrower or wider).
main_window() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Brevalt$' 2>/dev/null); do
        [[ $(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { print $2 }') == 312 ]] && { echo "$id"; return 0; }
    done
    return 1
}
window_shown() { main_window >/dev/null; }
window_hidden() { ! window_shown; }

# A fresh case: a temporary folder holding brevalt.ini (the current
# directory of the run) and a program folder with brevalt, snort and log/.
new_case() {
    CASE_DIR=$(mktemp -d)
    RUN_DIR="$CASE_DIR/run"
    PROG_DIR="$CASE_DIR/program"
    mkdir -p "$RUN_DIR" "$PROG_DIR/log"
    cp "$BIN/brevalt" "$BIN/snort" "$PROG_DIR/"
    printf '%s\n' "${1:-03:30}" >"$RUN_DIR/brevalt.ini"
}

start_brevalt() {
    (cd "$RUN_DIR" && exec "$PROG_DIR/brevalt") >"$OUT/$CASE.stdout" 2>"$OUT/$CASE.stderr" &
    BREVALT_PID=$!
}

# wait_brevalt_exit SECONDS: waits for Brevalt to end; its status in BREVALT_STATUS.
wait_brevalt_exit() {
    wait_until "$1" ended "$BREVALT_PID" || return 1
    BREVALT_STATUS=0
    wait "$BREVALT_PID" || BREVALT_STATUS=$?
    BREVALT_PID=
}

# Live (not yet ended) stand-in sensors started from this case's program folder.
sensor_pids() {
    local proc
    for proc in /proc/[0-9]*; do
        [[ $(readlink "$proc/exe" 2>/dev/null) == "$PROG_DIR/snort" ]] && echo "${proc#/proc/}"
    done
    return 0
}
sensor_count_is() { [[ $(sensor_pids | wc -l) -eq $1 ]]; }

# The state letter of a process and, once it has ended and waits for its
# parent to collect it, its wait status.
proc_state() { awk '{ sub(/^.*\) /, ""); print $1 }' "/proc/$1/stat" 2>/dev/null; }
proc_wait_status() { awk '{ sub(/^.*\) /, ""); print $50 }' "/proc/$1/stat" 2>/dev/null; }

click_icon() {
    local icon
    icon=$(icon_window) || return 1
    xdotool mousemove --window "$icon" 10 10 click "$1"
}

# click_control "X Y": a left click at a point of the client area.
click_control() {
    local id x y geometry WINDOW X Y WIDTH HEIGHT SCREEN
    id=$(main_window) || return 1
    geometry=$(xdotool getwindowgeometry --shell "$id") || return 1
    eval "$geometry"
    x=$((X + ${1% *}))
    y=$((Y + HEIGHT - CLIENT_HEIGHT + ${1#* }))
    xdotool mousemove "$x" "$y" click 1
}

# The menu "ファイル", then its first item "終了" by keyboard.
choose_fend() {
    local id geometry WINDOW X Y WIDTH HEIGHT SCREEN
    id=$(main_window) || return 1
    geometry=$(xdotool getwindowgeometry --shell "$id") || return 1
    eval "$geometry"
    local before
    before=$(visible_windows)
    xdotool mousemove "$((X + 20))" "$((Y + (HEIGHT - CLIENT_HEIGHT) / 2))" click 1
    # The menu opens as a window of its own.
    wait_until 5 eval '[[ $(visible_windows) -gt $before ]]' || return 1
    xdotool key Down Return
}

visible_windows() { xdotool search --onlyvisible --classname '^brevalt$' 2>/dev/null | wc -l; }

screenshot() { import -window root "$OUT/$CASE-$1.png" 2>/dev/null || true; }

# Ends whatever the case left running: Brevalt, then its sensors, by pid.
end_case() {
    [[ -n ${BREVALT_PID:-} ]] && stop_child "$BREVALT_PID"
    BREVALT_PID=
    local pid
    for pid in $(sensor_pids); do kill "$pid" 2>/dev/null || true; done
    wait_until 5 sensor_count_is 0 || for pid in $(sensor_pids); do kill -9 "$pid" 2>/dev/null || true; done
    [[ -n ${CASE_DIR:-} ]] && rm -rf "$CASE_DIR"
    CASE_DIR=
}

# check DESCRIPTION COMMAND...: ends the case (a subshell) when COMMAND fails.
check() {
    local what=$1
    shift
    "$@" >&2 || { log "check failed: $what"; screenshot failure; exit 1; }
    log "ok: $what"
}
