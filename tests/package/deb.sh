#!/usr/bin/env bash
# The Debian package on this machine: lintian, desktop-file-validate; apt-get
# install; upgrade, remove, purge, losing no log and no edited setting. Leaves
# the machine as it found it (package, group, statoverride, own logs). The
# installed program at work, at logon and logout: sessions.sh.
# Usage: tests/package/deb.sh DEB   (as root)
# shellcheck disable=SC2016,SC2034,SC2046,SC2086  # checks are passed to eval; folder lists
set -uo pipefail
deb=$(realpath "${1:?usage: deb.sh DEB}")
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "$0")/../../scripts/lib/packages.sh"
need_packages lintian desktop-file-utils || exit 2
OUT=$(mktemp -d) logs=/var/opt/brevalt/log
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"

machine_state() {
    dpkg-query -W brevalt 2>&1; getent group brevalt; dpkg-statoverride --list | grep brevalt
    stat -c '%n %a %U %G' /opt/brevalt /etc/opt /etc/opt/brevalt /var/opt /var/opt/brevalt /etc/xdg/autostart/brevalt.desktop 2>&1
}
{ dpkg-query -W brevalt >/dev/null 2>&1 || [[ -e /var/opt/brevalt || -e /etc/opt/brevalt ]]; } &&
    { echo "Brevalt is or was installed here: this test would touch its logs" >&2; exit 2; }
state_before=$(machine_state)
had_group=$(getent group brevalt) opt_dirs=$(ls -d /etc/opt /var/opt 2>/dev/null)

cleanup() {
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

# An operator's edit, and logs as a sensor and a rotation leave them.
edited=04:44 && echo $edited >/etc/opt/brevalt/brevalt.ini
for f in alert.ids scan.log alert.ids.20261206 scan.log.20261206; do date >"$logs/$f"; done
sums=$(log_sums $logs)

# An upgrade to a higher version: the same package with its version raised.
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb -R "$deb" "$OUT/repack" && sed -i "s/^Version: .*/Version: $version+1/" "$OUT/repack/DEBIAN/control" &&
    dpkg-deb -b "$OUT/repack" "$OUT/next.deb" >/dev/null
expect "the upgrade to $version+1 keeps the edited brevalt.ini and every log" \
    eval 'apt-get -o DPkg::Lock::Timeout=900 install -y "$OUT/next.deb" && [[ $(dpkg-query -W -f="\${Version}" brevalt) == "$version+1" &&
        $(cat /etc/opt/brevalt/brevalt.ini) == "$edited" && $(log_sums $logs) == "$sums" ]]'
expect "dpkg -r keeps every log" eval 'dpkg -r brevalt && [[ ! -e /opt/brevalt/brevalt && $(log_sums $logs) == "$sums" ]]'
expect "dpkg -P keeps every log" eval 'dpkg -P brevalt && [[ ! -e /etc/opt/brevalt/brevalt.ini && $(log_sums $logs) == "$sums" ]]'
cleanup
expect "the machine is left as it was found" eval '[[ $(machine_state) == "$state_before" ]]'
summary
