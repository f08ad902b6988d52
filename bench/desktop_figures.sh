#!/usr/bin/env bash
# Brevalt under each notification area it is tested with, beside a bare Qt 6
# tray program in the same run:
#   - panel to icon: Brevalt runs first (its window shown, no icon), then the
#     panel starts; time from the panel's start until Brevalt's icon is in it
#     (drawn in the panel, and for D-Bus hosts registered as Brevalt's item)
#   - exec to icon: the bare program started once the panel is up
#   - resident set size of both after SETTLE seconds of idling side by side
# Each figure is the median of RUNS runs (3), each run on a fresh desktop.
# Usage: bench/desktop_figures.sh [BUILD_DIR] [HOST...]   (hosts: trayer xfce
# lxqt waybar; default all; needs bin/brevalt, bin/snort, bin/bare_tray).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(cd "${1:-build}" && pwd)/bin
shift || true
hosts=("$@")
((${#hosts[@]})) || hosts=(trayer xfce lxqt waybar)
settle=${SETTLE:-5}
runs=${RUNS:-3}
OUT=$(mktemp -d)
CASE=bench
# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
# shellcheck source=tests/e2e/hosts.sh
source "$root/tests/e2e/hosts.sh"
for program in brevalt snort bare_tray; do
    [[ -x $BIN/$program ]] || { echo "missing $BIN/$program" >&2; exit 1; }
done
export XDG_RUNTIME_DIR=$OUT/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
# icon_in HOST PID: the program's icon is in the panel and can be clicked.
icon_in() {
    if [[ $1 == trayer ]]; then
        xwininfo -tree -id "$(tray_panel)" 2>/dev/null | grep -q "(\"$(basename "$(readlink "/proc/$2/exe")")\" "
    else
        sni_item "$2" >/dev/null && panel_icon >/dev/null
    fi
}

# ms_to_icon HOST PID BEGIN: ms from BEGIN (date +%s%N) until the program's icon is in.
ms_to_icon() { if wait_until 20 icon_in "$1" "$2"; then ms_since "$3"; else echo never; fi; }

# One host: prints "host late-panel-ms brevalt-exec-ms bare-exec-ms brevalt-KiB bare-KiB".
measure() (
    local host=$1 begin late_ms brevalt_ms bare_ms bare_pid
    trap 'end_case; stop_child "${bare_pid:-}"; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
    start_xvfb || exit 1
    if [[ $host == trayer ]]; then unset DBUS_SESSION_BUS_ADDRESS; else start_bus || exit 1; fi
    export QT_QPA_PLATFORM=xcb
    if [[ $host == waybar ]]; then
        start_host sway || exit 1
        export QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=$SWAY_DISPLAY
    fi
    start_case 03:30
    sleep 2  # Brevalt is up with its window shown before the panel comes
    begin=$(date +%s%N)
    start_host "$host" || exit 1
    late_ms=$(ms_to_icon "$host" "$BREVALT_PID" "$begin")
    end_case
    # The usual order: the panel is up when the programs start.
    begin=$(date +%s%N)
    start_case 03:30
    brevalt_ms=$(ms_to_icon "$host" "$BREVALT_PID" "$begin")
    begin=$(date +%s%N)
    "$BIN/bare_tray" >/dev/null 2>&1 &
    bare_pid=$!
    bare_ms=$(ms_to_icon "$host" "$bare_pid" "$begin")
    sleep "$settle"
    screenshot "$host"
    echo "$host $late_ms $brevalt_ms $bare_ms $(rss_kib "$BREVALT_PID") $(rss_kib "$bare_pid")"
)

median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : "failed") }'; }

printf '%-7s %14s %14s %14s %12s %12s\n' host "late panel ms" "Brevalt ms" "bare ms" "Brevalt KiB" "bare KiB"
for host in "${hosts[@]}"; do
    columns=("" "" "" "" "")
    for ((run = 0; run < runs; ++run)); do
        read -r -a row < <(measure "$host" 2>>"$OUT/bench.log" | tail -n 1)
        for i in 0 1 2 3 4; do columns[i]+="${row[i + 1]:-} "; done
    done
    printf '%-7s' "$host"
    printf ' %14s %14s %14s %12s %12s\n' "$(median <<<"${columns[0]}")" "$(median <<<"${columns[1]}")" \
        "$(median <<<"${columns[2]}")" "$(median <<<"${columns[3]}")" "$(median <<<"${columns[4]}")"
    echo "        samples: ${columns[*]}"
done
echo "logs and screenshots: $OUT"
