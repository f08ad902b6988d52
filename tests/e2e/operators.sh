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
    getent group $OPS_GROUP >/dev/null || { groupadd $OPS_GROUP && OPS_GROUP_MADE=1; } || return 1
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
    # A group the host had before (the package's) stays.
    [[ -z ${OPS_GROUP_MADE:-} ]] || groupdel $OPS_GROUP 2>/dev/null
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

# as_member USER COMMAND...: COMMAND as a member of the operators' group, in the background.
as_member() { setpriv --reuid="$1" --regid=nogroup --init-groups "${@:2}" 2>>"$OUT/$CASE.$1" & }
unknown_holder() { told_to "$1" "Brevalt starts no sensor on .* and waits: the log folder is held by a process Brevalt does not know"; }
record_names() { grep -q "^$1 $2 " "$LOG_DIR/.brevalt-record"; }

# A member forges the record: another operator's sensor.out (theirs, but
# group-writable), naming a shell of that operator's session that leads the
# group their next Brevalt runs in, renamed to .brevalt-record. That
# Brevalt believes none of it: it kills nobody at the rotation minute and the
# sensor left running runs on. A record a member plants of her own, naming
# her own sleep as a sensor, keeps nobody from serving the free folder.
case_operators_forged_and_planted_records() {
    check "an X server with a tray runs" desktop trayer
    check "two operators and a folder of theirs" ops_setup
    local pid shell start boot
    as_operator brvop1
    check "the first operator's sensor runs" wait_until 10 eval '[[ $(sensors) == brvop1:* ]] && pid=$(sensor_pids)'
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    echo "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    # The shell leads its session and group; once told, it starts the
    # operator's next Brevalt in that group.
    setsid setpriv --reuid=brvop1 --regid=nogroup --init-groups env -i PATH=/usr/bin:/bin HOME="$OUT/run-brvop1" \
        DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$OUT/run-brvop1" sh -c \
        'cd "$1" && while [ ! -e "$2" ]; do sleep 0.1; done; "$3" & exec sleep 600' sh \
        "$RUN_DIR" "$OUT/run-brvop1/go" "$PROG_DIR/brevalt" 2>>"$OUT/$CASE.brvop1" &
    shell=$!
    check "a shell of the operator's session leads its group" wait_until 5 eval '[[ $(proc_stat 3 "$shell") == "$shell" ]]'
    start=$(proc_stat 20 "$shell") boot=$(cat /proc/sys/kernel/random/boot_id)
    check "a member writes the forged record into that operator's output file" \
        setpriv --reuid=brvop2 --regid=nogroup --init-groups sh -c "echo 'sensor $shell $start $boot' >'$LOG_DIR/sensor.out' && mv '$LOG_DIR/sensor.out' '$LOG_DIR/.brevalt-record'"
    touch "$OUT/run-brvop1/go"
    check "the shell starts the operator's next Brevalt in its group" wait_until 10 eval 'BREVALT_PID=$(pgrep -u brvop1 -x brevalt) && [[ $(proc_stat 3 "$BREVALT_PID") == "$shell" ]]'
    check "it believes nothing of the forged record and waits" wait_until 10 unknown_holder brvop1
    check "it survives its rotation minute, the shell too, and the sensor left runs on" \
        eval 'sleep 70 && ! ended "$BREVALT_PID" && ! ended "$shell" && [[ $(sensor_pids) == "$pid" ]]'
    check "it never calls the shell a sensor" eval '! told_to brvop1 "The sensor left running by an earlier Brevalt"'
    kill -TERM "$pid"
    check "once the sensor left has ended, it serves the folder within a tick" wait_until 40 eval '[[ $(sensors) == brvop1:* ]]'
    kill -TERM "$BREVALT_PID" && wait_until 10 ended "$BREVALT_PID"
    check "the session's end leaves no sensor" wait_until 10 eval 'sensor_count_is 0'

    as_member brvop2 setsid sleep 600
    check "a member's own sleep leads its group" wait_until 5 eval 'shell=$(pgrep -u brvop2 -x sleep) && [[ $(proc_stat 3 "$shell") == "$shell" ]]'
    check "she plants a record of her own naming it as a sensor" setpriv --reuid=brvop2 --regid=nogroup --init-groups sh -c \
        "umask 077 && echo 'sensor $shell $(proc_stat 20 "$shell") $boot' >'$LOG_DIR/r' && chmod 640 '$LOG_DIR/r' && mv -f '$LOG_DIR/r' '$LOG_DIR/.brevalt-record'"
    as_operator brvop1
    check "the other operator serves the free folder at once" wait_until 10 eval '[[ $(sensors) == brvop1:* ]]'
    check "and writes the record anew" wait_until 5 eval '[[ $(stat -c %U "$LOG_DIR/.brevalt-record") == brvop1 ]]'
}

# A Brevalt that took a sensor over stops it for the rotation while a second
# operator waits: that operator never serves meanwhile (the first one is in
# the record), and a second Brevalt of the first operator started during
# the 8-second wait is refused; one new sensor of the first operator runs.
case_operators_rotation_of_a_taken_over_sensor() {
    check "an X server with a tray runs" desktop trayer
    check "two operators and a folder of theirs" ops_setup
    local pid first day
    as_operator brvop1
    check "the first operator's sensor runs" wait_until 10 eval '[[ $(sensors) == brvop1:* ]] && pid=$(sensor_pids)'
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    echo "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    day=$(date +%Y%m%d)
    as_operator brvop1 && first=$BREVALT_PID
    check "the next Brevalt takes the sensor over" wait_until 10 told_to brvop1 "The sensor left running by an earlier Brevalt (process $pid) is watched again"
    check "and writes that down" record_names sensor "$pid"
    as_operator brvop2
    check "the second operator waits" wait_until 10 told_to brvop2 "The log folder .* is served by the Brevalt of brvop1, process $first"
    check "the rotation stops the sensor taken over" wait_until 60 ended "$pid"
    as_operator brvop1
    check "a double start during the wait is refused" wait_until 15 told_to brvop1 "Another Brevalt already serves the log folder .* (run by brvop1, process $first)"
    kill -KILL "$BREVALT_PID"
    check "the rotation dates both logs" wait_until 20 rotated "$day"
    check "one new sensor runs, the first operator's" wait_until 10 eval '[[ $(sensors) == brvop1:* ]] && [[ $(sensor_pids) != "$pid" ]]'
    check "the second operator never started one" eval 'sleep 2 && [[ $(sensors) == brvop1:* ]] && ! told_to brvop2 "The log folder .* is served by this Brevalt now"'
    check "and was never named nobody" eval '! grep -q "kill 0\|The sensor of  runs" "$OUT/$CASE.brvop2"'
}

# The record removed, then blocked by a folder of its name, while the sensor
# a killed Brevalt left runs: the next Brevalt waits for the holder it
# cannot name instead of refusing, serves once it is gone, and says once
# that it cannot write the record.
case_operators_record_removed_and_blocked() {
    check "an X server with a tray runs" desktop trayer
    check "two operators and a folder of theirs" ops_setup
    local pid
    as_operator brvop1
    check "the sensor runs" wait_until 10 eval '[[ $(sensors) == brvop1:* ]] && pid=$(sensor_pids)'
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    check "a member removes the record" setpriv --reuid=brvop2 --regid=nogroup --init-groups rm "$LOG_DIR/.brevalt-record"
    as_operator brvop1
    check "the next Brevalt waits for a holder it cannot name" wait_until 10 unknown_holder brvop1
    check "and does not end" eval 'sleep 2 && ! ended "$BREVALT_PID" && [[ $(sensor_pids) == "$pid" ]]'
    check "a member blocks the record" setpriv --reuid=brvop2 --regid=nogroup --init-groups mkdir "$LOG_DIR/.brevalt-record"
    kill -TERM "$pid"
    check "once the sensor left has ended, it serves within a tick" wait_until 40 eval '[[ $(sensors) == brvop1:* ]]'
    check "and says once that a later Brevalt cannot take its sensor over" \
        wait_until 5 eval '[[ $(grep -c "^brevalt: Brevalt cannot write down in the log folder" "$OUT/$CASE.brvop1") == 1 ]]'
    kill -TERM "$BREVALT_PID" && brevalt_exits_with -eq 0
}

# Sensors that do not keep the claim as they are given it: a wrapper that
# closes descriptor 3 is still taken over through its record; one that
# daemonises (its leader exits at once, its child holds the claim) is never
# doubled, and the child it leaves keeps later Brevalts waiting, not ending.
case_operators_sensors_that_drop_or_daemonise() {
    check "an X server with a tray runs" desktop trayer
    check "an operator and a folder" ops_setup
    local pid
    mv "$PROG_DIR/snort" "$PROG_DIR/snort-real"
    sensor_pids() { pids_of "$PROG_DIR/snort-real"; }
    printf '#!/bin/sh\nexec 3>&-\nexec %s\n' "$PROG_DIR/snort-real" >"$PROG_DIR/snort" && chmod 755 "$PROG_DIR/snort"
    as_operator brvop1
    check "the sensor runs without the claim" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids) && [[ ! -e /proc/$pid/fd/3 ]]'
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    as_operator brvop1
    check "the next Brevalt takes it over by its record" wait_until 10 told_to brvop1 "The sensor left running by an earlier Brevalt (process $pid) is watched again"
    check "with no second sensor" eval 'sleep 2 && [[ $(sensor_pids) == "$pid" ]]'
    kill -TERM "$BREVALT_PID" && brevalt_exits_with -eq 0
    check "the session's end ends it" wait_until 10 eval 'sensor_count_is 0'

    printf '#!/bin/sh\nsetsid %s &\nsleep 1\nexit 0\n' "$PROG_DIR/snort-real" >"$PROG_DIR/snort"
    as_operator brvop1
    check "the daemonised sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    check "its child holding the claim is waited for and told" wait_until 40 unknown_holder brvop1
    check "never a second sensor, never given up" eval 'sleep 35 && [[ $(sensor_pids) == "$pid" ]] && ! told_to brvop1 ".*times in a row"'
    kill -TERM "$BREVALT_PID" && brevalt_exits_with -eq 0
    as_operator brvop1
    check "a later Brevalt waits for it rather than ending" wait_until 10 unknown_holder brvop1
    check "still one sensor" eval 'sleep 2 && ! ended "$BREVALT_PID" && [[ $(sensor_pids) == "$pid" ]]'
}

# A member holds flock on the folder; then a Brevalt's record lands 5 s
# late: the other operator's Brevalt waits in either case, names nobody
# while it cannot, and serves or names the holder within a tick.
case_operators_unknown_holders() {
    check "an X server with a tray runs" desktop trayer
    check "two operators and a folder of theirs" ops_setup
    local locker first
    as_member brvop2 flock "$LOG_DIR" sleep 600 && locker=$!
    check "a member locks the folder" wait_until 10 eval '! flock -n "$LOG_DIR" true'
    as_operator brvop1 && first=$BREVALT_PID
    check "the operator's Brevalt waits for the holder it does not know" wait_until 10 unknown_holder brvop1
    check "names nobody and starts no sensor" eval '! grep -q "kill 0\|The sensor of  runs" "$OUT/$CASE.brvop1" && sensor_count_is 0'
    kill -TERM "$locker"; pkill -u brvop2 -x sleep
    check "once the lock is let go, it serves within a tick" wait_until 40 eval '[[ $(sensors) == brvop1:* ]]'
    kill -TERM "$first" && wait_until 10 ended "$first"
    check "the session's end leaves no sensor" wait_until 10 eval 'sensor_count_is 0'

    printf '%s\n' '#define _GNU_SOURCE' '#include <dlfcn.h>' '#include <string.h>' '#include <unistd.h>' \
        'int renameat(int a, const char* from, int b, const char* to) {' \
        '  static int late; if (!late++ && strcmp(to, ".brevalt-record") == 0) usleep(5000000);' \
        '  return ((int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat"))(a, from, b, to); }' >"$OUT/late_record.c"
    check "a shim delays the first record" cc -shared -fPIC -o "$OUT/late_record.so" "$OUT/late_record.c" -ldl
    chmod 755 "$OUT" "$OUT/late_record.so"
    OPS_ENV=(LD_PRELOAD="$OUT/late_record.so")
    as_operator brvop1 && first=$BREVALT_PID
    OPS_ENV=()
    check "its claim is taken" wait_until 10 eval '! flock -n "$LOG_DIR" true'
    as_operator brvop2
    check "the other operator's Brevalt waits rather than refusing" wait_until 10 unknown_holder brvop2
    check "and names the first operator's Brevalt within a tick" \
        wait_until 40 told_to brvop2 "The log folder .* is served by the Brevalt of brvop1, process $first"
    check "one sensor, the first operator's" eval '[[ $(sensors) == brvop1:* ]] && sensor_count_is 1'
}

# A writer of the first operator holds yesterday's dated log and the live
# log open, as a sensor that outlived its stop would, while the second
# operator's Brevalt serves the folder with compress=yes through a
# rotation: the dated log, another user's, is not compressed, the wait is
# told once as such, and every line the writer wrote is in the folder.
case_operators_other_users_writer_through_a_rotation() {
    check "an X server with a tray runs" desktop trayer
    check "a system log runs" start_syslog
    check "two operators and a folder of theirs" ops_setup
    local writer old day home=$OUT/run-brvop1 lines
    old=$(date -d yesterday +%Y%m%d) day=$(date +%Y%m%d)
    as_member brvop1 sh -c 'umask 007 && exec 3>>"$1" 4>>"$2" && echo "writer dated first" >&3 && n=0 &&
        while [ ! -e "$3/stop" ]; do n=$((n + 1)) && echo "writer live $n" >&4 && sleep 0.1; done &&
        echo "writer dated last" >&3 && echo "$n" >"$3/count"' sh "$LOG_DIR/alert.ids.$old" "$LOG_DIR/alert.ids" "$home"
    writer=$!
    check "the writer holds both logs, writing the live one" wait_until 10 eval '[[ $(stat -c %U "$LOG_DIR/alert.ids.$old") == brvop1 ]] && grep -q "writer live 2" "$LOG_DIR/alert.ids"'
    touch -d '2 hours ago' "$LOG_DIR/alert.ids.$old"
    printf '%s\ncompress=yes\n' "$(first_tick_minute)" >"$RUN_DIR/brevalt.ini"
    as_operator brvop2
    check "the second operator's Brevalt serves the folder" wait_until 10 eval '[[ $(sensors) == brvop2:* ]]'
    check "its start says the dated log waits, as another user's" wait_until 40 logged notice "The dated log alert.ids.$old is not compressed yet: another user owns it"
    check "the rotation at its first tick dates both logs" wait_until 75 rotated "$day"
    check "a new sensor writes fresh logs" wait_until 15 eval '[[ $(sensors) == brvop2:* ]] && test -s "$LOG_DIR/alert.ids"'
    check "after the rotation's pass the dated log is still whole, not compressed" \
        eval 'sleep 5 && [[ $(head -n 1 "$LOG_DIR/alert.ids.$old") == "writer dated first" && ! -e $LOG_DIR/alert.ids.$old.gz ]]'
    check "the wait was told once, never as another program's" \
        eval '[[ $(grep -c "another user owns it" "$OUT/$CASE.syslog") == 1 ]] && ! grep -q "in use by another program" "$OUT/$CASE.syslog"'
    touch "$home/stop"
    check "the writer ends" wait_until 10 eval 'ended $writer && test -s "$home/count"'
    every_line() { local f; for f in "$LOG_DIR"/alert.ids*; do if [[ $f == *.gz ]]; then zcat "$f"; else cat "$f"; fi; done; }
    lines=$(every_line | grep -c '^writer live ')
    check "every line the writer wrote is in the folder ($lines of $(cat "$home/count"))" \
        eval '[[ $(every_line | grep "^writer live " | sort -u | wc -l) == $(cat "$home/count") ]]'
    check "its last line in the dated log too" eval '[[ $(every_line | grep -c "^writer dated last$") == 1 ]]'
}
