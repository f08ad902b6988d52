# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034,SC2317  # conditions are passed to eval and polled; helpers are called through check
# The end-to-end cases. Each runs in a subshell of its own with a fresh
# folder; run.sh calls them by name and ends what they leave behind.

case_starts_hidden_with_icon() {
    new_case
    start_brevalt
    check "the icon is embedded in the tray" wait_until 15 icon_window
    check "the window stays hidden" window_hidden
    check "one sensor runs" wait_until 10 sensor_count_is 1
    local pid
    pid=$(sensor_pids)
    check "the sensor runs in the folder Brevalt was started in" \
        test "$(readlink "/proc/$pid/cwd")" = "$RUN_DIR"
    check "the sensor writes into log/ beside the program" wait_until 10 test -s "$PROG_DIR/log/alert.ids"
    screenshot tray
}

case_only_left_press_shows_window() {
    new_case
    start_brevalt
    check "the icon is embedded in the tray" wait_until 15 icon_window
    check "a right click is sent" click_icon 3
    check "a middle click is sent" click_icon 2
    # Nothing may show; give a wrongly shown window a second to appear.
    check "the window stays hidden after right and middle clicks" eval '! wait_until 1 window_shown'
    check "a left click is sent" click_icon 1
    check "the window is shown" wait_until 10 window_shown
    screenshot window
    check "a second left click is sent" click_icon 1
    check "the window stays shown" eval '! wait_until 1 window_hidden'
}

case_rotate_renames_logs_and_restarts() {
    new_case
    start_brevalt
    check "one sensor runs" wait_until 15 sensor_count_is 1
    local old_pid day_before day_after
    old_pid=$(sensor_pids)
    check "both logs are written" wait_until 10 eval 'test -s "$PROG_DIR/log/alert.ids" && test -s "$PROG_DIR/log/scan.log"'
    check "the icon is embedded" wait_until 15 icon_window
    click_icon 1
    check "the window is shown" wait_until 10 window_shown
    day_before=$(date +%Y%m%d)
    check "再起動 is clicked" click_control "$ROTATE_XY"
    # The rotation waits 8 s for the sensor to end before it renames.
    dated_logs() {
        local day
        for day in "$day_before" "$(date +%Y%m%d)"; do
            test -s "$PROG_DIR/log/alert.ids.$day" && test -s "$PROG_DIR/log/scan.log.$day" && return 0
        done
        return 1
    }
    check "both logs get today's dated names" wait_until 30 dated_logs
    day_after=$(date +%Y%m%d)
    check "the dated alert log holds the old sensor's lines" \
        eval 'grep -q "stand-in alert" "$PROG_DIR"/log/alert.ids.{$day_before,$day_after} 2>/dev/null'
    new_sensor() { sensor_count_is 1 && [[ $(sensor_pids) != "$old_pid" ]]; }
    check "a new sensor runs in place of the old one" wait_until 10 new_sensor
    check "the new sensor writes fresh logs" wait_until 10 test -s "$PROG_DIR/log/alert.ids"
    screenshot rotated
    ls -l "$PROG_DIR/log" >&2
}

case_stop_ends_sensor_with_status_0() {
    new_case
    start_brevalt
    check "one sensor runs" wait_until 15 sensor_count_is 1
    local pid status
    pid=$(sensor_pids)
    check "the icon is embedded" wait_until 15 icon_window
    click_icon 1
    check "the window is shown" wait_until 10 window_shown
    check "停止 is clicked" click_control "$COMMAND1_XY"
    # Brevalt collects its ended sensor on its next 30-second tick; until
    # then the kernel keeps the exit status in /proc.
    check "the sensor ends" wait_until 10 eval '[[ $(proc_state $pid) == Z || ! -e /proc/$pid ]]'
    status=$(proc_wait_status "$pid")
    if [[ -n $status ]]; then
        check "the sensor exited with status 0 (wait status $status)" test "$status" -eq 0
    else
        log "the sensor was collected before its status could be read"
    fi
    check "no sensor runs" sensor_count_is 0
    check "Brevalt runs on" eval '! ended "$BREVALT_PID"'
    screenshot stopped
}

case_fend_exits_0_and_leaves_sensor() {
    new_case
    start_brevalt
    check "one sensor runs" wait_until 15 sensor_count_is 1
    local pid
    pid=$(sensor_pids)
    check "the icon is embedded" wait_until 15 icon_window
    click_icon 1
    check "the window is shown" wait_until 10 window_shown
    screenshot before-exit
    check "ファイル > 終了 is chosen" choose_fend
    check "Brevalt ends" wait_brevalt_exit 10
    check "with status 0" test "$BREVALT_STATUS" -eq 0
    check "the sensor keeps running" eval 'sensor_count_is 1 && [[ $(sensor_pids) == "$pid" ]]'
    local size
    size=$(stat -c %s "$PROG_DIR/log/alert.ids")
    check "and keeps writing" wait_until 5 eval '[[ $(stat -c %s "$PROG_DIR/log/alert.ids") -gt $size ]]'
    kill "$pid"
    check "the sensor ends when told by pid" wait_until 5 sensor_count_is 0
}

case_missing_settings_ends_with_error() {
    new_case
    rm "$RUN_DIR/brevalt.ini"
    start_brevalt
    message_box() {
        local id
        for id in $(xdotool search --onlyvisible --name '^Brevalt$' 2>/dev/null); do
            [[ $(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { print $2 }') != 312 ]] && { echo "$id"; return 0; }
        done
        return 1
    }
    check "a message box is shown" wait_until 15 message_box
    screenshot message
    check "standard error names the file" grep -q 'brevalt.ini' "$OUT/$CASE.stderr"
    check "no sensor is started" sensor_count_is 0
    check "no icon is registered" eval '! icon_window'
    check "the main window is not shown" window_hidden
    local box
    box=$(message_box)
    xdotool windowfocus "$box" 2>/dev/null || true
    xdotool mousemove --window "$box" 5 5 key Return
    check "Brevalt ends once the box is closed" wait_brevalt_exit 10
    check "with a non-zero status ($BREVALT_STATUS)" test "$BREVALT_STATUS" -ne 0
    check "still no sensor" sensor_count_is 0
}

case_no_tray_host_shows_window() {
    # A display of its own, with no tray host on it.
    local tray_display=$DISPLAY
    start_xvfb || exit 1
    NO_TRAY_XVFB_PID=$XVFB_PID
    check "a display without tray differs from the tray's" test "$DISPLAY" != "$tray_display"
    new_case
    start_brevalt
    check "the window is shown" wait_until 15 window_shown
    check "one sensor runs" wait_until 10 sensor_count_is 1
    screenshot no-tray
}

case_closing_window_exits_0_and_leaves_sensor() {
    check "the close_window helper is built" test -x "$BIN/close_window"
    new_case
    start_brevalt
    check "one sensor runs" wait_until 15 sensor_count_is 1
    local pid
    pid=$(sensor_pids)
    check "the icon is embedded" wait_until 15 icon_window
    click_icon 1
    check "the window is shown" wait_until 10 window_shown
    check "the window is asked to close" "$BIN/close_window" "$(main_window)"
    check "Brevalt ends" wait_brevalt_exit 10
    check "with status 0" test "$BREVALT_STATUS" -eq 0
    check "the sensor keeps running" eval '[[ $(sensor_pids) == "$pid" ]]'
}
