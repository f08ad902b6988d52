#!/usr/bin/env bash
# Brevalt's cost on a Linux desktop beside a bare Qt 6 tray-icon program,
# measured in one run on one virtual display with a real tray host:
#   - time from exec to the icon embedded in the tray (median of RUNS starts)
#   - resident set size with the icon embedded (median, 2 s after embedding)
#   - voluntary context switches of all threads over IDLE_SECONDS of idling
# Usage: bench/qt_figures.sh [BUILD_DIR]   (default: build; needs bin/brevalt,
# bin/snort and bin/bare_tray). RUNS=11 and IDLE_SECONDS=60 by default.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
bin=$build/bin
bare=${BARE_TRAY:-$bin/bare_tray}
runs=${RUNS:-11}
idle=${IDLE_SECONDS:-60}
for program in "$bin/brevalt" "$bin/snort" "$bare"; do
  [[ -x $program ]] || { echo "missing $program" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
finish() {
  local proc
  for proc in /proc/[0-9]*; do
    [[ $(readlink "$proc/exe" 2>/dev/null) == "$work/program/snort" ]] && kill "${proc#/proc/}" 2>/dev/null
  done
  for proc in "${pids[@]}"; do kill "$proc" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

wait_until() {
  local limit=$1 deadline
  shift
  deadline=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
  done
}

mkdir -p "$work/program/log" "$work/run" "$work/runtime"
chmod 700 "$work/runtime"
cp "$bin/brevalt" "$bin/snort" "$work/program/"
cp "$bare" "$work/program/bare_tray"
echo "03:30" >"$work/run/brevalt.ini"

export XDG_RUNTIME_DIR=$work/runtime
unset DBUS_SESSION_BUS_ADDRESS
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>/dev/null &
pids+=($!)
wait_until 15 test -s "$work/display"
DISPLAY=":$(cat "$work/display")"
export DISPLAY
trayer --edge top --align right --widthtype request --height 32 --transparent false --SetDockType true \
  >/dev/null 2>&1 &
pids+=($!)
wait_until 15 eval 'xdotool search --classname "^panel$" >/dev/null 2>&1'
panel=$(xdotool search --classname '^panel$' | head -n 1)

# embedded CLASS: the icon window of that X class sits under trayer's panel.
embedded() { xwininfo -tree -id "$panel" 2>/dev/null | grep -q "(\"$1\" "; }

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
voluntary_switches() {
  local total=0 n task
  for task in /proc/"$1"/task/*; do
    n=$(awk '/^voluntary_ctxt_switches:/ { print $2 }' "$task/status" 2>/dev/null || echo 0)
    total=$((total + ${n:-0}))
  done
  echo "$total"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# start NAME: starts the program; its pid in STARTED, its time to embed (ms)
# in EMBED_MS.
start() {
  local begin
  begin=$(date +%s%N)
  if [[ $1 == brevalt ]]; then
    (cd "$work/run" && exec "$work/program/brevalt") 2>/dev/null &
  else
    "$work/program/bare_tray" 2>/dev/null &
  fi
  STARTED=$!
  wait_until 20 embedded "$1"
  EMBED_MS=$((($(date +%s%N) - begin) / 1000000))
}
stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  wait_until 5 eval '! embedded brevalt && ! embedded bare_tray'
}

declare -A embed_ms rss
for ((i = 0; i < runs; ++i)); do
  for name in bare_tray brevalt; do
    start "$name"
    sleep 2  # let start-up settle before the resident size is read
    embed_ms[$name]+="$EMBED_MS "
    rss[$name]+="$(rss_kib "$STARTED") "
    stop "$STARTED"
  done
done

# Both idle side by side over the same interval.
start bare_tray
bare_pid=$STARTED
pids+=("$bare_pid")
start brevalt
brevalt_pid=$STARTED
pids+=("$brevalt_pid")
sleep 2
bare_before=$(voluntary_switches "$bare_pid")
brevalt_before=$(voluntary_switches "$brevalt_pid")
sleep "$idle"
bare_switches=$(($(voluntary_switches "$bare_pid") - bare_before))
brevalt_switches=$(($(voluntary_switches "$brevalt_pid") - brevalt_before))

row() {
  local what=$1 bare_value=$2 brevalt_value=$3 ratio
  ratio=$(awk -v a="$brevalt_value" -v b="$bare_value" 'BEGIN { if (b > 0) printf "%+.1f%%", (a - b) * 100 / b; else print "n/a" }')
  printf '%-44s %12s %12s %10s\n' "$what" "$bare_value" "$brevalt_value" "$ratio"
}
printf '%-44s %12s %12s %10s\n' "figure" "bare_tray" "brevalt" "brevalt vs bare"
row "exec to icon embedded, ms (median of $runs)" \
  "$(tr ' ' '\n' <<<"${embed_ms[bare_tray]}" | grep . | median)" \
  "$(tr ' ' '\n' <<<"${embed_ms[brevalt]}" | grep . | median)"
row "RSS with icon embedded, KiB (median of $runs)" \
  "$(tr ' ' '\n' <<<"${rss[bare_tray]}" | grep . | median)" \
  "$(tr ' ' '\n' <<<"${rss[brevalt]}" | grep . | median)"
row "voluntary context switches, ${idle} s idle" "$bare_switches" "$brevalt_switches"
echo "samples: embed ms bare [${embed_ms[bare_tray]% }] brevalt [${embed_ms[brevalt]% }];" \
  "RSS KiB bare [${rss[bare_tray]% }] brevalt [${rss[brevalt]% }]"
