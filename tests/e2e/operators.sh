# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034  # conditions are passed to eval; variables read by run.sh
# Cases of one log folder among several operators, as production runs it:
# two operators of one group and a non-member, played by user ids of their
# own (setpriv), a sensor with capture rights behind a wrapper script,
# double starts, a log folder whose lock is refused. Sourced by run.sh.
# Each case keeps a tray running: an X server resets when its last client
# goes, and a Brevalt started in that moment finds no display.

OPS=(brvop1 brvop2) NONMEMBER=brvnone OPS_GROUP=brvops
# ops_setup: the users and the case's folders: the program folder root's,
# the log folder the operators' group's (2770), brevalt.ini for everyone.
ops_setup() {
    getent group $OPS_GROUP >/dev/null || groupadd $OPS_GROUP || return 1
    local u
    for u in "${OPS[@]}" $NONMEMBER; do
        id "$u" >/dev/null 2>&1 || useradd -M -N -g nogroup -s /usr/sbin/nologin "$u" || return 1
        install -d -m 700 -o "$u" "$OUT/run-$u"
    done
    for u in "${OPS[@]}"; do usermod -aG $OPS_GROUP "$u" || return 1; done
    CASE_DIR=$(mktemp -d) && chmod 755 "$CASE_DIR"
    RUN_DIR=$CASE_DIR/run PROG_DIR=$CASE_DIR/program LOG_DIR=$CASE_DIR/program/log
    mkdir -p "$RUN_DIR" "$LOG_DIR" && chgrp $OPS_GROUP "$LOG_DIR" && chmod 2770 "$LOG_DIR"
    cp "$BIN/brevalt" "$PROG_DIR/" && cp "$BIN/snort" "$PROG_DIR/snort"
    echo "${1:-03:30}" >"$RUN_DIR/brevalt.ini"
    # Also what start_syslog would have ended.
    trap 'ops_teardown; [[ -z ${SYSLOG_PID:-} ]] || { stop_child "$SYSLOG_PID"; rm -f /dev/log; }; end_case; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
}
ops_teardown() {
    local u p
    for u in "${OPS[@]}" $NONMEMBER; do
        for p in $(pgrep -u "$u"); do kill -KILL "$p"; done
    done
    for u in "${OPS[@]}" $NONMEMBER; do userdel "$u" 2>/dev/null; done
    groupdel $OPS_GROUP 2>/dev/null
    return 0
}
# as_operator USER: Brevalt as USER, in the case's folder, started from a
# terminal with umask 022; its pid in BREVALT_PID, its standard error in $OUT/$CASE.USER.
OPS_ENV=()
as_operator() {
    (cd "$RUN_DIR" && umask 022 && exec setpriv --reuid="$1" --regid=nogroup --init-groups env -i PATH=/usr/bin:/bin \
        HOME="$OUT/run-$1" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$OUT/run-$1" "${OPS_ENV[@]}" \
        "$PROG_DIR/brevalt") >>"$OUT/$CASE.stdout" 2>>"$OUT/$CASE.$1" &
    BREVALT_PID=$!
}
told_to() { grep -q "^brevalt: $2" "$OUT/$CASE.$1"; }
owner_of() { stat -c %U "/proc/$1"; }
# Which of the case's sensors run, as "USER:PID" lines.
sensors() { local p; for p in $(sensor_pids); do echo "$(owner_of "$p"):$p"; done; }

# The sensor has capture rights (not dumpable: its /proc entries are
# root's) and sits behind a wrapper that does not exec it. Brevalt killed,
# the next one takes that sensor over, rotates (the wrapper and its sensor
# both end, one new sensor runs) and the session's end ends it all.
case_operators_capture_rights_and_a_wrapper() {
    check "an X server with a tray runs" desktop trayer
    check "two operators and a folder of theirs" ops_setup
    mv "$PROG_DIR/snort" "$PROG_DIR/snort-real"
    printf '#!/bin/sh\n%s\necho "the sensor ended" >&2\n' "$PROG_DIR/snort-real" >"$PROG_DIR/snort" && chmod 755 "$PROG_DIR/snort"
    check "the sensor is given capture rights" setcap cap_net_raw,cap_net_admin=eip "$PROG_DIR/snort-real"
    sensor_pids() { pids_of "$PROG_DIR/snort-real"; }
    OPS_ENV=(STANDIN_SENSOR_NOT_DUMPABLE=1)
    as_operator brvop1
    local pid wrapper day
    check "one sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    check "its descriptors are hidden from its own user" eval '! setpriv --reuid=brvop1 --regid=nogroup --init-groups ls /proc/$pid/fd'
    check "the logs are the operators' alone (660), whatever Brevalt's umask" \
        wait_until 10 eval '[[ $(stat -c %a "$LOG_DIR/alert.ids" "$LOG_DIR/scan.log" | sort -u) == 660 ]]'
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    wrapper=$(awk '{ print $5 }' "/proc/$pid/stat")  # its process group: the wrapper's
    echo "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    day=$(date +%Y%m%d)
    as_operator brvop1
    check "the next Brevalt watches the sensor left running" wait_until 10 told_to brvop1 "The sensor left running by an earlier Brevalt (process $wrapper) is watched again"
    check "the rotation at its first tick dates both logs" wait_until 60 rotated "$day"
    check "the old wrapper and sensor are gone, one new sensor runs" \
        wait_until 15 eval 'ended $pid && ended $wrapper && sensor_count_is 1 && [[ $(sensor_pids) != "$pid" ]]'
    pid=$(sensor_pids)
    kill -TERM "$BREVALT_PID"
    check "the session's end ends Brevalt" brevalt_exits_with -eq 0
    check "and the sensor with its wrapper" wait_until 5 eval 'ended $pid && sensor_count_is 0 && ! pgrep -f "^/bin/sh $PROG_DIR/snort"'
}

# Two Brevalts of one operator started at the same instant, five times:
# exactly one sensor each time, and the refused one holds no folder while
# its message box is on screen.
case_operators_double_start() {
    check "an X server with a tray runs" desktop trayer
    check "an operator and a folder" ops_setup
    local round first second server refused
    for round in 1 2 3 4 5; do
        as_operator brvop1 && first=$BREVALT_PID && as_operator brvop1 && second=$BREVALT_PID
        check "round $round: one box comes up" wait_until 15 eval 'brevalt_window box >/dev/null'
        check "round $round: exactly one sensor runs" eval 'sleep 1 && sensor_count_is 1'
        server=$first refused=$second
        [[ -n $(ls -l /proc/$first/fd | grep -F "$LOG_DIR") ]] || server=$second refused=$first
        check "round $round: the refused one holds nothing of the folder" eval '! ls -l /proc/$refused/fd | grep -qF "$PROG_DIR"'
        check "round $round: it says that its user's other Brevalt serves it" \
            eval 'grep -q "Another Brevalt already serves the log folder .* (run by brvop1, process $server)" "$OUT/$CASE.brvop1"'
        kill -KILL "$refused"
        kill -TERM "$server"
        check "round $round: the session's end leaves none" wait_until 10 eval 'ended $server && sensor_count_is 0'
    done
}

# A second operator's Brevalt waits while the first one's serves the
# folder, says who does, and serves it within a tick once that one has
# ended with its session; then the other way round, with the first
# operator's sensor left unwatched by a killed Brevalt.
case_operators_second_operator_waits() {
    check "an X server with a tray runs" desktop trayer
    check "a system log runs" start_syslog
    check "two operators and a folder of theirs" ops_setup
    local first second pid
    as_operator brvop1 && first=$BREVALT_PID
    check "the first operator's sensor runs" wait_until 10 eval '[[ $(sensors) == brvop1:* ]]'
    as_operator brvop2 && second=$BREVALT_PID
    check "the second operator's Brevalt says who serves the folder" \
        wait_until 10 told_to brvop2 "The log folder .* is served by the Brevalt of brvop1, process $first"
    check "in the system log too, as a warning" logged warn "The log folder .* is served by the Brevalt of brvop1"
    check "and waits, with no second sensor" eval 'sleep 2 && ! ended $second && sensor_count_is 1'
    kill -TERM "$first"
    check "the first operator's session ends their Brevalt and sensor" wait_until 10 eval 'ended $first'
    check "within a tick the second operator serves the folder with a sensor of their own" \
        wait_until 40 eval '[[ $(sensors) == brvop2:* ]]'
    check "and says so" told_to brvop2 'The log folder .* is served by this Brevalt now'
    pid=$(sensor_pids)

    as_operator brvop1 && first=$BREVALT_PID
    check "now the first operator's Brevalt waits" wait_until 10 told_to brvop1 "The log folder .* is served by the Brevalt of brvop2, process $second"
    kill -KILL "$second"
    check "the second operator's Brevalt killed, its sensor runs on unwatched, and that is told" \
        wait_until 40 told_to brvop1 "The sensor of brvop2, process $pid runs unwatched"
    check "still one sensor, theirs" eval '[[ $(sensors) == "brvop2:$pid" ]]'
    kill -TERM "$pid"
    check "once it ends, the first operator serves the folder within a tick" wait_until 40 eval '[[ $(sensors) == brvop1:* ]]'
    kill -TERM "$first" && wait_until 10 ended "$first"
}

# A log folder whose lock is refused (a network file system): the claim is a
# lock file inside the operators' folder, so a non-member who locks the
# program folder keeps no operator's sensor from starting, and a second
# operator still waits.
case_operators_lock_refused() {
    check "an X server with a tray runs" desktop trayer
    check "two operators, a non-member and a folder" ops_setup
    printf '%s\n' '#define _GNU_SOURCE' '#include <errno.h>' '#include <sys/stat.h>' '#include <sys/syscall.h>' '#include <unistd.h>' \
        'int flock(int fd, int op) { struct stat st; if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) { errno = ENOLCK; return -1; }' \
        '  return syscall(SYS_flock, fd, op); }' >"$OUT/refuse_folder_locks.c"
    check "a shim refuses locks on folders" cc -shared -fPIC -o "$OUT/refuse_folder_locks.so" "$OUT/refuse_folder_locks.c"
    chmod 755 "$OUT" "$OUT/refuse_folder_locks.so"
    setpriv --reuid=$NONMEMBER --regid=nogroup --clear-groups flock "$PROG_DIR" sleep 300 2>>"$OUT/$CASE.$NONMEMBER" &
    check "a non-member locks the program folder" wait_until 10 eval '! flock -n "$PROG_DIR" true'
    OPS_ENV=(LD_PRELOAD="$OUT/refuse_folder_locks.so")
    local first
    as_operator brvop1 && first=$BREVALT_PID
    check "the operator's sensor runs all the same" wait_until 10 eval '[[ $(sensors) == brvop1:* ]]'
    check "under a lock file in the log folder" wait_until 5 eval '[[ $(readlink /proc/$(sensor_pids)/fd/3) == "$LOG_DIR/.brevalt-lock" ]]'
    as_operator brvop2
    check "a second operator waits for the first" wait_until 10 told_to brvop2 "The log folder .* is served by the Brevalt of brvop1, process $first"
    check "with no second sensor" eval 'sleep 2 && sensor_count_is 1'
}
