# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034,SC2317  # conditions are passed to eval and polled; helpers are called through check
# The end-to-end cases. Each runs in a subshell of its own; run.sh calls them
# by name and ends what they leave behind.

# From the tray: the icon, the window, each button, then closing the window.
case_tray_icon_buttons_and_closing() {
    check "an X server with trayer runs" desktop trayer
    start_case
    check "the icon is embedded in the tray" wait_until 15 icon_window
    check "the window stays hidden" eval '! window_shown'
    check "one sensor runs" wait_until 10 sensor_count_is 1
    local pid day status
    pid=$(sensor_pids)
    check "it runs in the folder Brevalt was started in" test "$(readlink "/proc/$pid/cwd")" = "$RUN_DIR"
    check "it writes into log/ beside the program" wait_until 10 test -s "$LOG_DIR/scan.log"
    screenshot tray
    only_left_click_shows_window
    screenshot window

    day=$(date +%Y%m%d)
    check "再起動 is clicked" client_click 160 84
    # The rotation waits 8 s for the old sensor to end, then renames.
    check "both logs get today's dated names, with the old sensor's lines" wait_until 30 rotated "$day"
    check "a new sensor replaces the old one" wait_until 10 eval 'sensor_count_is 1 && [[ $(sensor_pids) != "$pid" ]]'
    check "and writes fresh logs" wait_until 10 test -s "$LOG_DIR/alert.ids"
    screenshot rotated

    pid=$(sensor_pids)
    check "停止 is clicked" client_click 256 84
    # Brevalt collects an ended sensor on its next 30-second tick; till then /proc keeps its status.
    check "the sensor ends" wait_until 10 eval '[[ $(proc_stat 1 "$pid") == Z || ! -e /proc/$pid ]]'
    status=$(proc_stat 50 "$pid")
    check "with status 0 (${status:-collected before it could be read})" test "${status:-0}" -eq 0
    check "Brevalt runs on" eval '! ended "$BREVALT_PID"'
    screenshot stopped

    check "Snort実行 is clicked" client_click 64 84
    check "a sensor runs again" wait_until 10 sensor_count_is 1
    pid=$(sensor_pids)
    check "the window is asked to close" "$BIN/close_window" "$(brevalt_window main)"
    check "Brevalt ends with status 0" brevalt_exits_with -eq 0
    sensor_outlives_brevalt "$pid"
}

# Without a tray host the window is shown at once; 終了 ends Brevalt with 0.
case_no_tray_host_and_fend() {
    local pid
    check "an X server without a tray runs" desktop
    start_case
    check "the window is shown" wait_until 15 window_shown
    check "one sensor runs" wait_until 10 sensor_count_is 1
    pid=$(sensor_pids)
    screenshot no-tray
    check "ファイル is clicked" client_click 20 -10
    check "its menu opens as a second window" \
        wait_until 5 eval '(($(xdotool search --onlyvisible --classname "^brevalt$" | wc -l) > 1))'
    check "終了 is chosen by keyboard" xdotool key Down Return
    check "Brevalt ends with status 0" brevalt_exits_with -eq 0
    sensor_outlives_brevalt "$pid"
}

case_missing_settings_ends_with_error() {
    check "an X server with trayer runs" desktop trayer
    start_case none
    check "a message box is shown" wait_until 15 brevalt_window box
    screenshot message
    check "standard error names the file" grep -q 'brevalt.ini' "$OUT/$CASE.stderr"
    check "no sensor is started" sensor_count_is 0
    check "no icon is registered" eval '! icon_window'
    check "the main window is not shown" eval '! window_shown'
    xdotool mousemove --window "$(brevalt_window box)" 5 5 key Return
    check "Brevalt ends once the box is closed, with a non-zero status" brevalt_exits_with -ne 0
    check "still no sensor" sensor_count_is 0
}

# A tray that comes after Brevalt, with no session bus at all: the icon
# arrives and hides the window that stood in for it; the tray restarts.
case_late_xembed_tray_without_bus() {
    check "an X server without a tray or bus runs" desktop
    start_case
    check "the window is shown" wait_until 15 window_shown
    check "trayer starts" start_host trayer
    check "the icon is embedded" wait_until 10 icon_window
    check "the window is hidden again" wait_until 5 eval '! window_shown'
    check "trayer restarts" restart_host trayer
    check "the icon is embedded again" wait_until 10 icon_window
    check "a left click is sent" click_icon 1
    check "it shows the window" wait_until 10 window_shown
    check "trayer restarts" restart_host trayer
    check "the icon is embedded again" wait_until 10 icon_window
    check "the window the operator opened stays" eval 'sleep 1 && window_shown'
    screenshot tray
}

# item_in_panel: Brevalt's StatusNotifierItem is registered, called Brevalt, and drawn in the panel.
item_in_panel() {
    check "Brevalt's item is registered" wait_until 10 eval 'ITEM=$(sni_item "$BREVALT_PID")'
    check "its tooltip says Brevalt" grep -q "'Brevalt'" <<<"$(sni_get "$ITEM" ToolTip)"
    check "its icon is drawn in the panel" wait_until 10 panel_icon
}

# xfce4-panel serves both kinds of icon; one that comes late still gets an
# item, and gets it back when the panel restarts.
case_xfce_panel_late_and_restarted() {
    check "an X server and a session bus run" desktop bus
    start_case
    check "the window is shown" wait_until 15 window_shown
    check "xfce4-panel starts" start_host xfce
    item_in_panel
    check "the window is hidden again" wait_until 5 eval '! window_shown'
    check "xfce4-panel restarts" restart_host xfce
    item_in_panel
    screenshot panel
    only_left_click_shows_window
}

case_lxqt_panel_clicks() {
    check "an X server, a session bus and lxqt-panel run" desktop bus lxqt
    start_case
    item_in_panel
    check "the window stays hidden" eval '! window_shown'
    screenshot panel
    only_left_click_shows_window
}

# On Wayland (sway, waybar's tray): the item comes late and again after
# waybar restarts, a click shows the window and the schedule rotates.
case_wayland_waybar_late_restarted_and_rotating() {
    check "an X server, a session bus and sway inside it run" desktop bus sway
    BREVALT_ENV=(-u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$SWAY_DISPLAY")
    local minute day pid
    minute=$(first_tick_minute) day=$(date +%Y%m%d)
    start_case "$minute"
    check "the window is shown, as a Wayland client (sway runs no X server)" wait_until 15 window_shown
    check "one sensor runs" wait_until 10 sensor_count_is 1
    pid=$(sensor_pids)
    check "waybar starts" start_host waybar
    item_in_panel
    check "the window is hidden again" wait_until 5 eval '! window_shown'
    check "waybar restarts" restart_host waybar
    item_in_panel
    screenshot panel
    check "a left click is sent" click_icon 1
    check "it shows the window" wait_until 10 window_shown
    screenshot window
    check "the logs rotate at $minute" wait_until 75 rotated "$day"
    check "a new sensor replaces the old one" wait_until 10 eval 'sensor_count_is 1 && [[ $(sensor_pids) != "$pid" ]]'
}
