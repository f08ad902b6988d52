#!/usr/bin/env bash
# The installed package under real session managers (Xfce, LXQt, Openbox),
# each started as a display manager starts it: an X server with the user's
# cookie, then the user's own dbus-run-session -- SESSION in a login
# environment. Throw-away users, two operators and one other: who gets a
# Brevalt at logon, where, with one sensor and its icon; the session's own
# logout ends Brevalt and its sensor, and no saved session brings it back; a
# second operator's Brevalt leaves the log folder to the first; the logs stay
# writable for the next operator and closed to everyone else, who can neither
# lock the folder nor, starting Brevalt from the menu, keep an operator's
# sensor from starting. The metrics file, wired as the README has the
# administrator wire it, read by the real node_exporter as its own user:
# a crash-looping sensor's ends, the hand-over to the second operator, the
# last logout. Leaves the machine as it found it.
# Usage: tests/package/sessions.sh DEB STANDIN_SNORT   (as root)
# shellcheck disable=SC2016,SC2034,SC2046,SC2086  # checks are passed to eval; helpers read LOG_DIR; pid lists
set -uo pipefail
deb=$(realpath "${1:?usage: sessions.sh DEB STANDIN_SNORT}") standin=$(realpath "${2:?}")
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "$0")/../../scripts/lib/packages.sh"
need_packages xvfb xauth xdotool x11-utils dbus-daemon libglib2.0-bin strace xfce4-session xfwm4 xfce4-panel \
    lxqt-session lxqt-panel openbox python3-xdg trayer procps prometheus-node-exporter curl || exit 2
exporter_dir=/var/lib/prometheus/node-exporter prom=/var/opt/brevalt/metrics/brevalt.prom
{ dpkg-query -W brevalt >/dev/null 2>&1 || [[ -e /var/opt/brevalt || -e /etc/opt/brevalt || -L $exporter_dir/brevalt.prom ]]; } &&
    { echo "Brevalt is or was installed here: this test would touch its logs" >&2; exit 2; }
OUT=$(mktemp -d) logs=/var/opt/brevalt/log PROG_DIR=/opt/brevalt LOG_DIR=/var/opt/brevalt/log CASE=sessions
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$(dirname "$0")/../e2e/hosts.sh"
# shellcheck source=tests/e2e/metrics.sh
source "$(dirname "$0")/../e2e/metrics.sh"

machine_state() {
    dpkg-query -W brevalt 2>&1; getent group brevalt; dpkg-statoverride --list | grep brevalt
    getent passwd | cut -d: -f1; getent group | cut -d: -f1; ls -A /home /run/user /tmp/.ICE-unix 2>&1
    stat -c '%n %a %U %G' /opt /etc/opt /var/opt 2>&1; ls -A $exporter_dir 2>&1
}
state_before=$(machine_state)
had_group=$(getent group brevalt) opt_dirs=$(ls -d /etc/opt /var/opt 2>/dev/null) had_ice=$(ls -d /tmp/.ICE-unix 2>/dev/null)
had_exporter_dir=$(ls -d $exporter_dir 2>/dev/null)
A=bvop$$a B=bvop$$b N=bvguest$$ users=() box=
declare -A DISP XPID RUN SESS LOGFILE BPID TRACE DESKTOP=([xfce4-session]=XFCE [lxqt-session]=LXQt)

# end_user USER: ends, by pid, whatever USER still runs.
end_user() { local u=$1; kill $(pgrep -u "$u") 2>/dev/null
    wait_until 10 eval '! pgrep -u "$u" >/dev/null' || kill -9 $(pgrep -u "$u") 2>/dev/null; }
cleanup() {
    local u p
    for u in "${users[@]}"; do end_user "$u"; done
    for p in "${XPID[@]}" "${TRACE[@]}"; do stop_child "$p"; done
    for u in "${users[@]}"; do
        p=$(id -u "$u") && rm -rf "/run/user/$p" && find /tmp /var/tmp /dev/shm -xdev -user "$u" -delete 2>/dev/null
        userdel -r "$u" 2>/dev/null
    done
    users=()
    [[ -n $had_ice ]] || rmdir /tmp/.ICE-unix 2>/dev/null
    rm -f /opt/brevalt/snort /opt/brevalt/snort-standin
    stop_child "${EXPORTER_PID:-}"
    dpkg-query -W brevalt >/dev/null 2>&1 && dpkg -P brevalt >/dev/null 2>&1
    rm -rf /var/opt/brevalt  # only the test's own logs are in there
    dpkg-statoverride --list $logs >/dev/null && dpkg-statoverride --remove $logs
    [[ -n $had_group ]] || ! getent group brevalt >/dev/null || groupdel brevalt
    [[ -z $opt_dirs ]] || mkdir -p $opt_dirs
    # The purge takes the link; one left by a purge that failed goes too.
    [[ $(readlink $exporter_dir/brevalt.prom) != "$prom" ]] || rm -f $exporter_dir/brevalt.prom
    [[ -n $had_exporter_dir ]] || rmdir -p --ignore-fail-on-non-empty $exporter_dir 2>/dev/null
}
trap 'cleanup; rm -rf "$OUT"' EXIT

apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "$deb" >"$OUT/apt.log" 2>&1 ||
    { cat "$OUT/apt.log" >&2; exit 2; }
# Where operators put their sensor wrapper: the stand-in writes through /opt/brevalt/log.
install -m 755 "$standin" /opt/brevalt/snort
# No rotation until the last logon: it would rename the logs the checks follow.
# The metrics file on, as the README says: metrics= uncommented in the shipped
# file; node_exporter, as prometheus, reads its own folder, which holds a
# link to the file in the package's metrics folder.
sed -i -e "1s/.*/$(date -d '+12 hours' +%H:%M)/" -e 's/^#metrics=/metrics=/' /etc/opt/brevalt/brevalt.ini
if ! { mkdir -p $exporter_dir && ln -s $prom $exporter_dir/brevalt.prom && start_exporter prometheus prometheus $exporter_dir; }; then
    echo "node_exporter does not answer" >&2; exit 2
fi
state_is() { exporter_shows "brevalt_sensor_state{state=\"$1\"}" 1; }
written_by() { scrape && grep -q "^brevalt_build_info{operator=\"$1\"," "$OUT/$CASE.scrape"; }
ends_and_starts_are() { exporter_shows brevalt_sensor_ends_total "$1" && exporter_shows brevalt_sensor_starts_total "$2"; }
# Made at boot on a real machine (tmpfiles.d); ICE, and so XSMP, sockets go there.
[[ -d /tmp/.ICE-unix ]] || mkdir -m 1777 /tmp/.ICE-unix

# Each user's desktop as its user would have set it up: Xfce saves the
# session at logout (as its dialog does by default); lxqt-session, started
# without startlxqt, finds no shipped panel layout, so the user has a panel
# with the StatusNotifier host, and names the window manager, else the first
# logon stops to ask; openbox alone has no panel, so its user runs trayer.
for u in $A $B $N; do
    useradd -m -s /bin/bash "$u" && users+=("$u") || exit 2
    c=/home/$u/.config && mkdir -p $c/xfce4/xfconf/xfce-perchannel-xml $c/lxqt $c/openbox
    echo '<channel name="xfce4-session" version="1.0"><property name="general" type="empty">
        <property name="SaveOnExit" type="bool" value="true"/></property></channel>' >$c/xfce4/xfconf/xfce-perchannel-xml/xfce4-session.xml
    printf '%s\n' '[General]' window_manager=openbox >$c/lxqt/session.conf
    printf '%s\n' panels=panel1 '[panel1]' plugins=sni position=Bottom '[sni]' type=statusnotifier >$c/lxqt/panel.conf
    echo 'trayer --edge top --align right --widthtype request --height 32 --transparent false --SetDockType true &' >$c/openbox/autostart
    chown -R "$u:" "$c"
done
usermod -aG brevalt $A && usermod -aG brevalt $B

# logon USER SESSION [DISPLAY]: what a display manager does. A fresh cookie
# goes into the X server's -auth file (it takes every cookie there, whatever
# display it names) and into the user's ~/.Xauthority; then the session
# starts in the home folder, under the user's own bus, its output in LOGFILE.
logon() {
    local u=$1 home=/home/$1 cookie uid
    cookie=$(mcookie) uid=$(id -u "$u") SESS[$u]=$2 LOGFILE[$u]=$OUT/$u-$2-$SECONDS.log BPID[$u]=
    rm -f "$OUT/$u.auth" "$OUT/$u.display" && xauth -q -f "$OUT/$u.auth" add :0 . "$cookie" 2>/dev/null
    Xvfb ${3:+":$3"} -displayfd 9 -auth "$OUT/$u.auth" -screen 0 1024x768x24 -nolisten tcp 9>"$OUT/$u.display" 2>>"$OUT/xvfb.log" &
    XPID[$u]=$!
    wait_until 15 test -s "$OUT/$u.display" || return 1
    DISP[$u]=:$(<"$OUT/$u.display")
    runuser -u "$u" -- xauth -q -f "$home/.Xauthority" add "${DISP[$u]}" . "$cookie" 2>/dev/null
    install -d -m 700 -o "$u" -g "$u" "/run/user/$uid"
    (cd "$home" && exec setpriv --reuid="$u" --regid="$u" --init-groups env -i HOME="$home" USER="$u" LOGNAME="$u" \
        SHELL=/bin/bash PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="${DISP[$u]}" XAUTHORITY="$home/.Xauthority" \
        XDG_RUNTIME_DIR="/run/user/$uid" XDG_SESSION_TYPE=x11 ${DESKTOP[$2]:+XDG_CURRENT_DESKTOP=${DESKTOP[$2]}} \
        dbus-run-session -- "$2") >"${LOGFILE[$u]}" 2>&1 &
    RUN[$u]=$!
}
# The session manager: the child of dbus-run-session that was given the bus.
manager() { local c; for c in $(</proc/${RUN[$1]}/task/${RUN[$1]}/children); do
    grep -qz '^DBUS_SESSION_BUS_ADDRESS=' /proc/$c/environ 2>/dev/null && echo $c && return; done; return 1; }
# as USER COMMAND...: COMMAND as USER, in the environment of USER's session manager.
as() { local env sm; sm=$(manager "$1") && readarray -t env < <(tr '\0' '\n' </proc/$sm/environ) &&
    setpriv --reuid="$1" --regid="$1" --init-groups env -i "${env[@]}" "${@:2}"; }
# A session bus lets in its own user alone, root neither: hosts.sh's questions go as ASKER.
gdbus() { as "$ASKER" /usr/bin/gdbus "$@"; }
on_display() { DISPLAY=${DISP[$1]} XAUTHORITY=/home/$1/.Xauthority "${@:2}"; }
# mine USER PROGRAM: USER's processes running PROGRAM.
mine() { local p; for p in $(pids_of "$2"); do [[ $(stat -c %U /proc/$p 2>/dev/null) == "$1" ]] && echo $p; done; return 0; }
count_is() { [[ $(mine "$1" "$2" | wc -l) -eq $3 ]]; }
# The session's tray is up: trayer under openbox, else the panel's StatusNotifier host.
tray_up() { if [[ ${SESS[$1]} == openbox-session ]]; then on_display "$1" tray_panel; else ASKER=$1 sni_host_ready; fi; }
# The session has started what it starts at logon: Xfce's manager says so; the others start
# the autostart entries with the tray.
settled() { if [[ ${SESS[$1]} == xfce4-session ]]; then [[ $(ASKER=$1 gdbus call --session -d org.xfce.SessionManager \
    -o /org/xfce/SessionManager -m org.xfce.Session.Manager.GetState) == '(uint32 1,)' ]]; else tray_up "$1"; fi; }
icon_up() { if [[ ${SESS[$1]} == openbox-session ]]; then on_display "$1" icon_window; else ASKER=$1 sni_item "${BPID[$1]}"; fi; }

# brevalt_up USER: USER's Brevalt runs; it is traced from now on for its exit status.
brevalt_up() {
    local u=$1
    wait_until 40 eval 'BPID[$u]=$(mine $u /opt/brevalt/brevalt | head -n 1) && [[ -n ${BPID[$u]} ]]' || return 1
    strace -f -q -e trace=none -e 'signal=!SIGCHLD' -o "${LOGFILE[$u]%.log}.trace" -p "${BPID[$u]}" 2>/dev/null &
    TRACE[$u]=$!
}
exit_status_is_not_0() { grep -E "^${BPID[$1]} +\+\+\+ exited with [1-9]" "${LOGFILE[$1]%.log}.trace"; }

# logout USER: the session's own logout command, as USER; when the session
# process has ended, the X server is ended, as a display manager does. Xfce's
# refuses a logout before its start is over, and says so in a dialog that waits.
logout() {
    local u=$1
    wait_until 30 settled "$u" >/dev/null
    case ${SESS[$u]} in
    xfce4-session) as "$u" timeout 20 xfce4-session-logout --logout ;;
    lxqt-session) as "$u" lxqt-leave --logout ;;
    openbox-session) as "$u" openbox --exit ;;
    esac >>"$OUT/logout.log" 2>&1
    wait_until 30 ended "${RUN[$u]}" && wait "${RUN[$u]}"
    stop_child "${XPID[$u]}" && unset "XPID[$u]"
    if [[ -n ${BPID[$u]} ]]; then
        expect "${SESS[$u]}: after $u's logout no Brevalt of theirs and no sensor of theirs runs" \
            wait_until 10 eval 'count_is $u /opt/brevalt/brevalt 0 && count_is $u /opt/brevalt/snort 0'
    fi
    # What the session left running would only confuse the checks that follow.
    end_user "$u"
}
alert_size() { stat -c %s $logs/alert.ids; }
writes() { local size; size=$(alert_size) && wait_until 5 eval '[[ $(alert_size) -gt $size ]]'; }

for s in xfce4-session lxqt-session openbox-session; do
    logon $N $s
    # Were Brevalt started, it would be by the time the session has settled, and then some.
    expect "$s: a non-operator's logon starts no Brevalt and no sensor" \
        eval 'wait_until 40 settled $N && sleep 3 && count_is $N /opt/brevalt/brevalt 0 && [[ -z $(sensor_pids) ]]'
    logout $N
    logon $A $s
    expect "$s: an operator's logon starts Brevalt as $A in /etc/opt/brevalt" \
        eval 'brevalt_up $A && [[ $(readlink /proc/${BPID[$A]}/cwd) == /etc/opt/brevalt ]]'
    expect "$s: one sensor runs and writes" eval 'wait_until 15 sensor_count_is 1 && wait_until 10 test -s $logs/alert.ids && writes'
    expect "$s: Brevalt's icon is in the tray" wait_until 30 icon_up $A
    # Xfce's manager speaks XSMP, whose quit has Qt close every open window:
    # the window is open at this logout, and the sensor must end all the same.
    [[ $s != xfce4-session ]] || expect "$s: a left click on the icon opens the window before the logout" \
        eval 'item=$(ASKER=$A sni_item ${BPID[$A]}) && ASKER=$A gdbus call --session -d $item -o /StatusNotifierItem \
            -m org.kde.StatusNotifierItem.Activate 0 0 && wait_until 10 on_display $A brevalt_window main'
    # Xfce restores the session it saved for the display (the file is named after it).
    display=${DISP[$A]#:} && [[ $s == xfce4-session ]] || display=
    logout $A
    [[ -z $display ]] || expect "$s: the session saved at logout holds no Brevalt" \
        eval 'f=$(ls /home/$A/.cache/sessions/xfce4-session-*:$display) && ! grep /opt/brevalt/brevalt $f'
    logon $A $s $display
    expect "$s: the next logon gives one Brevalt with one sensor" \
        eval 'brevalt_up $A && wait_until 30 settled $A && sleep 3 && count_is $A /opt/brevalt/brevalt 1 && sensor_count_is 1'
    [[ $s == openbox-session ]] || logout $A
done

# A's sensor wrapper now starts one that fails three seconds after each
# start; the one running is ended from outside. Each end is counted and shows
# as ended until the next check starts the sensor again; after the third end
# in a row within a minute of its start Brevalt gives up, until the operator
# starts it from the window.
starts=$(exporter_metric brevalt_sensor_starts_total) sensor=$(sensor_pids)
install -m 755 "$standin" /opt/brevalt/snort-standin &&
    printf '#!/bin/sh\nSTANDIN_SENSOR_EXIT_AFTER=3 exec /opt/brevalt/snort-standin\n' >/opt/brevalt/snort.new &&
    chmod 755 /opt/brevalt/snort.new && mv -f /opt/brevalt/snort.new /opt/brevalt/snort && kill -TERM $sensor
expect "the exporter shows $A's sensor ended from outside as ended, counted" \
    wait_until 5 eval 'state_is ended && ends_and_starts_are 1 $starts'
for end in 2 3; do
    expect "started again at the next check, it ends by itself: end $end shows as ended" \
        wait_until 40 eval 'state_is ended && ends_and_starts_are $end $((starts + end - 1))'
done
expect "at the next check Brevalt gives up, and no sensor starts" \
    wait_until 40 eval 'state_is given_up && ends_and_starts_are 3 $((starts + 2))'
start_from_window() { xdotool mousemove --window "$(icon_window)" 10 10 click 1 && wait_until 10 brevalt_window main >/dev/null &&
    client_click 64 84; }
install -m 755 "$standin" /opt/brevalt/snort.new && mv -f /opt/brevalt/snort.new /opt/brevalt/snort
expect "$A's Snort実行 starts the sensor again: running, its ends still counted" \
    eval 'on_display $A start_from_window && wait_until 10 eval "state_is running && sensor_count_is 1" && ends_and_starts_are 3 $((starts + 3))'

# A logged on under openbox; B logs on under LXQt beside them.
first=${BPID[$A]} sensor=$(sensor_pids) handover_from=$(date +%s)
expect "the log folder is root:brevalt 2770; the logs $A's sensor made are $A's, 660: the group's, and no one else's" \
    eval '[[ $(stat -c "%U:%G %a" $logs) == "root:brevalt 2770" && $(stat -c "%U %a" $logs/alert.ids $logs/scan.log | sort -u) == "$A 660" ]]'
logon $B lxqt-session
expect "a second operator's Brevalt waits, with no box and no second sensor" \
    eval 'brevalt_up $B && sleep 5 && ! ended ${BPID[$B]} && ! on_display $B brevalt_window box && sensor_count_is 1'
expect "and says on standard error that $A's Brevalt serves the log folder" \
    eval 'grep -F "is served by the Brevalt of $A, process $first" ${LOGFILE[$B]}'
expect "$A's Brevalt and sensor run on, the one sensor, writing" \
    eval '! ended $first && [[ $(sensor_pids) == "$sensor" ]] && writes'
expect "while $B's Brevalt waits, the exporter shows $A's file: running, named $A, with $A's ends" \
    eval 'state_is running && written_by $A && ends_and_starts_are 3 $((starts + 3))'
logout $A
expect "once $A's session has ended their sensor, $B's Brevalt serves the folder within a tick, with a sensor of theirs" \
    wait_until 40 eval 'count_is $B /opt/brevalt/snort 1 && sensor_count_is 1 && writes'
expect "the file then names $B, starts at $B's Brevalt's start, and counts from 0: one start, no end" \
    wait_until 10 eval 'state_is running && written_by $B && ends_and_starts_are 0 1 &&
        start=$(exporter_metric brevalt_start_time_seconds) && ((start >= handover_from && start <= $(date +%s)))'
logout $B
expect "with no one holding it, $A may lock the log folder; $N may not, nor list it, nor read a log" \
    eval 'runuser -u $A -- flock -n $logs true && ! runuser -u $N -- flock -n $logs true && ! runuser -u $N -- ls $logs &&
        ! runuser -u $N -- cat /opt/brevalt/log/alert.ids'
# N, no operator, opens Brevalt from the menu; B logs on while its message box waits.
logon $N openbox-session
wait_until 40 settled $N >/dev/null; as $N /opt/brevalt/brevalt-autostart --menu >"$OUT/menu.log" 2>&1 & menu=$!
expect "$N's Brevalt, started from the menu, shows a message box" wait_until 30 eval 'box=$(on_display $N brevalt_window box)'
size=$(alert_size) inode=$(stat -c %i $logs/alert.ids)
# A rotation a minute from now: Brevalt's first ticks meet that minute or pass it.
day=$(date -d '+60 sec' +%Y%m%d) && sed -i "1s/.*/$(date -d '+60 sec' +%H:%M)/" /etc/opt/brevalt/brevalt.ini
logon $B lxqt-session
expect "meanwhile $B's next logon: their sensor appends to the alert.ids $A's sensor made" \
    eval 'brevalt_up $B && wait_until 15 count_is $B /opt/brevalt/snort 1 && wait_until 10 eval "[[ \$(alert_size) -gt $size && \$(stat -c %i $logs/alert.ids) == $inode ]]"'
expect "$N was told why on standard error; once the box is answered, their Brevalt ends with a non-zero status" \
    eval 'grep -F "Only members of the group \"brevalt\" may run Brevalt: ask an administrator to run \"adduser $N brevalt\", then log on again" \
        "$OUT/menu.log" && on_display $N xdotool windowactivate --sync $box key Return && wait_until 10 ended $menu && ! wait $menu'
logout $N
expect "at the time in brevalt.ini both logs get dated names through /opt/brevalt/log" wait_until 150 rotated "$day"
logout $B
# The last operator's logout: the last file says so, and no heartbeat follows.
checks=$(exporter_metric brevalt_checks_total)
expect "after the last logout the exporter shows the session ended, and nothing else" \
    eval 'state_is session_ended && exporter_shows "brevalt_sensor_state{state=\"running\"}" 0 && written_by $B'
expect "and a check later the heartbeat has not moved" eval 'sleep 31 && exporter_shows brevalt_checks_total "$checks"'

cleanup
expect "the machine is left as it was found" eval '[[ $(machine_state) == "$state_before" ]]'
summary
