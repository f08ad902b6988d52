#!/usr/bin/env bash
# The Debian package as the machine's service, in a real systemd: a Debian 12
# root booted under systemd-nspawn (this machine's own PID 1 need not be
# systemd), with logind sessions and the journal. The sensor's user and
# capture rights, a boot with nobody logged on, a rotation at its minute,
# reloads, kills of Brevalt and of the sensor, the stop, the operators'
# client in real sessions, the unit's exposure, the purge, and the upgrade
# from the desktop-only package while an operator's Brevalt serves the folder.
# Takes /tmp/brevalt-system-tests.lock itself; the root is cached as a tarball.
# Usage: tests/service/run.sh DEB STANDIN_SNORT [OLD_DEB]   (as root; OLD_DEB
# is built from the last desktop-only release when not given)
# shellcheck disable=SC2016,SC2034,SC2086  # checks are passed to eval; variables read by lib.sh
set -uo pipefail
[[ ${BREVALT_SYSTEM_LOCK:-} == held ]] || exec env BREVALT_SYSTEM_LOCK=held flock /tmp/brevalt-system-tests.lock "$0" "$@"
deb=$(realpath "${1:?usage: run.sh DEB STANDIN_SNORT [OLD_DEB]}") standin=$(realpath "${2:?}") old_deb=${3:+$(realpath "$3")}
here=$(cd "$(dirname "$0")" && pwd) cache=$(realpath "$(dirname "$standin")/..")/service-cache
# shellcheck source=scripts/lib/packages.sh
source "$here/../../scripts/lib/packages.sh"
need_packages systemd-container debootstrap || exit 2
OUT=$(mktemp -d) M=brevalt$$ logs=/var/opt/brevalt/log
R=$OUT/root CG="/sys/fs/cgroup/systemd/brevalt-service/$M /sys/fs/cgroup/unified/brevalt-service/$M"
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"
mkdir -p "$cache"

# The desktop-only release the upgrade starts from, built once by its own packaging.
previous=1cb7862
if [[ -z $old_deb ]] && git -C "$here/../.." cat-file -e "$previous^{commit}" 2>/dev/null; then
    old_deb=$cache/brevalt-$previous.deb
    [[ -s $old_deb ]] || { mkdir "$OUT/previous" && git -C "$here/../.." archive $previous | tar -x -C "$OUT/previous" &&
        (cd "$OUT/previous" && cmake --preset linux -B build -DBREVALT_BUILD_TESTS=OFF -DBREVALT_BUILD_BENCH=OFF &&
            cmake --build build -j 2 --target brevalt && cd build && cpack -G DEB) >"$OUT/previous.log" 2>&1 &&
        cp "$OUT"/previous/build/brevalt_*_amd64.deb "$old_deb"; } || { tail "$OUT/previous.log" >&2; exit 2; }
fi

# The root: Debian 12 with systemd, logind and machined, Xvfb for an
# operator's desktop Brevalt, and what the packages depend on (first choices,
# no versions), as the container has no network.
depends=$(for d in "$deb" $old_deb; do dpkg-deb -f "$d" Depends; done | tr ',' '\n' | sed -E 's/[|(].*//; s/ //g' | grep . | sort -u)
include=$(echo systemd systemd-sysv dbus libpam-systemd systemd-container procps libcap2-bin xvfb $depends | tr ' \n' ',,' | sed 's/,*$//')
tarball=$cache/bookworm-$(echo "$include" | sha256sum | cut -c1-16).tar
if [[ ! -s $tarball ]]; then
    rm -f "$cache"/bookworm-*.tar  # roots for other package lists
    mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
    nice debootstrap --variant=minbase --include="$include" bookworm "$OUT/base" "$mirror" >"$OUT/debootstrap.log" 2>&1 &&
        tar -C "$OUT/base" -cf "$tarball.new" . && mv "$tarball.new" "$tarball" || { tail "$OUT/debootstrap.log" >&2; exit 2; }
    rm -rf "$OUT/base"
fi
mkdir "$R" && tar -C "$R" -xf "$tarball" && echo $M >"$R/etc/hostname" || exit 2

# boot: the container's systemd as PID 1 in a cgroup of its own, on a network of its own.
boot() {
    (for g in $CG; do mkdir -p $g && echo $BASHPID >$g/cgroup.procs; done
        exec systemd-nspawn -q -D "$R" -M $M -b --register=no --keep-unit --private-network --console=pipe </dev/null >>"$OUT/console.log" 2>&1) &
    NS=$! L=
    wait_until 20 eval 'L=$(pgrep -x -P $NS systemd)' && wait_until 90 eval 'c systemctl is-system-running 2>/dev/null | grep -qE "running|degraded"'
}
halt() { [[ -n ${NS:-} ]] && kill -TERM $NS 2>/dev/null; wait ${NS:-} 2>/dev/null
    for g in $CG; do [[ -d $g ]] && find $g -depth -type d -exec rmdir {} +; done; NS=; }
cleanup() { halt; for g in $CG; do rmdir ${g%/*} 2>/dev/null; done; rm -rf /run/systemd/nspawn/propagate/$M "$OUT"; }
trap cleanup EXIT
# c COMMAND...: runs in the container; as USER in a real logind session: in_session USER SCRIPT.
c() { nsenter -t $L -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb "$@"; }
in_session() { c machinectl -q shell "$1@.host" /bin/sh -c "$2; echo status=\$?" </dev/null 2>&1 | tr -d '\r'; }
as_root_unit() { c systemd-run -q --wait --pipe -p StandardInput=null "$@"; }
show() { c systemctl show -P "$1" brevalt; }
sensors() { c sh -c 'for p in /proc/[0-9]*; do [ "$(readlink $p/exe)" = /opt/brevalt/snort ] && echo ${p#/proc/}; done; true'; }
one_sensor() { sensor=$(sensors) && [[ $sensor =~ ^[0-9]+$ ]]; }
brevalt_lines() { c journalctl -q -b -u brevalt -t brevalt -o short-iso --no-pager | sed -E 's/\[[0-9]+\]//'; }
set_time() { c sed -i "1s/.*/$1/" /etc/opt/brevalt/brevalt.ini && c systemctl reload brevalt; }
log_state() { c sh -c "cd $logs && ls && stat -c '%n %i' alert.ids scan.log"; }
dated_sums() { c sh -c "cd $logs && sha256sum *.2*" 2>/dev/null; }

boot || { echo "the container did not boot" >&2; exit 2; }
echo "booted in ${SECONDS}s: $(c systemctl is-system-running)"
cp "$deb" "$R/root/new.deb" && { [[ -z $old_deb ]] || cp "$old_deb" "$R/root/old.deb"; }
# Where an operator wires the sensor (README), there before the package starts the service.
mkdir -p "$R/opt/brevalt" && install -m 755 "$standin" "$R/opt/brevalt/snort"
expect "the package installs, enables and starts brevalt.service: active, one sensor" eval 'as_root_unit dpkg -i /root/new.deb &&
    c systemctl is-enabled brevalt && wait_until 20 eval "c systemctl is-active -q brevalt && one_sensor"'
set_time "$(c date -d '+12 hours' +%H:%M)"
pid=$(sensors) status=$(c cat /proc/$pid/status)
echo "the sensor $pid: $(c stat -c %U /proc/$pid) $(grep -E '^Cap(Amb|Eff)' <<<"$status" | tr -s '\t\n' '  ')"
expect "the sensor runs as _brevalt with CapAmb and CapEff 0x3000 (NET_RAW, NET_ADMIN), no file capabilities" \
    eval '[[ $(c stat -c %U /proc/$pid) == _brevalt ]] && grep -qx "CapAmb:.0*3000" <<<"$status" &&
        grep -qx "CapEff:.0*3000" <<<"$status" && [[ -z $(c getcap /opt/brevalt/snort /opt/brevalt/brevalt) ]]'
props=$(c systemctl show -p Type,NRestarts,WatchdogUSec brevalt | sort | tr '\n' ' ') && echo "$props"
expect "Type=notify, no restart yet, a watchdog of 2 min" eval '[[ $props == "NRestarts=0 Type=notify WatchdogUSec=2min " ]]'
echo "STATUS=$(show StatusText)"
expect "systemctl status shows the service's STATUS= text" eval '[[ -n $(show StatusText) ]] && c systemctl status brevalt | grep -F "Status: \"$(show StatusText)\""'
exposure=$(c systemd-analyze security brevalt --no-pager | sed -n 's/.*Overall exposure level for brevalt.service: \([0-9.]*\).*/\1/p')
echo "exposure: $exposure"
expect "systemd-analyze security: exposure at most 5.0" eval '[[ -n $exposure ]] && awk -v e=$exposure "BEGIN { exit !(e <= 5.0) }"'

c systemctl poweroff; wait $NS; halt
expect "booted again, the sensor runs with nobody logged on" eval 'boot && wait_until 30 one_sensor && [[ -z $(c loginctl list-sessions --no-legend) ]]'

# A reload with the rotation a minute ahead: the sensor runs on; at that minute
# both logs get dated names and a new sensor starts.
until (($(c date -d '+70 sec' +%-S) >= 5 && $(c date -d '+70 sec' +%-S) <= 50)); do sleep 1; done
pid=$(sensors) minute=$(c date -d '+70 sec' +%H:%M) day=$(c date -d '+70 sec' +%Y%m%d)
expect "reload with the rotation at $minute: the time in force changes, the sensor $pid runs on" \
    eval 'set_time $minute && sleep 1 && [[ $(sensors) == "$pid" ]] && wait_until 5 eval "show StatusText | grep -qF $minute"'
expect "at $minute both logs get dated names, and the sensor runs again" \
    eval 'wait_until 150 c test -s $logs/alert.ids.$day -a -s $logs/scan.log.$day && wait_until 10 one_sensor && [[ $sensor != "$pid" ]]'
pid=$(sensors) since=$(c date '+%F %T')
expect "reload with a bad brevalt.ini (keep=0): the settings in force stay, the sensor runs on, the journal says why" \
    eval 'c sh -c "echo keep=0 >>/etc/opt/brevalt/brevalt.ini" && set_time "$(c date -d "+12 hours" +%H:%M)" &&
        wait_until 10 eval "c journalctl -q -u brevalt --since \"$since\" | grep -q keep=0" &&
        c systemctl is-active -q brevalt && [[ $(sensors) == "$pid" ]] && show StatusText | grep -qF $minute'
c sed -i '/^keep=0$/d' /etc/opt/brevalt/brevalt.ini && set_time "$(c date -d '+12 hours' +%H:%M)"

main=$(show MainPID) old=$(sensors) n=$(show NRestarts)
expect "kill -9 of Brevalt: systemd starts it again, its old sensor gone first, one sensor after" \
    eval '((main > 0)) && c kill -9 $main && wait_until 30 eval "[[ \$(show NRestarts) == $((n + 1)) ]] && c systemctl is-active -q brevalt && one_sensor" &&
        [[ $sensor != "$old" ]] && c journalctl -q -b -u brevalt -o cat | awk -v p="$old" "index(\$0, \"Killing process \" p \" \") { k = 1 } /^Started / && k { s = 1 } END { exit !s }"'
old=$(sensors)
expect "kill -9 of the sensor: started again at the next check" eval '[[ $old =~ ^[0-9]+$ ]] && c kill -9 $old && wait_until 40 eval "one_sensor && [[ \$sensor != $old ]]"'

# The operators' client, in real logind sessions: a member of brevalt and another user.
c useradd -m -s /bin/sh -G brevalt operator1 && c useradd -m -s /bin/sh guest1
declare -A out
# Today's rotation is done: the operator moves its logs aside first, as Brevalt asks.
c sh -c "mkdir $logs/earlier && mv $logs/*.$day $logs/earlier/"
for u in operator1 guest1; do for a in status stop start rotate; do
    out[$u.$a]=$(in_session $u "brevalt $a") && echo "$u: brevalt $a -> $(head -c 200 <<<"${out[$u.$a]}" | tr '\n' ' ')"
done; done
expect "brevalt status: 0 and the state for the operator" eval '[[ ${out[operator1.status]} == *status=0 && $(wc -l <<<"${out[operator1.status]}") -gt 1 ]]'
expect "brevalt stop, start, rotate: 0 for the operator" eval '[[ ${out[operator1.stop]}${out[operator1.start]}${out[operator1.rotate]} == *status=0*status=0*status=0 ]]'
refused() { local a; for a in status stop start rotate; do [[ ${out[guest1.$a]} == *status=4 && $(wc -l <<<"${out[guest1.$a]}") == 2 ]] || return; done; }
expect "guest1 is refused each: status 4, with the refusal alone" refused
expect "after the guest's stop and the operator's start: one sensor" eval 'wait_until 10 one_sensor'

expect "no line of Brevalt's twice in the journal for one event" eval '[[ -n $(brevalt_lines) && -z $(brevalt_lines | sort | uniq -d) ]]'
expect "systemctl stop: no process of the unit left, the sensor ended by Brevalt within its grace, no kill" \
    eval 'since=$(c date "+%F %T") && c systemctl stop brevalt && [[ -z $(sensors) && -z $(c pgrep -u _brevalt) ]] &&
        ! c journalctl -q -u brevalt --since "$since" | grep -E "Killing|SIGKILL"'

expect "an administrator's systemctl disable --now outlives an upgrade: off, no sensor" eval 'c systemctl start brevalt &&
    c systemctl disable -q --now brevalt && as_root_unit dpkg -i /root/new.deb && ! c systemctl -q is-enabled brevalt &&
    ! c systemctl -q is-active brevalt && [[ -z $(sensors) ]]'
sums=$(dated_sums) && echo "dated logs: $(wc -l <<<"$sums")"
expect "purge: the unit, the user _brevalt and /run/brevalt go, every log stays" \
    eval 'as_root_unit dpkg -P brevalt && c test ! -e /lib/systemd/system/brevalt.service -a ! -e /run/brevalt &&
        ! c getent passwd _brevalt && [[ -n $sums && $(dated_sums) == "$sums" ]] && c test -s $logs/alert.ids'

if [[ -z $old_deb ]]; then echo "SKIPPED: no package of $previous: the upgrade from a desktop-only release is not tested"; else
    # operator1's desktop Brevalt of the previous release serves the folder under Xvfb.
    as_root_unit dpkg -i /root/old.deb >/dev/null && c sed -i "1s/.*/$(c date -d '+12 hours' +%H:%M)/" /etc/opt/brevalt/brevalt.ini
    in_session operator1 'cd /tmp && setsid Xvfb :7 -nolisten tcp >/dev/null 2>&1 & sleep 1
        DISPLAY=:7 setsid /opt/brevalt/brevalt-autostart </dev/null >/tmp/brevalt-desktop.log 2>&1 & sleep 1' >/dev/null
    expect "the previous release: operator1's Brevalt runs one sensor as operator1" \
        eval 'wait_until 20 eval "one_sensor && [[ \$(c stat -c %U /proc/\$sensor) == operator1 ]]"'
    one_sensor || c sh -c "ps -eo user,pid,unit,args; cat /tmp/brevalt-desktop.log"
    before=$(log_state) old=$sensor
    expect "the upgrade: one sensor, the service's, operator1's gone" eval 'as_root_unit dpkg -i --force-confold /root/new.deb &&
        wait_until 20 eval "one_sensor && [[ \$(c stat -c %U /proc/\$sensor) == _brevalt ]]" && ! c kill -0 $old && sleep 3 && one_sensor'
    expect "operator1's Brevalt runs again, in its session, as the service's view" eval 'wait_until 20 c pgrep -u operator1 -x brevalt &&
        wait_until 20 eval "c journalctl -q -b -t brevalt _UID=\$(c id -u operator1) -o cat | grep -q \"shows the machine.s service\""'
    expect "no log lost or rotated: the same files, the same alert.ids and scan.log" eval '[[ $(log_state) == "$before" ]]'
    c sh -c "ps -eo user,pid,unit,args | grep -E 'brevalt|snort'; cat /tmp/brevalt-desktop.log"
fi
c journalctl -q -b -u brevalt --no-pager >"$OUT/journal.log"; [[ $failed == 0 ]] || tail -n 40 "$OUT/journal.log"
echo "service run: ${SECONDS}s"
summary
