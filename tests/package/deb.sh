#!/usr/bin/env bash
# The Debian package on this machine: lintian, desktop-file-validate; apt-get
# install; Brevalt started by its autostart entry under Xvfb and trayer, with
# the stand-in sensor on PATH, rotating; upgrade, remove, purge, losing no log.
# Leaves the machine as it found it (package, group, statoverride, own logs).
# Usage: tests/package/deb.sh DEB STANDIN_SNORT   (as root)
# shellcheck disable=SC2016,SC2034,SC2046,SC2086  # checks are passed to eval; helpers read LOG_DIR; pid and folder lists
set -uo pipefail
deb=$(realpath "${1:?usage: deb.sh DEB STANDIN_SNORT}") standin=$(realpath "${2:?}")
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "$0")/../../scripts/lib/packages.sh"
need_packages lintian desktop-file-utils libglib2.0-bin xvfb trayer xdotool x11-utils || exit 2
OUT=$(mktemp -d) logs=/var/opt/brevalt/log
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$(dirname "$0")/../e2e/hosts.sh"

machine_state() {
    dpkg-query -W brevalt 2>&1; getent group brevalt; dpkg-statoverride --list | grep brevalt
    stat -c '%n %a %U %G' /opt/brevalt /etc/opt /etc/opt/brevalt /var/opt /var/opt/brevalt /etc/xdg/autostart/brevalt.desktop 2>&1
}
{ dpkg-query -W brevalt >/dev/null 2>&1 || [[ -e /var/opt/brevalt || -e /etc/opt/brevalt ]]; } &&
    { echo "Brevalt is or was installed here: this test would touch its logs" >&2; exit 2; }
state_before=$(machine_state)
had_group=$(getent group brevalt) opt_dirs=$(ls -d /etc/opt /var/opt 2>/dev/null)

# The stand-in writes into the log folder beside itself: here, the package's.
PROG_DIR=$OUT/sensor && mkdir -p "$PROG_DIR" && cp "$standin" "$PROG_DIR/snort" && ln -s /opt/brevalt/log "$PROG_DIR/log"
export PATH=$PROG_DIR:$PATH
brevalt_pids() { pids_of /opt/brevalt/brevalt; }
stop_all() { kill $(brevalt_pids) $(sensor_pids) 2>/dev/null; wait_until 10 eval '[[ -z $(brevalt_pids)$(sensor_pids) ]]'; }
cleanup() {
    stop_all; stop_hosts; stop_child "${XVFB_PID:-}"
    dpkg-query -W brevalt >/dev/null 2>&1 && dpkg -P brevalt >/dev/null
    rm -rf /var/opt/brevalt  # only the test's own logs are in there
    dpkg-statoverride --list $logs >/dev/null && dpkg-statoverride --remove $logs
    [[ -n $had_group ]] || ! getent group brevalt >/dev/null || groupdel brevalt
    # A purge takes an empty /etc/opt or /var/opt along when no other package owns it.
    [[ -z $opt_dirs ]] || mkdir -p $opt_dirs
}
trap 'cleanup; rm -rf "$OUT"' EXIT

dpkg-deb -x "$deb" "$OUT/extracted"
expect "lintian: no error, no warning" lintian --fail-on error,warning "$deb"
expect "desktop-file-validate: the menu and the autostart entry" desktop-file-validate \
    "$OUT"/extracted/{usr/share/applications,etc/xdg/autostart}/brevalt.desktop

expect "apt-get installs it; the log folder: setgid 2775, group brevalt, through /opt/brevalt/log" \
    eval 'apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "$deb" && [[ $(stat -c %a:%U:%G $logs) == 2775:root:brevalt && $(readlink /opt/brevalt/log) == $logs ]]'

export XDG_RUNTIME_DIR=$OUT/runtime QT_QPA_PLATFORM=xcb && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
desktop trayer || { echo "no virtual display or tray host" >&2; exit 2; }
autostart=/etc/xdg/autostart/brevalt.desktop
exec_line=$(sed -n 's/^Exec=//p' $autostart) path_line=$(sed -n 's/^Path=//p' $autostart)
# A logon of someone outside the group: the launcher ends and starts nothing.
expect "the autostart entry starts nothing for a non-member" \
    eval "cd '$path_line' && timeout 5 setpriv --clear-groups $exec_line && [[ -z \$(brevalt_pids) ]]"

rotation_time=$(first_tick_minute) LOG_DIR=$logs day=$(date +%Y%m%d)
printf '%s\n' "$rotation_time" >/etc/opt/brevalt/brevalt.ini
setpriv --groups "$(getent group brevalt | cut -d: -f3)" gio launch $autostart >>"$OUT/checks.log" 2>&1
expect "for a member it starts Brevalt in Path=, its icon in the tray" \
    eval 'wait_until 15 icon_window && [[ $(readlink /proc/$(brevalt_pids)/cwd) == "$path_line" ]]'
expect "the sensor on PATH writes into the log folder, files of group brevalt" \
    eval 'wait_until 15 test -s $logs/scan.log && [[ $(stat -c %G $logs/alert.ids) == brevalt ]]'
expect "at $rotation_time from brevalt.ini both logs get dated names, fresh ones follow" \
    eval 'wait_until 50 rotated $day && wait_until 15 eval "test -s $logs/alert.ids && sensor_count_is 1"'
stop_all
sums=$(log_sums $logs)

# An upgrade to a higher version: the same package with its version raised.
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb -R "$deb" "$OUT/repack" && sed -i "s/^Version: .*/Version: $version+1/" "$OUT/repack/DEBIAN/control" &&
    dpkg-deb -b "$OUT/repack" "$OUT/next.deb" >/dev/null
expect "the upgrade to $version+1 keeps the edited brevalt.ini and every log" \
    eval 'apt-get -o DPkg::Lock::Timeout=900 install -y "$OUT/next.deb" && [[ $(dpkg-query -W -f="\${Version}" brevalt) == "$version+1" &&
        $(cat /etc/opt/brevalt/brevalt.ini) == "$rotation_time" && $(log_sums $logs) == "$sums" ]]'
expect "dpkg -r keeps every log" eval 'dpkg -r brevalt && [[ ! -e /opt/brevalt/brevalt && $(log_sums $logs) == "$sums" ]]'
expect "dpkg -P keeps every log" eval 'dpkg -P brevalt && [[ ! -e /etc/opt/brevalt/brevalt.ini && $(log_sums $logs) == "$sums" ]]'
cleanup
expect "the machine is left as it was found" eval '[[ $(machine_state) == "$state_before" ]]'
summary
