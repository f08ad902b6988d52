#!/usr/bin/env bash
# The Debian package on this machine: lintian, desktop-file-validate; the
# manual page, the guide and the program on PATH; the
# upgrade from the last release that left the logs open to every user, which
# closes them; upgrade, remove, purge, losing no log and no edited setting. Leaves
# the machine as it found it (package, group, statoverride, own logs). The
# installed program at work, at logon and logout: sessions.sh.
# Usage: tests/package/deb.sh DEB   (as root)
# shellcheck disable=SC2016,SC2034,SC2046,SC2086  # checks are passed to eval; folder lists
set -uo pipefail
deb=$(realpath "${1:?usage: deb.sh DEB}")
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "$0")/../../scripts/lib/packages.sh"
need_packages lintian man-db desktop-file-utils git cmake g++ make qt6-base-dev libxcb1-dev dpkg-dev || exit 2
OUT=$(mktemp -d) logs=/var/opt/brevalt/log version=$(dpkg-deb -f "$deb" Version)
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
    rm -f /var/lib/prometheus/node-exporter/brevalt-test-{other,link}.prom
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

# The last release before the logs were closed to all but the operators:
# its .deb, built by its own CMake packaging.
previous=4a39180
# A clone without that history (a shallow one) cannot build it: said, not hidden.
if ! git -C "$(dirname "$0")/../.." cat-file -e "$previous^{commit}" 2>/dev/null; then
    echo "SKIPPED: $previous is not in this clone's history: the upgrade from it is not tested"
    expect "apt-get installs it: the log folder 2770 root:brevalt" eval 'apt-get -o DPkg::Lock::Timeout=900 install -y "$deb" &&
        [[ $(stat -c %a:%U:%G $logs) == 2770:root:brevalt ]]'
    edited=04:44 && echo $edited >/etc/opt/brevalt/brevalt.ini
    for f in alert.ids scan.log alert.ids.20261206 scan.log.20261206; do date >"$logs/$f"; done
    sums=$(log_sums $logs)
else
mkdir "$OUT/previous" && git -C "$(dirname "$0")/../.." archive $previous | tar -x -C "$OUT/previous" || exit 2
if ! (cd "$OUT/previous" && cmake --preset linux -B build -DBREVALT_BUILD_TESTS=OFF -DBREVALT_BUILD_BENCH=OFF &&
    cmake --build build -j 2 --target brevalt && cd build && cpack -G DEB) >"$OUT/previous.log" 2>&1; then tail "$OUT/previous.log" >&2; exit 2; fi
previous_deb=$(echo "$OUT"/previous/build/brevalt_*_amd64.deb)
expect "apt-get installs the package of $previous: its log folder is open to all, 2775" \
    eval 'apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "$previous_deb" && [[ $(stat -c %a:%U:%G $logs) == 2775:root:brevalt ]]'

# An operator's edit; logs as its sensors and rotations left them, readable by all; a link an operator put there.
# The shipped brevalt.ini changed since (it explains keep= and compress=): dpkg asks about an edited one, and an
# unattended upgrade answers as --force-confold does, keeping the operator's and putting the new one beside it.
edited=04:44 && echo $edited >/etc/opt/brevalt/brevalt.ini
(umask 002 && for f in $logs/{alert.ids,scan.log,alert.ids.20261206,scan.log.20261206} "$OUT/elsewhere"; do date >"$f"; done) &&
    ln -s "$OUT/elsewhere" $logs/elsewhere
sums=$(log_sums $logs)
expect "the upgrade to $version: the log folder 2770, the logs 660, every byte and a link's target kept, /opt/brevalt/log" \
    eval 'apt-get -o DPkg::Lock::Timeout=900 -o Dpkg::Options::=--force-confold install -y "$deb" && test -s /etc/opt/brevalt/brevalt.ini.dpkg-dist &&
        [[ $(stat -c %a:%U:%G $logs) == 2770:root:brevalt && $(find $logs -type f -printf "%m %g\n" | sort -u) == "660 brevalt" && $(stat -c %a "$OUT/elsewhere") == 664 &&
        $(log_sums $logs) == "$sums" && $(cat /etc/opt/brevalt/brevalt.ini) == "$edited" && $(readlink /opt/brevalt/log) == $logs ]]'
expect "an operator's own statoverride of the log folder outlives an upgrade from $previous" \
    eval 'dpkg -i --force-confold "$previous_deb" && dpkg-statoverride --remove $logs && dpkg-statoverride --update --add root adm 2770 $logs &&
        dpkg -i --force-confold "$deb" && [[ $(stat -c %a:%G $logs) == 2770:adm ]]'
fi

# An upgrade to a higher version: the same package with its version raised.
dpkg-deb -R "$deb" "$OUT/repack" && sed -i "s/^Version: .*/Version: $version+1/" "$OUT/repack/DEBIAN/control" &&
    dpkg-deb -b "$OUT/repack" "$OUT/next.deb" >/dev/null
expect "the upgrade to $version+1 keeps the edited brevalt.ini and every log" \
    eval 'apt-get -o DPkg::Lock::Timeout=900 install -y "$OUT/next.deb" && [[ $(dpkg-query -W -f="\${Version}" brevalt) == "$version+1" &&
        $(cat /etc/opt/brevalt/brevalt.ini) == "$edited" && $(log_sums $logs) == "$sums" ]]'
expect "man brevalt reads the manual page, the guide lies where it says, and brevalt on PATH is the program in /opt" \
    eval 'MANWIDTH=200 man brevalt >"$OUT/man.txt" && grep -q "^EXIT STATUS" "$OUT/man.txt" && grep -q /usr/share/doc/brevalt/README.md.gz "$OUT/man.txt" &&
        zgrep -q "^# Brevalt" /usr/share/doc/brevalt/README.md.gz && (cd / && brevalt --help) | grep -q "log folder  */opt/brevalt/log "'
expect "the metrics folder is the operators' to write and everyone's to read: 2775 root:brevalt" \
    eval '[[ $(stat -c %a:%U:%G /var/opt/brevalt/metrics) == 2775:root:brevalt ]] && date >/var/opt/brevalt/metrics/brevalt.prom &&
        mkdir -p /var/lib/prometheus/node-exporter && echo kept >/var/lib/prometheus/node-exporter/brevalt-test-other.prom &&
        ln -sf /var/opt/brevalt/metrics-old/brevalt.prom /var/lib/prometheus/node-exporter/brevalt-test-link.prom &&
        ln -sf /var/opt/brevalt/metrics/brevalt.prom /var/lib/prometheus/node-exporter/brevalt.prom'
expect "dpkg -r keeps every log" eval 'dpkg -r brevalt && [[ ! -e /opt/brevalt/brevalt && $(log_sums $logs) == "$sums" ]]'
# A link whose target merely begins like the metrics folder is someone else's.
expect "dpkg -P keeps every log, and takes the metrics file and its link, no other file or link" eval 'dpkg -P brevalt && [[ ! -e /etc/opt/brevalt/brevalt.ini && $(log_sums $logs) == "$sums" &&
    ! -e /var/opt/brevalt/metrics && ! -L /var/lib/prometheus/node-exporter/brevalt.prom &&
    $(cat /var/lib/prometheus/node-exporter/brevalt-test-other.prom) == kept &&
    $(readlink /var/lib/prometheus/node-exporter/brevalt-test-link.prom) == /var/opt/brevalt/metrics-old/brevalt.prom ]] &&
    rm /var/lib/prometheus/node-exporter/brevalt-test-{other,link}.prom'
cleanup
expect "the machine is left as it was found" eval '[[ $(machine_state) == "$state_before" ]]'
summary
