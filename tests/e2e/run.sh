#!/usr/bin/env bash
# End-to-end tests of the real brevalt under a real X server and the
# notification areas it meets (hosts.sh); installs what they need first.
# Usage: tests/e2e/run.sh BUILD_DIR (E2E_ONLY=regex runs some cases only). Prints
# "ok: CASE" or "FAIL: CASE", then "N passed, M failed"; logs go to BUILD_DIR/e2e-out.
# shellcheck disable=SC2016,SC2034,SC2153,SC2317  # conditions are passed to eval; helpers are called by check
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
BIN="$build/bin" OUT="$build/e2e-out"
# shellcheck source=scripts/lib/packages.sh
source "$here/../../scripts/lib/packages.sh"
need_packages xvfb trayer xdotool x11-utils imagemagick dbus-daemon libglib2.0-bin xfce4-panel lxqt-panel \
    sway waybar qt6-wayland python3-gi xfce4-notifyd busybox faketime libcap2-bin gcc \
    prometheus prometheus-node-exporter curl || { echo "cannot install the desktops' packages" >&2; exit 2; }
for program in brevalt snort close_window; do
    [[ -x $BIN/$program ]] || { echo "missing $BIN/$program: build first" >&2; exit 2; }
done
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$here/hosts.sh"
# shellcheck source=tests/e2e/metrics.sh
source "$here/metrics.sh"
rm -rf "$OUT" && mkdir -p "$OUT"
XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
# No session bus unless a case starts one: Qt then embeds its icon through
# the X11 tray protocol that trayer speaks.
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SWAYSOCK
export BIN OUT XDG_RUNTIME_DIR QT_QPA_PLATFORM=xcb

# icon_in_place: Brevalt's icon is embedded in trayer, or registered as
# Brevalt's item with the tooltip Brevalt and drawn in a bottom panel.
icon_in_place() {
    if [[ -n ${HOST_PID[trayer]:-} ]]; then check "the icon is embedded in the tray" wait_until 10 icon_window; return; fi
    check "Brevalt's item is registered" wait_until 10 eval 'ITEM=$(sni_item "$BREVALT_PID")'
    check "its tooltip says Brevalt" grep -q "'Brevalt'" <<<"$(sni_get "$ITEM" ToolTip)"
    check "its icon is drawn in the panel" wait_until 10 panel_icon
}
# comes_late HOST: the window, shown for want of an icon, is hidden again
# once HOST comes up and takes the icon.
comes_late() {
    check "the window is shown" wait_until 15 window_shown
    check "$1 starts" start_host "$1"
    icon_in_place
    check "the window is hidden again" wait_until 5 eval '! window_shown'
}
restarted() { check "$1 restarts" restart_host "$1" && icon_in_place; }

# With no session bus, as on a plain X session: a tray that comes after
# Brevalt takes the icon, and takes it again after restarts; then the
# window, each button, and closing the window.
case_late_tray_icon_buttons_and_closing() {
    check "an X server without a tray or a session bus runs" desktop
    start_case
    local pid status
    check "one sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    check "it runs in the folder Brevalt was started in" test "$(readlink "/proc/$pid/cwd")" = "$RUN_DIR"
    check "it writes into log/ beside the program" wait_until 10 test -s "$LOG_DIR/scan.log"
    comes_late trayer
    restarted trayer
    only_left_click_shows_window
    restarted trayer
    check "the window the operator opened stays" eval 'sleep 1 && window_shown'
    check "再起動 is clicked" client_click 160 84
    # The rotation waits 8 s for the old sensor to end, then renames.
    check "both logs get today's dated names, with the old sensor's lines" wait_until 30 rotated "$(date +%Y%m%d)"
    check "a new sensor replaces the old one" \
        wait_until 10 eval 'sensor_count_is 1 && [[ $(sensor_pids) != "$pid" ]] && pid=$(sensor_pids)'
    check "and writes fresh logs" wait_until 10 test -s "$LOG_DIR/alert.ids"
    check "停止 is clicked" client_click 256 84
    # Brevalt collects an ended sensor on its next 30-second tick; till then /proc keeps its status.
    check "the sensor ends" wait_until 10 eval '[[ $(proc_stat 1 "$pid") == Z || ! -e /proc/$pid ]]'
    status=$(proc_stat 50 "$pid")
    check "with status 0 (${status:-collected before it could be read})" test "${status:-0}" -eq 0
    check "Brevalt runs on" eval '! ended "$BREVALT_PID"'
    check "Snort実行 is clicked" client_click 64 84
    check "a sensor runs again" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    check "the window is asked to close" "$BIN/close_window" "$(brevalt_window main)"
    check "Brevalt ends with status 0" brevalt_exits_with -eq 0
    sensor_outlives_brevalt "$pid"
    start_brevalt
    taken_over "$pid"
    check "a left click shows the window" eval 'click_icon 1 && wait_until 10 window_shown'
    check "Snort実行 is clicked twice" eval 'client_click 64 84 && sleep 0.5 && client_click 64 84'
    check "Brevalt says the sensor already runs" wait_until 5 told "The sensor already runs (process $pid)"
    check "and still only that one runs" eval 'sleep 1 && [[ $(sensor_pids) == "$pid" ]]'
    local day sums
    day=$(date +%Y%m%d)
    rm -f "$LOG_DIR"/*.*[0-9]
    check "再起動 is clicked" client_click 160 84
    check "the sensor taken over ends and both logs get dated names" wait_until 30 eval 'ended $pid && rotated $day'
    check "one new sensor writes fresh logs" wait_until 10 eval 'sensor_count_is 1 && [[ $(sensor_pids) != "$pid" ]] && test -s "$LOG_DIR/alert.ids"'
    sums=$(log_sums "$LOG_DIR/" | grep '\.[0-9]*$')
    check "no line reaches the dated logs after the rotation" eval 'sleep 3 && [[ $(log_sums "$LOG_DIR/" | grep "\.[0-9]*$") == "$sums" ]]'
}

# With lxqt-panel up first: the item and its clicks; a sensor killed from
# outside is told (a real system log, and the desktop's notification
# service) and started again at the next tick; 終了 ends Brevalt with 0.
case_lxqt_panel_killed_sensor_and_exit_menu() {
    check "an X server, a session bus and lxqt-panel run" desktop bus lxqt
    check "a system log runs" start_syslog
    check "a notification service runs, its notifications recorded" notification_service
    start_case
    icon_in_place
    check "the window stays hidden" eval '! window_shown'
    local pid
    check "one sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    kill -KILL "$pid"
    check "the item says at once that none runs" wait_until 2 eval '[[ $(sni_get "$ITEM" Status) == *NeedsAttention* ]]'
    check "at the next tick another sensor runs" wait_until 40 eval 'sensor_count_is 1 && [[ $(sensor_pids) != "$pid" ]] && pid=$(sensor_pids)'
    check "the system log has the end as a warning" logged warn 'The sensor ended by itself (killed by signal 9)'
    check "and the new start as a notice" logged notice 'The sensor was started again'
    check "the notification service was told both" \
        eval 'grep -q "killed by signal 9" "$OUT/notify.log" && grep -q "started again" "$OUT/notify.log"'
    only_left_click_shows_window
    check "ファイル is clicked" client_click 20 -10
    check "its menu opens as a second window" \
        wait_until 5 eval '(($(xdotool search --onlyvisible --classname "^brevalt$" | wc -l) > 1))'
    check "終了 is chosen by keyboard" xdotool key Down Return
    check "Brevalt ends with status 0" brevalt_exits_with -eq 0
    sensor_outlives_brevalt "$pid"
    start_brevalt
    taken_over "$pid"
    kill -KILL "$BREVALT_PID"
    check "Brevalt killed with SIGKILL ends" brevalt_exits_with -eq 137
    start_brevalt
    taken_over "$pid"
    check "a left click shows the window" eval 'click_icon 1 && wait_until 10 window_shown'
    check "停止 is clicked" client_click 256 84
    check "the sensor taken over ends, and none runs" wait_until 10 eval 'ended $pid && sensor_count_is 0'
}

# Under a StatusNotifier host, in a Japanese session: the item's Status,
# tooltip and icon follow the sensor at once, without waiting for a tick,
# and the notifications are in Japanese.
case_status_notifier_item_follows_the_sensor_in_japanese() {
    check "an X server, a session bus and lxqt-panel run" desktop bus lxqt
    check "a notification service runs, its notifications recorded" notification_service
    BREVALT_ENV=(LANG=ja_JP.UTF-8)
    start_case
    icon_in_place
    local pid running
    state() { [[ $(sni_get "$ITEM" Status) == "(<'$1'>,)" ]] && sni_get "$ITEM" ToolTip | grep -q "$2"; }
    check "Active, running since its start" wait_until 5 state Active "Brevalt: センサー実行中 ($(date +%H:%M)\\|$(date -d '-1 min' +%H:%M)) から)"
    running=$(sni_get "$ITEM" IconPixmap | md5sum)
    check "a left click shows the window" eval 'click_icon 1 && wait_until 10 window_shown'
    check "停止 is clicked" client_click 256 84
    check "NeedsAttention, stopped" wait_until 5 state NeedsAttention "センサー停止中 (停止)、次の切り替え \(明日 \)\?03:30"
    check "with another icon" eval '[[ $(sni_get "$ITEM" IconPixmap | md5sum) != "$running" ]]'
    check "Snort実行 is clicked" client_click 64 84
    check "Active again" wait_until 2 state Active "センサー実行中"
    check "with the usual icon" eval '[[ $(sni_get "$ITEM" IconPixmap | md5sum) == "$running" ]]'
    check "one sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    kill -KILL "$pid"
    check "its end shows at once" wait_until 2 state NeedsAttention "センサー終了、次の確認で再起動"
    check "and the next tick starts another" wait_until 35 state Active "センサー実行中"
    check "the notification is Japanese" grep -q "センサーが自ら終了しました (シグナル 9 で強制終了)" "$OUT/notify.log"
    check "the system log's line English" told "The sensor ended by itself (killed by signal 9)"
}

# A sensor that fails 40 s after each start (a large rule set loaded, then the
# interface refused): each end is found a minute after its start, yet counts
# as quick; after the third Brevalt stops trying and says so once.
case_sensor_failing_40_s_after_each_start_is_given_up() {
    check "an X server with trayer runs" desktop trayer
    BREVALT_ENV=(STANDIN_SENSOR_EXIT_AFTER=40)
    start_case
    check "the sensor runs" wait_until 10 icon_window
    local running
    running=$(icon_pixels)
    check "the sensor is given up after its third end" wait_until 220 told "The sensor ended within a minute of its start 3 times in a row"
    check "the icon in the tray changed" eval '[[ $(icon_pixels) != "$running" ]]'
    screenshot given-up
    check "having been started three times" eval '(($(grep -c "The sensor was started again" "$OUT/$CASE.stderr") == 2))'
    check "and none runs" eval 'sleep 40 && sensor_count_is 0'
    check "and it was said once" eval '(($(grep -c "3 times in a row" "$OUT/$CASE.stderr") == 1))'
}

# On Wayland (sway, which runs no X server here, and waybar's tray): the
# item comes late and again after waybar restarts, a click shows the window
# and the schedule rotates.
case_wayland_waybar_late_restarted_and_rotating() {
    check "an X server, a session bus and sway inside it run" desktop bus sway
    BREVALT_ENV=(-u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$SWAY_DISPLAY")
    local minute day
    minute=$(first_tick_minute) day=$(date +%Y%m%d)
    start_case "$minute"
    comes_late waybar
    restarted waybar
    check "a left click shows the window" eval 'click_icon 1 && wait_until 10 window_shown'
    check "the logs rotate at $minute" wait_until 75 rotated "$day"
}

# Plasma's watcher comes up before the panel that hosts icons: Brevalt, started
# between the two, hears of the host from the watcher alone, whose name was
# there all along. waybar registers its host with that watcher.
case_host_registers_with_earlier_watcher() {
    check "an X server, a session bus, sway and a watcher without a host run" desktop bus sway watcher
    BREVALT_ENV=(-u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$SWAY_DISPLAY")
    start_case
    comes_late waybar
    check "the first watcher still holds its name" eval '[[ $(gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.GetConnectionUnixProcessID org.kde.StatusNotifierWatcher) == "(uint32 ${HOST_PID[watcher]},)" ]]'
}

# A real system log on /dev/log, whose lines carry their facility and priority.
start_syslog() {
    [[ ! -e /dev/log ]] || { log "a system log owns /dev/log already: these cases need their own"; return 1; }
    busybox syslogd -n -O "$OUT/$CASE.syslog" &
    SYSLOG_PID=$! && trap 'stop_child "$SYSLOG_PID"; rm -f /dev/log; end_case; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
    wait_until 5 test -S /dev/log
}
logged() { grep -q "user\.$1 brevalt\[[0-9]*\]: $2" "$OUT/$CASE.syslog"; }
# The desktop's notification service on the session bus; what it is asked to
# show goes to $OUT/notify.log.
notification_service() {
    /usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd >>"$OUT/notifyd.log" 2>&1 &
    wait_until 10 eval 'gdbus introspect --session -d org.freedesktop.Notifications -o /org/freedesktop/Notifications >/dev/null' &&
        { dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" >"$OUT/notify.log" 2>&1 & }
}

# The clock jumps two hours, over the rotation minute (a laptop asleep): the
# next tick rotates once and says it caught up. Only the day's own minute is
# caught up, so Brevalt's clock starts far enough from midnight that the
# jump lands on the same date.
case_clock_jumping_over_the_minute_rotates() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    local offset=$OUT/$CASE.offset start=0
    (( 10#$(date +%H) < 20 )) || start=-6
    printf "%+dh\n" "$start" >"$offset"
    BREVALT_ENV=(LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 FAKETIME_TIMESTAMP_FILE="$offset"
        FAKETIME_NO_CACHE=1 FAKETIME_DONT_FAKE_MONOTONIC=1)
    start_case "$(date -d "$((start + 1)) hour" +%H:%M)"
    check "one sensor writes" wait_until 10 test -s "$LOG_DIR/alert.ids"
    printf "%+dh\n" "$((start + 2))" >"$offset"
    check "the next tick rotates both logs" wait_until 45 eval 'test -s "$LOG_DIR"/alert.ids.* && test -s "$LOG_DIR"/scan.log.*'
    check "and tells it caught up, as a notice" logged notice 'The rotation time .* passed unseen'
    check "a new sensor writes fresh logs" wait_until 15 test -s "$LOG_DIR/alert.ids"
}

# An operator's day: --check answers without a display; each choice in the
# window and each signal is on record in the system log with its sender;
# SIGHUP moves the rotation to the new time without stopping the sensor, and
# a file that does not read leaves the time in force.
case_operators_day_on_record_and_settings_read_again() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case && printf '03:30\nkeep=3\n' >"$RUN_DIR/brevalt.ini"
    local checked pid minute
    checked=$(cd "$RUN_DIR" && env -u DISPLAY "$PROG_DIR/brevalt" --check)
    check "--check without a display says what it would do, with exit status 0" \
        grep -q "the dated logs of the 3 newest dates" <<<"$checked"
    check "and names the sensor it would start" grep -qF "$PROG_DIR/snort" <<<"$checked"
    echo '# time' >"$RUN_DIR/brevalt.ini"
    checked=$(cd "$RUN_DIR" && env -u DISPLAY "$PROG_DIR/brevalt" --check 2>&1 >/dev/null; echo "status $?")
    check "--check on a file Brevalt would not start with exits 1" grep -q "^status 1$" <<<"$checked"
    check "naming the line on standard error" grep -q 'line 1 "# time" is a remark' <<<"$checked"
    echo 03:30 >"$RUN_DIR/brevalt.ini" && start_brevalt
    check "one sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    check "the window is shown" eval 'click_icon 1 && wait_until 10 window_shown'
    check "the window's 停止 is on record with the user" client_click 256 84
    check "as a notice in the system log" wait_until 10 logged notice "$(id -un) chose 停止 in the window: no sensor runs"
    check "Snort実行 likewise" client_click 64 84
    check "with the sensor it started" wait_until 10 logged notice "$(id -un) chose Snort実行 in the window: the sensor runs"
    check "a new sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    minute=$(first_tick_minute)
    echo "$minute" >"$RUN_DIR/brevalt.ini" && kill -HUP "$BREVALT_PID"
    check "SIGHUP reads the new time, on record with its sender" \
        wait_until 10 logged notice "Brevalt received SIGHUP from process [0-9]* of user $(id -un): the settings were read again"
    check "and says what changed" logged notice "The settings file .* was read again: rotation time 03:30 → $minute"
    check "the sensor runs on, never stopped by the reload" eval '[[ $(sensor_pids) == "$pid" ]]'
    # The first tick in that minute may come up to 57 s after the reload, and
    # the rotation waits 8 s before it renames.
    check "the next tick rotates at the new time" wait_until 75 eval 'ls "$LOG_DIR"/alert.ids.* >/dev/null 2>&1'
    printf '04:00\nkeep=soon\n' >"$RUN_DIR/brevalt.ini" && kill -HUP "$BREVALT_PID"
    check "a file that does not read leaves the settings in force" \
        wait_until 10 logged notice "The settings in force stay: rotation time $minute"
    check "Brevalt still runs" kill -0 "$BREVALT_PID"
    kill -TERM "$BREVALT_PID"
    check "SIGTERM ends Brevalt and its sensor, on record" \
        wait_until 10 logged notice "Brevalt received SIGTERM from process [0-9]* of user $(id -un): Brevalt ended with its sensor"
    check "and no sensor is left" wait_until 10 sensor_count_is 0
}

# keep=3 and compress=yes on a folder seeded with dated logs of many dates:
# after the start and a rotation the newest 3 dates remain, compressed to
# exactly what was written, and nothing else is touched. Brevalt killed in the
# middle of compressing a large log loses nothing; the next start finishes.
case_dated_logs_kept_and_compressed() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case && mkdir "$LOG_DIR/alert.ids.20190101"
    local d name today yesterday big
    for d in 20251130 20251231 20260101 20260315 20260316; do
        for name in alert.ids scan.log; do echo "$name of $d" >"$LOG_DIR/$name.$d"; done
    done
    gzip -n "$LOG_DIR/alert.ids.20251231" "$LOG_DIR/scan.log.20260316"
    echo keep >"$LOG_DIR/alert.ids.20260230" && echo keep >"$LOG_DIR/notes.txt" && echo keep >"$CASE_DIR/outside"
    ln -s "$CASE_DIR/outside" "$LOG_DIR/scan.log.20200101"
    chgrp -h "$(id -g)" "$LOG_DIR"/* && chmod 640 "$LOG_DIR/alert.ids.20260316" && touch -h -d '2 days ago' "$LOG_DIR"/*
    today=$(date +%Y%m%d) yesterday=$(date -d yesterday +%Y%m%d)
    printf '%s\nkeep=3\ncompress=yes\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    start_brevalt
    # Today's logs were written a moment ago: compressed at a later pass.
    check "the rotation at the first tick dates today's logs" wait_until 75 eval 'test -s "$LOG_DIR/alert.ids.$today"'
    check "the newest 3 dates of each log remain, the older compressed, and nothing else is touched" wait_until 20 eval \
        '[[ $(cd "$LOG_DIR" && echo *) == "alert.ids alert.ids.20190101 alert.ids.20260230 alert.ids.20260315.gz alert.ids.20260316.gz alert.ids.$today notes.txt scan.log scan.log.20260315.gz scan.log.20260316.gz scan.log.$today sensor.out" ]]'
    check "each holds what was written" eval '[[ $(zcat "$LOG_DIR/alert.ids.20260316.gz") == "alert.ids of 20260316" && $(zcat "$LOG_DIR/scan.log.20260316.gz") == "scan.log of 20260316" ]]'
    check "with the original's mode" test "$(stat -c %a "$LOG_DIR/alert.ids.20260316.gz")" = 640
    check "the link went, its target stayed" eval '[[ $(cat "$CASE_DIR/outside") == keep && -d $LOG_DIR/alert.ids.20190101 ]]'
    check "the deletions are in the system log" logged info '[0-9]* dated logs older than the newest 3 dates were deleted'

    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    big=$LOG_DIR/alert.ids.$yesterday
    head -c 120M /dev/urandom | base64 >"$big" && touch -d '2 hours ago' "$big"
    local sum
    sum=$(sha256sum <"$big")
    start_brevalt
    check "the next start compresses the large log" wait_until 20 test -e "$big.gz.partial"
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    check "Brevalt killed in the middle leaves the original whole" eval '[[ $(sha256sum <"$big") == "$sum" && ! -e $big.gz ]]'
    start_brevalt
    check "the start after finishes it, the leftover gone" wait_until 120 eval '! test -e "$big" && ! test -e "$big.gz.partial"'
    check "and the compressed log holds exactly what was written" eval '[[ $(zcat "$big.gz" | sha256sum) == "$sum" ]]'
    check "the oldest of four dates is deleted" eval '! test -e "$LOG_DIR/alert.ids.20260315.gz" && test -e "$LOG_DIR/scan.log.20260315.gz"'
}

# shellcheck source=tests/e2e/operators.sh
source "$here/operators.sh"
# shellcheck source=tests/e2e/service_view.sh
source "$here/service_view.sh"
# compress=yes: a rotation, its logs compressed at the next start, then a
# second rotation on that date by a Brevalt started again a minute ahead:
# the live logs keep their names and the first .gz keeps every line.
case_second_rotation_on_a_date_keeps_the_first_gz() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case
    local today sum
    today=$(date +%Y%m%d)
    printf '%s\ncompress=yes\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    start_brevalt
    check "the first tick rotates" wait_until 75 rotated "$today"
    sum=$(sha256sum <"$LOG_DIR/alert.ids.$today") && touch -d '1 hour ago' "$LOG_DIR"/*."$today"
    printf '%s\ncompress=yes\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    restart_brevalt
    check "the next start compresses the dated logs" wait_until 20 test -e "$LOG_DIR/alert.ids.$today.gz"
    check "the second rotation keeps the live log's name" wait_until 75 logged 'warn[a-z]*' "alert.ids kept its name: alert.ids.$today.gz exists"
    check "the first .gz holds every line" eval '[[ $(zcat "$LOG_DIR/alert.ids.$today.gz" | sha256sum) == "$sum" && -s $LOG_DIR/alert.ids ]]'
}

# A clock a year behind for two days, keep=3 over four dates: each
# rotation's logs get the oldest dates, and nothing at all is deleted while
# the folder holds names newer than them, nor at a start on that clock.
case_clock_a_year_behind_for_two_days_deletes_nothing() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case
    local d name behind next all
    for d in 1 2 3 4; do
        for name in alert.ids scan.log; do echo "$name" >"$LOG_DIR/$name.$(date -d "-$d day" +%Y%m%d)"; done
    done
    behind=$(date -d '-365 day' +%Y%m%d) next=$(date -d '-364 day' +%Y%m%d)
    BREVALT_ENV=(LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 FAKETIME=-365d FAKETIME_DONT_FAKE_MONOTONIC=1)
    printf '%s\nkeep=3\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    start_brevalt
    check "the first tick rotates to a date a year back" wait_until 75 eval 'test -e "$LOG_DIR/alert.ids.$behind" && test -e "$LOG_DIR/scan.log.$behind"'
    check "the clock is told to be behind" wait_until 40 logged 'warn[a-z]*' "The clock seems to be behind: the logs were rotated to .*$behind"
    check "and why nothing is deleted, naming the newer names" logged 'warn[a-z]*' "keep: dated logs are deleted only while no dated name is newer than $behind"
    BREVALT_ENV=(LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 FAKETIME=-364d FAKETIME_DONT_FAKE_MONOTONIC=1)
    printf '%s\nkeep=3\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    restart_brevalt
    check "the next day's rotation, a year back too" wait_until 75 eval 'test -e "$LOG_DIR/alert.ids.$next" && test -e "$LOG_DIR/scan.log.$next"'
    all="alert.ids.$behind alert.ids.$next $(for d in 4 3 2 1; do echo -n "alert.ids.$(date -d "-$d day" +%Y%m%d) "; done)"
    check "every log of both days and of the four dates is kept" wait_until 40 eval \
        '[[ $(cd "$LOG_DIR" && echo alert.ids.*) == "${all% }" && $(cd "$LOG_DIR" && ls scan.log.* | wc -l) == 6 ]]'
    check "nothing was deleted at all" eval '! grep -q "were deleted" "$OUT/$CASE.syslog"'
}

# A pair of names dated 2099 with a correct clock and keep=2: no day's log
# is deleted, and the start says which names stand in the future.
case_future_dated_pair_stops_keep() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case
    local d name
    for d in 1 2 3 4; do
        for name in alert.ids scan.log; do echo "$name" >"$LOG_DIR/$name.$(date -d "-$d day" +%Y%m%d)"; done
    done
    echo later >"$LOG_DIR/alert.ids.20990101" && echo later >"$LOG_DIR/scan.log.20990101"
    printf '03:30\nkeep=2\n' >"$RUN_DIR/brevalt.ini"
    start_brevalt
    check "the start says which names stand in the future" wait_until 45 logged 'warn[a-z]*' \
        "keep: dated logs are deleted only while no dated name is newer than $(date +%Y%m%d) .* alert.ids.20990101, scan.log.20990101 are"
    check "and deletes nothing" eval '[[ $(ls "$LOG_DIR" | grep -c "\.[0-9]*$") == 10 ]] && ! grep -q "were deleted" "$OUT/$CASE.syslog"'
}

# Pipes named like a compression's partial file and like the rotation's
# marks: the rotation, the pass and the session's end go on, each failure
# told, and the session's end ends Brevalt and its sensor within the grace.
case_pipes_in_the_log_folder_hold_nothing_up() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case
    local old today name
    old=$(date -d '-3 day' +%Y%m%d) today=$(date +%Y%m%d)
    echo alerts >"$LOG_DIR/alert.ids.$old" && touch -d '2 days ago' "$LOG_DIR/alert.ids.$old"
    mkfifo "$LOG_DIR/alert.ids.$old.gz.partial"
    for name in alert.ids scan.log; do mkfifo "$LOG_DIR/.latest-rotation.$name.$today"; done
    printf '%s\nkeep=3\ncompress=yes\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    start_brevalt
    check "the start's pass tells the log it could not compress" wait_until 40 logged 'warn[a-z]*' "The dated log alert.ids.$old could not be compressed: File exists"
    check "the first tick rotates" wait_until 75 rotated "$today"
    check "the marks it could not write are told" wait_until 40 logged 'warn[a-z]*' "The record of the latest rotation, .latest-rotation.alert.ids.$today"
    check "the old log is whole" test "$(cat "$LOG_DIR/alert.ids.$old")" = alerts
    kill -TERM "$BREVALT_PID"
    check "the session's end ends Brevalt" brevalt_exits_with -eq 0
    check "and its sensor" wait_until 5 sensor_count_is 0
}

# A dated log appended to while the start's pass compresses it: every line
# stays, the log whole, and it is told.
case_log_appended_while_compressed_keeps_every_line() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case
    local big
    big=$LOG_DIR/alert.ids.$(date -d '-2 day' +%Y%m%d)
    head -c 120M /dev/urandom | base64 >"$big" && touch -d '2 hours ago' "$big"
    printf '03:30\ncompress=yes\n' >"$RUN_DIR/brevalt.ini"
    start_brevalt
    check "the start compresses the large log" wait_until 20 test -e "$big.gz.partial"
    echo "a late alert" >>"$big"
    check "the pass ends, leaving the log whole" wait_until 120 eval '! test -e "$big.gz.partial" && ! test -e "$big.gz"'
    check "with every line, the late one too" eval '[[ $(tail -n 1 "$big") == "a late alert" ]]'
    check "and told" wait_until 40 logged 'warn[a-z]*' "The dated log alert.ids.* was written to"
}

# A small file system for the log folder, nearly filled by an incompressible
# dated log, compress=yes and a writer on the live log, through a rotation:
# the log is left as it is, the shortfall told once with its figures, and
# no line of the writer's is refused for want of room.
case_log_too_large_to_compress_leaves_the_writer_its_room() {
    check "an X server with trayer runs" desktop trayer
    check "a system log runs" start_syslog
    new_case
    local big sum day before after told
    trap '[[ -z ${WRITER_PID:-} ]] || kill "$WRITER_PID" 2>/dev/null; stop_child "${BREVALT_PID:-}"; BREVALT_PID=; kill $(sensor_pids) 2>/dev/null
        wait_until 5 sensor_count_is 0; umount -l "$LOG_DIR"; stop_child "$SYSLOG_PID"; rm -f /dev/log; end_case; stop_hosts
        stop_child "${XVFB_PID:-}"' EXIT
    check "the log folder is a tmpfs of 100 MiB" mount -t tmpfs -o size=100M,mode=755 tmpfs "$LOG_DIR"
    big=$LOG_DIR/alert.ids.$(date -d '-2 day' +%Y%m%d) day=$(date +%Y%m%d)
    head -c 80M /dev/urandom >"$big" && touch -d '2 hours ago' "$big" && sum=$(sha256sum <"$big")
    free_mib() { echo $(($(stat -f -c '%a * %S' "$LOG_DIR") >> 20)); }
    (n=0; while [[ ! -e $OUT/$CASE.stop ]]; do
        n=$((n + 1)) && { echo "writer line $n" >>"$LOG_DIR/alert.ids" || echo "$n" >>"$OUT/$CASE.refused"; } && sleep 0.05
    done; echo "$n" >"$OUT/$CASE.count") 2>>"$OUT/$CASE.writer" &
    WRITER_PID=$!
    check "the writer appends to the live log" wait_until 10 grep -q "writer line 2" "$LOG_DIR/alert.ids"
    before=$(free_mib)
    printf '%s\ncompress=yes\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    start_brevalt
    check "the start tells the shortfall with the log's size" wait_until 40 logged 'warn[a-z]*' \
        "The dated log ${big##*/} (80 MiB) is not compressed: the log folder has [0-9]* MiB free"
    after=$(free_mib) told=$(grep -o 'the log folder has [0-9]* MiB free' "$OUT/$CASE.syslog" | head -n 1 | tr -dc 0-9)
    check "and the room there was before anything was written ($told MiB; $after to $before MiB)" \
        eval '((told <= before && told + 1 >= after))'
    check "the rotation at the first tick dates both logs" wait_until 75 rotated "$day"
    check "a new sensor writes fresh logs" wait_until 15 eval 'sensor_count_is 1 && test -s "$LOG_DIR/alert.ids"'
    check "after the rotation's pass the shortfall was told once, and no compression failed" \
        eval 'sleep 5 && [[ $(grep -c "is not compressed: the log folder has" "$OUT/$CASE.syslog") == 1 ]] && ! grep -q "could not be compressed" "$OUT/$CASE.syslog"'
    check "the log is left as it is, nothing beside it" eval '[[ $(sha256sum <"$big") == "$sum" && -z $(ls "$LOG_DIR" | grep "\.gz") ]]'
    touch "$OUT/$CASE.stop"
    check "the writer ends" wait_until 10 eval 'ended $WRITER_PID && test -s "$OUT/$CASE.count"'
    check "none of its lines was refused" test ! -e "$OUT/$CASE.refused"
    check "every one is in the live or the dated log" \
        eval '[[ $(cat "$LOG_DIR"/alert.ids "$LOG_DIR"/alert.ids.$day* | grep "^writer line " | sort -u | wc -l) == $(cat "$OUT/$CASE.count") ]]'
}

# Settings as an input method or Windows PowerShell writes them: each is
# honoured (keep=1 deletes the older of two dates) or refused naming the line.
case_settings_as_operators_type_them() {
    check "an X server with trayer runs" desktop trayer
    new_case
    local form
    for form in 'keep＝1' 'ｋｅｅｐ=１' $'keep\xc2\xa0=1' $'keep\xe3\x80\x80=1' utf16 utf16-then-cmd; do
        echo old >"$LOG_DIR/alert.ids.20200101" && echo new >"$LOG_DIR/alert.ids.20200102"
        if [[ $form == utf16-then-cmd ]]; then
            # PowerShell wrote the time, cmd's echo appended the setting.
            { printf '03:30\r\n' | iconv -t UTF-16; printf 'keep=1\r\n'; } >"$RUN_DIR/brevalt.ini"
        else
            printf '03:30\r\n%s\r\n' "${form/utf16/keep=1}" | if [[ $form == utf16 ]]; then iconv -f UTF-8 -t UTF-16; else cat; fi \
                >"$RUN_DIR/brevalt.ini"
        fi
        start_brevalt
        check "$form is honoured" wait_until 10 eval '! test -e "$LOG_DIR/alert.ids.20200101"'
        kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    done
    for form in 'ｋｅｅｐ＝ｔｅｎ' utf16-appended cp932; do
        printf '03:30\r\n' >"$RUN_DIR/brevalt.ini"
        case $form in
        utf16-appended) printf 'keep=1\r\n' | iconv -t UTF-16LE >>"$RUN_DIR/brevalt.ini" ;;
        cp932) printf 'keep＝1\r\n' | iconv -t CP932 >>"$RUN_DIR/brevalt.ini" ;;
        *) echo "$form" >>"$RUN_DIR/brevalt.ini" ;;
        esac
        start_brevalt
        check "$form is refused, naming the line" wait_until 10 told 'Cannot use the settings file.*line 2'
        kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    done
}

# Asked for its usage, or given an unknown option, Brevalt answers without a
# display and starts nothing; without a display it says what it needs.
case_command_line_and_no_display_start_nothing() {
    check "a system log runs" start_syslog
    mkdir -p "$OUT/$CASE" && cp "$BIN/brevalt" "$BIN/snort" "$OUT/$CASE/"
    PROG_DIR=$OUT/$CASE
    bare() { (cd "$OUT" && exec env -u DISPLAY -u WAYLAND_DISPLAY "$PROG_DIR/brevalt" "$@") >"$OUT/$CASE.out" 2>"$OUT/$CASE.err"; }
    local option status
    for option in --help -h; do
        check "$option answers with status 0" bare "$option"
        check "naming the settings file, the log folder, the system log and the exit statuses" grep -qzP \
            "(?s)settings file   $OUT/brevalt.ini \\(the current directory\\)\n  log folder      $PROG_DIR/log .*journalctl -t brevalt.*\n  2  an option" "$OUT/$CASE.out"
    done
    bare --frobnicate && status=0 || status=$?
    check "an unknown option ends with status 2" test "$status" -eq 2
    check "naming it, with the usage" eval 'grep -q "unknown option \"--frobnicate\"" "$OUT/$CASE.err" && grep -q "^Usage: brevalt" "$OUT/$CASE.err"'
    bare && status=0 || status=$?
    check "without a display Brevalt ends with status 1, not an abort" test "$status" -eq 1
    check "in one line that names what it tried" eval '[[ $(cat "$OUT/$CASE.err") == "brevalt: Brevalt needs a desktop session and could not reach one (DISPLAY is not set): "* ]]'
    check "also in the system log" logged err 'Brevalt needs a desktop session'
    check "and no sensor was started" sensor_count_is 0
}

# brevalt_told TEXT: Brevalt's standard error, the system log (at warning)
# and the desktop's notification service all have TEXT (a fixed string).
brevalt_told() {
    wait_until 10 grep -qF "brevalt: $1" "$OUT/$CASE.stderr" && grep -qF "brevalt[$BREVALT_PID]: $1" "$OUT/$CASE.syslog" &&
        wait_until 5 grep -qF "$1" "$OUT/notify.log"
}
# shellcheck disable=SC2046  # a list of pids
end_both() { kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137 && kill $(sensor_pids) && wait_until 5 sensor_count_is 0; }
# A start-up error's box, answered; Brevalt ends with status 1.
box_answered() {
    local box
    wait_until 10 eval 'box=$(brevalt_window box)' && "$BIN/close_window" "$box" && brevalt_exits_with -eq 1
}

# What a first start tells: settings errors naming the file in full, each
# time that never matches (the sensor runs all the same), a missing log
# folder, a good start's line, and a sensor that fails in its own words.
case_first_start_tells_what_it_did_and_what_never_works() {
    check "an X server, a session bus and lxqt-panel run" desktop bus lxqt
    check "a system log runs" start_syslog
    check "a notification service runs, its notifications recorded" notification_service
    start_case none
    check "without brevalt.ini a box says so" box_answered
    check "naming the file in full" told "Cannot use the settings file \"$RUN_DIR/brevalt.ini\", read from the current directory: No such file or directory"
    : >"$RUN_DIR/brevalt.ini" && start_brevalt
    check "an empty brevalt.ini is refused" box_answered
    check "saying what to write" told "Cannot use the settings file \"$RUN_DIR/brevalt.ini\": the file is empty (write the rotation time on its first line, for example 03:30)"
    local time pid
    echo '# rotate at half past three' >"$RUN_DIR/brevalt.ini" && start_brevalt
    check "a first line that is a remark is refused" box_answered
    check "naming the line" told "Cannot use the settings file \"$RUN_DIR/brevalt.ini\": line 1 \"# rotate at half past three\" is a remark"
    for time in 3:30 25:00 abc; do
        echo "$time" >"$RUN_DIR/brevalt.ini" && start_brevalt
        check "\"$time\" is told as a time that never matches" brevalt_told "The rotation time \"$time\" never matches: the first line of the settings file must be HH:MM"
        check "and the sensor runs" wait_until 10 sensor_count_is 1
        check "the tooltip says that no rotation is scheduled" wait_until 5 eval 'sni_get "$(sni_item "$BREVALT_PID")" ToolTip | grep -q "no rotation is scheduled"'
        check "Brevalt and its sensor are ended" end_both
    done
    echo 03:30 >"$RUN_DIR/brevalt.ini" && mkdir "$RUN_DIR/log" && rm -r "$LOG_DIR" && start_brevalt
    check "a missing log folder is told with its full path" brevalt_told "The log folder \"$LOG_DIR\" does not exist"
    check "Brevalt and its sensor are ended" end_both
    mkdir "$LOG_DIR" && start_brevalt
    check "a good start names its sensor's pid, the log folder beside the program and the next rotation" \
        wait_until 10 eval 'pid=$(sensor_pids) && told "Brevalt started: sensor process $pid, log folder \"$LOG_DIR\", next rotation 03:30$"'
    check "the sensor's own words go to sensor.out in the log folder" wait_until 5 grep -q "^stand-in sensor" "$LOG_DIR/sensor.out"
    check "none in the current directory's log folder" test -z "$(ls "$RUN_DIR/log")"
    check "Brevalt and its sensor are ended" end_both
    BREVALT_ENV=(STANDIN_SENSOR_FAIL="ERROR: Can't start DAQ (-1) - eth9: No such device!") && start_brevalt
    check "a sensor that fails is told in its own last words" brevalt_told \
        "The sensor ended by itself (exit status 1); its last words in $LOG_DIR/sensor.out: ERROR: Can't start DAQ (-1) - eth9: No such device!"
}

# Each case runs in a subshell of its own; what it leaves running is ended.
run_case() { (trap 'end_case; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT; "$1") >"$OUT/$CASE.log" 2>&1; }
for name in $(declare -F | awk '$3 ~ /^case_/ { print $3 }'); do
    CASE=${name#case_}
    [[ $CASE =~ ${E2E_ONLY:-.} ]] && expect "$CASE" run_case "$name"
done
summary
