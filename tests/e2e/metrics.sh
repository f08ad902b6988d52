# shellcheck shell=bash
# shellcheck disable=SC2016,SC2034  # conditions are passed to eval; variables read by run.sh
# The metrics file as operators meet it: the real prometheus-node-exporter,
# run by the case as an unprivileged user on a free loopback port, publishes
# the file that Brevalt writes; sourced by run.sh.

# start_exporter USER GROUP FOLDER: the real node_exporter, as USER, with only
# its textfile collector reading FOLDER, on a free loopback port
# (EXPORTER_PORT); EXPORTER_PID is its process.
start_exporter() {
    EXPORTER_PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    setpriv --reuid="$1" --regid="$2" --clear-groups prometheus-node-exporter \
        --web.listen-address="127.0.0.1:$EXPORTER_PORT" --collector.disable-defaults --collector.textfile \
        --collector.textfile.directory="$3" >"$OUT/$CASE.exporter" 2>&1 &
    EXPORTER_PID=$!
    wait_until 10 scrape
}
# exporter_metric NAME: the value of NAME (with its labels, if given) in a fresh scrape.
scrape() { curl -sf "http://127.0.0.1:$EXPORTER_PORT/metrics" >"$OUT/$CASE.scrape"; }
exporter_metric() { scrape && awk -v n="$1" '$1 == n { printf "%.0f\n", $2; f = 1 } END { exit !f }' "$OUT/$CASE.scrape"; }
exporter_shows() { [[ $(exporter_metric "$1") == "$2" ]]; }
# read_while_written FILE STOP: reads FILE as fast as it can, as a collector
# may at any moment, until STOP exists; prints each read that lacks any of
# Brevalt's 19 samples, then the number of reads.
read_while_written() {
    python3 -c 'import os, sys
reads = 0
while not os.path.exists(sys.argv[2]):
    with open(sys.argv[1]) as f: text = f.read()
    reads += 1
    if not text.endswith("\"} 1\n") or text.count("\nbrevalt_") != 19: print(repr(text))
print(reads, "reads")' "$@"
}

# Started with the operators' umask, Brevalt writes a file that the exporter,
# running as nobody, reads whole at every moment: at start-up, after the
# rotation at the first tick, within a second of the sensor's end, after the
# next tick's restart, and while the operator stops and starts the sensor
# many times in a row.
case_metrics_published_through_node_exporter() {
    check "an X server without a tray runs" desktop
    METRICS_DIR=$(mktemp -d) && chmod 755 "$METRICS_DIR" && PROM=$METRICS_DIR/brevalt.prom
    trap 'stop_child "${EXPORTER_PID:-}"; rm -rf "$METRICS_DIR"; end_case; stop_hosts; stop_child "${XVFB_PID:-}"' EXIT
    check "node_exporter answers" start_exporter nobody nogroup "$METRICS_DIR"
    umask 007
    start_case "$(first_tick_minute)"$'\n'"metrics=$PROM"
    check "the exporter publishes a running sensor" wait_until 10 exporter_shows 'brevalt_sensor_state{state="running"}' 1
    check "written by this operator" eval 'scrape && grep -q "^brevalt_build_info{operator=\"$(id -un)\"," "$OUT/$CASE.scrape"'
    check "from a file it reads without error" exporter_shows node_textfile_scrape_error 0
    check "named with its full path" exporter_metric "node_textfile_mtime_seconds{file=\"$PROM\"}"
    check "readable by all under the umask 007" test "$(stat -c %a "$PROM")" = 644
    check "that promtool finds well formed" eval 'promtool check metrics <"$PROM"'
    check "no rotation yet, one start" eval '! exporter_metric brevalt_last_rotation_timestamp_seconds &&
        exporter_shows brevalt_sensor_starts_total 1 && exporter_shows brevalt_rotations_total 0'

    check "the rotation at the first tick is counted" wait_until 45 exporter_shows brevalt_rotations_total 1
    local rotated_at pid
    rotated_at=$(exporter_metric brevalt_last_rotation_timestamp_seconds)
    check "with its time" eval '((rotated_at > $(date +%s) - 60 && rotated_at <= $(date +%s)))'
    check "and its sensor's start" exporter_shows brevalt_sensor_starts_total 2
    check "one sensor runs" wait_until 10 eval 'sensor_count_is 1 && pid=$(sensor_pids)'
    kill -KILL "$pid"
    check "its end shows within a second, with its reason" wait_until 1 exporter_shows 'brevalt_sensor_state{state="ended"}' 1
    check "counted as an end" exporter_shows brevalt_sensor_ends_total 1
    check "the next tick's start within the tick" wait_until 31 exporter_shows 'brevalt_sensor_state{state="running"}' 1
    check "counted, and the heartbeat advanced" eval 'exporter_shows brevalt_sensor_starts_total 3 &&
        (($(exporter_metric brevalt_checks_total) >= 2))'

    # A reader that takes the file at any moment, as a collector may.
    read_while_written "$PROM" "$OUT/$CASE.stop" >"$OUT/$CASE.reads" &
    local reader=$! clicks
    for clicks in $(seq 40); do client_click 256 84 && client_click 64 84; done
    check "the operator's 40 starts are counted" wait_until 5 exporter_shows brevalt_sensor_starts_total 43
    touch "$OUT/$CASE.stop" && wait "$reader"
    check "the file was never read in part ($(tail -n 1 "$OUT/$CASE.reads"))" test "$(wc -l <"$OUT/$CASE.reads")" -eq 1
    check "nor by the exporter" exporter_shows node_textfile_scrape_error 0
    check "no temporary file is left" test "$(ls "$METRICS_DIR")" = brevalt.prom
    curl -s "http://127.0.0.1:$EXPORTER_PORT/metrics" | grep -E '^(# (HELP|TYPE) )?(brevalt_|node_textfile_)' >"$OUT/metrics-curl.txt"

    # Killed outright, Brevalt leaves its last file as it was: running, the
    # heartbeat frozen, which is all the alerts can go by. The next one
    # takes the sensor over, counts from 0 again and says since when;
    # SIGTERM, as a session ends, leaves its last word.
    local checks started
    checks=$(exporter_metric brevalt_checks_total) started=$(exporter_metric brevalt_start_time_seconds)
    kill -KILL "$BREVALT_PID" && brevalt_exits_with -eq 137
    check "a killed Brevalt's file still says running" exporter_shows 'brevalt_sensor_state{state="running"}' 1
    check "with its last heartbeat" exporter_shows brevalt_checks_total "$checks"
    start_brevalt
    check "the next Brevalt's file shows its own start" wait_until 10 eval '(($(exporter_metric brevalt_start_time_seconds) >= started)) &&
        exporter_shows brevalt_sensor_starts_total 0 && ! exporter_metric brevalt_last_rotation_timestamp_seconds'
    kill -TERM "$BREVALT_PID" && brevalt_exits_with -eq 0
    check "a Brevalt ended by SIGTERM says the session ended" exporter_shows 'brevalt_sensor_state{state="session_ended"}' 1
    check "and nothing else" exporter_shows 'brevalt_sensor_state{state="running"}' 0
}
