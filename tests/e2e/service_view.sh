# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034  # conditions are passed to eval; variables read by run.sh
# Cases of the machine's service and the operators' views of it. With no
# systemd here the service runs by hand as a user of its own, its socket in
# /run/brevalt, and that socket alone makes an operator's Brevalt a view.
# Then the control channel's check of who may ask. Sourced by run.sh after
# operators.sh; the operators' group is named as the channel's check wants it.

SERVICE_USER=brvsvc
# svc_setup: the operators, the service's user and its runtime folder.
svc_setup() {
    # An empty one a package left is lent to the case and given back as it was.
    if [[ -e /run/brevalt ]]; then
        [[ -z $(ls -A /run/brevalt) ]] || { log "/run/brevalt is in use: the machine runs a service of its own"; return 1; }
        RUN_FOLDER_WAS=$(stat -c '%u:%g %a' /run/brevalt)
    fi
    OPS_GROUP=brevalt && ops_setup || return 1
    trap 'svc_teardown; ops_teardown; [[ -z ${SYSLOG_PID:-} ]] || { stop_child "$SYSLOG_PID"; rm -f /dev/log; }; end_case; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
    useradd -M -N -g brevalt -s /usr/sbin/nologin $SERVICE_USER && install -d -m 750 -o $SERVICE_USER -g brevalt /run/brevalt
}
svc_teardown() {
    local p
    stop_child "${SERVICE_PID:-}"
    for p in $(pgrep -u $SERVICE_USER); do kill -KILL "$p"; done
    if [[ -n ${RUN_FOLDER_WAS:-} ]]; then
        rm -rf /run/brevalt/* && chown "${RUN_FOLDER_WAS% *}" /run/brevalt && chmod "${RUN_FOLDER_WAS#* }" /run/brevalt
    else rm -rf /run/brevalt; fi
    userdel $SERVICE_USER 2>/dev/null
    return 0
}
# start_service: brevalt --service as its user, as systemd would start it; returns once it listens.
start_service() {
    (cd "$RUN_DIR" && umask 007 && exec setpriv --reuid=$SERVICE_USER --regid=brevalt --init-groups env -i PATH=/usr/bin:/bin \
        "$PROG_DIR/brevalt" --service) >>"$OUT/$CASE.stdout" 2>>"$OUT/$CASE.service" &
    SERVICE_PID=$!
    wait_until 10 test -S /run/brevalt/brevalt.sock
}
# answers STATUS USER REQUEST [RUNTIME]: `brevalt REQUEST` as USER exits with
# STATUS; its output in $OUT/$CASE.said and .said-err.
answers() {
    local status=0
    setpriv --reuid="$2" --regid=nogroup --init-groups env -i XDG_RUNTIME_DIR="${4:-$OUT/run-$2}" "$PROG_DIR/brevalt" "$3" \
        >"$OUT/$CASE.said" 2>"$OUT/$CASE.said-err" || status=$?
    log "brevalt $3 as $2: $status: $(cat "$OUT/$CASE.said" "$OUT/$CASE.said-err")" && ((status == $1))
}
# refused TEXT: the refusal alone, on standard error, and nothing on standard output.
refused() { [[ ! -s $OUT/$CASE.said && $(cat "$OUT/$CASE.said-err") == "brevalt: $1" ]]; }
# view_shows STATUS TOOLTIP: the item of Brevalt (BREVALT_PID) has STATUS and a tooltip with TOOLTIP.
view_shows() {
    local item
    item=$(sni_item "$BREVALT_PID") && [[ $(sni_get "$item" Status) == "(<'$1'>,)" ]] && sni_get "$item" ToolTip | grep -q "$2"
}
running_tip="sensor running since"
# A view on the operators' session bus, and the service's sensor as the only one.
as_viewer() { OPS_ENV=(DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS") && as_operator "$1"; }
service_sensor() { [[ $(sensors) =~ ^$SERVICE_USER:[0-9]+$ ]]; }

# An operator's view follows the service run by another user and acts on
# it through the channel; its 終了 ends the view alone. The service killed,
# the view says it does not answer; started again, the view follows it
# within a tick. The operator never runs a sensor of their own.
case_service_view_follows_and_acts() {
    check "an X server, a session bus and lxqt-panel run" desktop bus lxqt
    check "operators, the service's user and its runtime folder" svc_setup
    check "the machine's service runs" start_service
    local pid
    check "its sensor runs, the service user's" wait_until 10 eval 'service_sensor && pid=$(sensor_pids)'
    as_viewer brvop1
    check "an operator's Brevalt comes up as the service's view" wait_until 10 told_to brvop1 "Brevalt shows the machine's service"
    check "its icon shows the service's sensor running" wait_until 10 view_shows Active "$running_tip"
    check "a left click shows the window" eval 'click_icon 1 && wait_until 10 window_shown'
    check "停止 is clicked" client_click 256 84
    check "the service's sensor ends" wait_until 10 ended "$pid"
    check "the icon shows that none runs" wait_until 5 view_shows NeedsAttention "sensor stopped"
    check "brevalt status of the operator exits 3" answers 3 brvop1 status
    check "Snort実行 is clicked" client_click 64 84
    check "the service starts a sensor again" wait_until 10 eval 'service_sensor && pid=$(sensor_pids)'
    check "and the icon shows it" wait_until 5 view_shows Active "$running_tip"
    check "ファイル is clicked" client_click 20 -10
    check "its menu opens" wait_until 5 eval '(($(xdotool search --onlyvisible --classname "^brevalt$" | wc -l) > 1))'
    check "終了 is chosen by keyboard" xdotool key Down Return
    check "the view ends with status 0" brevalt_exits_with -eq 0
    check "the service and its sensor run on" eval 'sleep 1 && [[ $(sensor_pids) == "$pid" ]] && ! ended "$SERVICE_PID"'
    as_viewer brvop1
    check "a view again" wait_until 10 view_shows Active "$running_tip"
    kill -TERM "$SERVICE_PID"
    check "the service ends" wait_until 10 ended "$SERVICE_PID"
    check "the view's icon says at once that the service does not answer" \
        wait_until 5 view_shows NeedsAttention "the machine's service does not answer; the sensor's state is unknown"
    check "the service is started again" start_service
    check "within a tick the view shows its sensor running" wait_until 35 view_shows Active "$running_tip"
    check "the service's sensor is the only one; the operator never started one" \
        eval 'service_sensor && ! told_to brvop1 "Brevalt started\|The sensor was started"'
}

# An operator's Brevalt serves the folder when the service comes up: within
# two ticks it has stopped its sensor and become the view, the same process,
# and the service runs the one sensor on logs that only grew.
case_service_view_hand_over() {
    check "an X server, a session bus and lxqt-panel run" desktop bus lxqt
    check "a system log runs" start_syslog
    check "operators, the service's user and its runtime folder" svc_setup
    local pid before=$OUT/$CASE.before
    as_viewer brvop1
    check "the operator's Brevalt serves the folder with its own sensor" wait_until 10 eval '[[ $(sensors) == brvop1:* ]] && pid=$(sensor_pids)'
    check "which writes" wait_until 10 eval 'test -s "$LOG_DIR/alert.ids" && test -s "$LOG_DIR/scan.log"'
    mkdir "$before" && cp "$LOG_DIR/alert.ids" "$LOG_DIR/scan.log" "$before/"
    check "the machine's service starts" start_service
    check "within two ticks one sensor runs, the service's" wait_until 70 eval 'service_sensor && ended "$pid"'
    check "the operator's Brevalt said it handed the sensor over" told_to brvop1 "The machine's service owns the sensor now: the Brevalt of brvop1"
    check "and runs on, the same process, as the view" eval '! ended "$BREVALT_PID" && told_to brvop1 "Brevalt shows the machine'"'"'s service"'
    check "whose icon follows the service" wait_until 10 view_shows Active "$running_tip"
    check "the logs only grew, nothing renamed" eval 'cmp -n "$(stat -c %s "$before/alert.ids")" "$before/alert.ids" "$LOG_DIR/alert.ids" &&
        cmp -n "$(stat -c %s "$before/scan.log")" "$before/scan.log" "$LOG_DIR/scan.log" && ! ls "$LOG_DIR" | grep -q "[0-9]$"'
}

# A desktop Brevalt's own channel answers its user, and refuses another
# user by the peer's credentials even where the socket is open to all.
case_service_view_session_channel() {
    check "an X server with a tray runs" desktop trayer
    check "two operators" ops_setup
    local pid
    as_operator brvop1
    check "the operator's sensor runs" wait_until 10 eval '[[ $(sensors) == brvop1:* ]] && pid=$(sensor_pids)'
    check "brevalt status of the operator exits 0" wait_until 10 answers 0 brvop1 status
    check "naming the sensor's pid" grep -q "^Sensor running (pid $pid)" "$OUT/$CASE.said"
    check "brevalt stop exits 0" answers 0 brvop1 stop
    check "the sensor ends" wait_until 10 ended "$pid"
    check "then status exits 3" answers 3 brvop1 status
    chmod 755 "$OUT/run-brvop1" && chmod 666 "$OUT/run-brvop1/brevalt.sock"
    local sock=$OUT/run-brvop1/brevalt.sock
    check "another operator at that socket is refused with 4" answers 4 brvop2 status "$OUT/run-brvop1"
    check "as not its Brevalt's user" refused "only the user of the Brevalt at $sock may ask for the sensor's state"
    check "and may not start the sensor either" answers 4 brvop2 start "$OUT/run-brvop1"
    check "which stays stopped" eval 'sleep 1 && sensor_count_is 0'
}

# A non-member asking the service is refused, with the folder closed to
# her and then open to all, where the service's peer check alone refuses.
case_service_view_non_member() {
    check "operators, the service's user and its runtime folder" svc_setup
    check "the machine's service runs" start_service
    check "a member's brevalt status exits 0" wait_until 10 answers 0 brvop2 status
    check "a non-member's exits 4" answers 4 "$NONMEMBER" status
    check "saying only that" refused "only members of the group brevalt may ask for the sensor's state"
    chmod 755 /run/brevalt && chmod 666 /run/brevalt/brevalt.sock
    check "with the socket open to all, still 4" answers 4 "$NONMEMBER" status
    check "saying only that" refused "only members of the group brevalt may ask for the sensor's state"
}
