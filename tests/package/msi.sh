#!/usr/bin/env bash
# The Windows installers under Wine, in a fresh prefix: a bad ROTATIONTIME, KEEP,
# COMPRESS or OPERATORS fails and leaves nothing; the x64 MSI installs with
# ROTATIONTIME, KEEP, COMPRESS and OPERATORS into brevalt.ini, makes the
# operators' group and gives them the log folder, and its
# program rotates; an upgrade keeps an edited brevalt.ini and the logs and takes
# the earlier installer's grant to Users away, a downgrade is refused, uninstall
# keeps every log; the x86 MSI goes to the 32-bit Program Files. Wine's icacls.exe
# and net.exe do nothing: their command lines, traced, are what is checked.
# Usage: tests/package/msi.sh DIST_DIR BUILD_WIN64_DIR (holding bin/brevalt.exe and bin/snort.exe)
# shellcheck disable=SC2016,SC2034  # checks are passed to eval; the sourced helpers read LOG_DIR and others
set -uo pipefail
dist=$(realpath "${1:?usage: msi.sh DIST_DIR BUILD_WIN64_DIR}") build=$(realpath "${2:?}")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib/packages.sh
source "$here/../../scripts/lib/packages.sh"
need_packages wine64 xvfb wixl msitools binutils binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 || exit 2
OUT=$build/msi-test && rm -rf "$OUT" && mkdir -p "$OUT"
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"

msi=$(ls "$dist"/brevalt-*-x64.msi)
version=${msi##*/brevalt-} version=${version%-x64.msi}
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX=$OUT/prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
app=$WINEPREFIX/drive_c/Program\ Files/Brevalt
# Wine reports msiexec's 1603 (a failed install) as 67.
msiexec() { "$wine" msiexec "$@" /qn; }
installed_version() { "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | awk '/DisplayVersion/ { print $3 }'; }
# Each shortcut's folder name, working folder (the string ending in "\") and
# arguments (--logon or none).
shortcuts() {
    find "$WINEPREFIX/drive_c" -name Brevalt.lnk | while IFS= read -r link; do
        echo "$(basename "$(dirname "$link")") $(strings -el "$link" | grep -o -e 'C:.*\\$' -e '^--.*' | paste -sd ' ')"
    done | sort
}
# The command lines that the install traced in $1 started, one a line.
started() { sed -n 's/^[0-9a-f]*:trace:process:CreateProcessInternalW app .* cmdline L"\(.*\)"$/\1/p' "$1"; }
# The prefix (about 700 MB) stays for a look only after a failure.
trap '"$wineserver" -k 2>/dev/null; stop_child "${XVFB_PID:-}"; "$wineserver" -w 2>/dev/null; ((failed)) || rm -rf "$WINEPREFIX"' EXIT

env -u DISPLAY "$wine" wineboot -i >/dev/null 2>&1 && "$wineserver" -w
start_xvfb || exit 2
"$wineserver" -p >/dev/null 2>&1 </dev/null

# (A quote in OPERATORS, refused as well, cannot pass Wine's msiexec command line.)
for bad in ROTATIONTIME=abc ROTATIONTIME= ROTATIONTIME=25:00 ROTATIONTIME=3:30 'ROTATIONTIME=03:3&echo' \
    'OPERATORS=CORP\al&ice' 'OPERATORS=CORP\alice;' 'OPERATORS=;CORP\bob' 'OPERATORS=CORP\%USERNAME%'; do
    expect "$bad fails the install (status 67) and installs nothing" \
        eval 'msiexec /i "$msi" "$bad"; [[ $? -eq 67 && ! -e $app && -z $(installed_version)$(shortcuts) ]]'
done
# KEEP and COMPRESS only with a good time, and never without one: they would
# be lost, or go into an operator's file.
for bad in 'ROTATIONTIME=03:30 KEEP=0' 'ROTATIONTIME=03:30 KEEP=3651' 'ROTATIONTIME=03:30 KEEP=ten' \
    'ROTATIONTIME=03:30 KEEP=030' 'ROTATIONTIME=03:30 COMPRESS=maybe' 'KEEP=30 COMPRESS=yes' \
    'ROTATIONTIME=03:30 METRICS=brevalt.prom' 'ROTATIONTIME=03:30 METRICS=C:\m\brevalt.txt' 'METRICS=C:\m\brevalt.prom'; do
    read -ra words <<<"$bad"
    expect "$bad fails the install (status 67) and installs nothing" \
        eval 'msiexec /i "$msi" "${words[@]}"; [[ $? -eq 67 && ! -e $app && -z $(installed_version)$(shortcuts) ]]'
done

# Brevalt starts within 15 s from now: one of its first two ticks meets this minute.
rotation_time=$(date -d '+45 sec' +%H:%M) LOG_DIR=$app/log day=$(date +%Y%m%d)
mkdir -p "$WINEPREFIX/drive_c/textfile_inputs"
WINEDEBUG=-all,trace+process msiexec /i "$msi" ROTATIONTIME="$rotation_time" KEEP=30 COMPRESS=yes \
    'OPERATORS=CORP\alice;bob' 'METRICS=C:\textfile_inputs\brevalt.prom' 2>"$OUT/install.err"
settings=$(printf '%s\nkeep=30\ncompress=yes\nmetrics=C:\\textfile_inputs\\brevalt.prom' "$rotation_time")
expect "the x64 MSI installs with ROTATIONTIME=$rotation_time KEEP=30 COMPRESS=yes METRICS=..., each a line of brevalt.ini" \
    eval '[[ $(installed_version) == "$version" && $(tr -d "\r" <"$app/brevalt.ini") == "$settings" ]]'
expect "the alert rules and the operator's guide lie beside the program" eval 'cmp "$app/brevalt.rules.yml" "$here/../../packaging/brevalt.rules.yml" &&
    cmp "$app/README.txt" "$here/../../README.md"'
started "$OUT/install.err" >"$OUT/install.started"
# As the trace writes them: backslashes and quotes escaped.
net='\"C:\\windows\\system32\\net.exe\" localgroup \"Brevalt Operators\"'
made_group='C:\\windows\\system32\\net.exe localgroup \"Brevalt Operators\" /add \"/comment:May run Brevalt and read its logs\"'
alice=$net' \"CORP\\alice\" /delete' bob=$net' \"bob\" /delete'
icacls='C:\\windows\\system32\\icacls.exe \"C:\\Program Files\\Brevalt\\log\\.\"'
expect "the group Brevalt Operators is made, and each account of OPERATORS is handed to net.exe" \
    eval 'grep -qxF "$made_group" "$OUT/install.started" && grep -qF "$alice" "$OUT/install.started" &&
        grep -qF "$bob" "$OUT/install.started"'
expect "the log folder is the operators' (modify), the administrators' and the system's (full) alone, inheriting nothing" \
    grep -qxF "$icacls"' /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F \"Brevalt Operators:(OI)(CI)M\" /inheritance:r' \
        "$OUT/install.started"
expect "and nothing for Users" eval '! grep -F "S-1-5-32-545:" "$OUT/install.started"'

expected_shortcuts=$(printf '%s C:\\Program Files\\Brevalt\\%s\n' Programs '' StartUp ' --logon')
expect "a Start-menu and a start-at-logon shortcut, both working in the install folder, the second with --logon" \
    eval '[[ $(shortcuts) == "$expected_shortcuts" ]]'
expect "the event source Brevalt takes its texts from the installed brevalt.exe, which holds them" \
    eval '[[ $("$wine" reg query "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Brevalt" /v EventMessageFile) == *"C:\\Program Files\\Brevalt\\brevalt.exe"* &&
        $(x86_64-w64-mingw32-windres -i "$app/brevalt.exe" -O rc) == *MESSAGETABLE* ]]'
cp "$build/bin/snort.exe" "$app/"
(cd "$app" && exec "$wine" brevalt.exe >"$OUT/brevalt.out" 2>&1) &
expect "the installed program's sensor writes into log\\; at $rotation_time both logs get dated names, fresh ones follow" \
    eval 'wait_until 100 rotated $day && wait_until 15 test -s "$app/log/alert.ids"'
expect "its metrics file counts the rotation, moved into place whole" \
    eval 'wait_until 5 grep -qx "brevalt_rotations_total 1" "$WINEPREFIX/drive_c/textfile_inputs/brevalt.prom" &&
        [[ $(ls "$WINEPREFIX/drive_c/textfile_inputs") == brevalt.prom ]] && promtool check metrics <"$WINEPREFIX/drive_c/textfile_inputs/brevalt.prom"'
"$wineserver" -k && "$wineserver" -w
"$wineserver" -p >/dev/null 2>&1 </dev/null
sums=$(log_sums "$app/log")

# The next version: the same program in an MSI with a higher version.
next=$(awk -F. '{ print $1 "." $2 "." $3 + 1 }' <<<"$version")
"$here/../../packaging/windows/make-msi" "$next" x64 "$build/bin/brevalt.exe" "$OUT/brevalt-$next-x64.msi"
printf '07:07\r\n' >"$app/brevalt.ini"
expect "the upgrade to $next keeps the edited brevalt.ini and every log" \
    eval 'WINEDEBUG=-all,trace+process msiexec /i "$OUT/brevalt-$next-x64.msi" 2>"$OUT/upgrade.err" &&
        [[ $(installed_version) == "$next" && $(cat "$app/brevalt.ini") == $'"'07:07\r'"' && $(log_sums "$app/log") == "$sums" ]]'
expect "the upgrade takes away the grant to Users that the earlier installer made" \
    eval 'started "$OUT/upgrade.err" | grep -qxF "$icacls /remove:g *S-1-5-32-545"'
expect "going back to $version is refused" \
    eval 'msiexec /i "$msi"; [[ $? -eq 67 && $(installed_version) == "$next" ]]'
expect "uninstall leaves every log and the edited brevalt.ini" \
    eval 'msiexec /x "$OUT/brevalt-$next-x64.msi" && [[ ! -e $app/brevalt.exe && -z $(installed_version) &&
        $(log_sums "$app/log") == "$sums" && -e $app/brevalt.ini ]]'

rm -rf "$app"
expect "the x86 MSI installs its 32-bit program into the 32-bit Program Files" \
    eval 'msiexec /i "$dist/brevalt-$version-x86.msi" && [[ ! -e $app &&
        $(i686-w64-mingw32-objdump -f "$WINEPREFIX/drive_c/Program Files (x86)/Brevalt/brevalt.exe") == *"file format pei-i386"* ]]'
summary
