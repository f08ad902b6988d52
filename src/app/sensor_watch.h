#pragma once

#include <optional>
#include <string>

#include "app/quick_ends.h"
#include "app/telling.h"
#include "platform/platform.h"
#include "sensor/sensor.h"

// The sensor's life as Brevalt watches it: its start, its end seen at the
// tick or the moment it happens, a restart or giving up after quick ends,
// a sensor taken over from an earlier Brevalt, and the sensor's last words.
// A stop by the operator or a rotation is never undone.
namespace brevalt {

class SensorWatch {
public:
    SensorWatch(Sensor& sensor, Platform& platform, Telling& telling);

    // The folder whose claim the sensor holds, for what is told of it.
    void serve(std::string claimed_folder) { claimed_folder_ = std::move(claimed_folder); }

    // Starts a sensor and shows it running, or tells why none runs. A start
    // that lost the claim tells nothing: the folder's service decides.
    SensorStart launch(const LocalTime& now);

    // The operator's "Snort実行": with a sensor running, says so and starts
    // none. Earlier quick ends no longer count.
    SensorStart start_by_operator(const LocalTime& now);
    // The folder became this Brevalt's to serve: a sensor of its own starts,
    // earlier quick ends forgiven.
    SensorStart start_serving(const LocalTime& now);
    // "停止": a stopped sensor is never started again by the tick.
    void stop_by_operator();

    // The sensor an earlier Brevalt left running is watched from now on.
    // Its start is unknown: it counts as started now, so that one which
    // ends at once is not taken for a sensor that ran for a long time.
    void watch_taken_over(long pid, const LocalTime& now);

    // Collects a sensor that ended by itself and tells it, once; the end is
    // kept for the tick that starts it again.
    void notice_end();
    // A sensor that ended since the last tick would otherwise be replaced by
    // a start or forgotten by a stop without a word: the operator would
    // never learn that the logs have a gap. What follows replaces or
    // forgets it, so no tick starts it again.
    void forget_end_unseen();

    // The tick, after notice_end: a sensor that ended by itself is started
    // again, unless a rotation due now starts one anyway or it ended quickly
    // too often. Returns the start where one was tried.
    std::optional<SensorStart> on_tick(const LocalTime& now, bool rotating);

    // A rotation stopped the sensor and started it again: counted now,
    // shown by show_start once the rotation is told.
    void rotated(const SensorStart& start, const LocalTime& now);
    // Shows a start on the icon, or tells why it failed; a lost claim is the
    // folder service's to tell.
    void show_start(const SensorStart& started, const LocalTime& now);

    // The desktop session ends: the sensor ends with it, given its grace.
    void end_with_session();

    // One line for a good start, so that the system log shows which sensor
    // serves which folder and when the logs move next.
    void tell_started(bool taken_over, const std::string& log_folder, const std::string& rotation_time);

    void show_running(const LocalTime& since);

private:
    void show(SensorStatus::Kind kind);
    void tell_start_failure(const SensorStart& start);
    SensorStart look_for_missing(const LocalTime& now);
    // A record of who serves the folder that could not be written: told
    // once, as the sensor it was to name is shown.
    void tell_record_failure();

    Sensor& sensor_;
    Platform& platform_;
    Telling& telling_;
    std::string claimed_folder_;
    QuickEnds quick_ends_;
    // The last start found no sensor: each tick looks again.
    bool sensor_missing_ = false;
    std::string missing_name_;
    // Told already, and not yet started again by a tick.
    std::optional<SensorEnd> unrestarted_end_;
};

}  // namespace brevalt
