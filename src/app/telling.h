#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/sensor_status.h"
#include "app/shell.h"
#include "metrics/metrics.h"
#include "platform/platform.h"
#include "texts/news.h"

// The one room through which anything leaves Brevalt: the system log, the
// operator's notifications in the session's language, the icon with its
// tooltip, and the metrics file for the fleet. Every other part decides what
// to say; this one says it, and remembers what it said so that nothing is
// said twice for nothing.
namespace brevalt {

// Hears what the telling tells of the sensor, the schedule and failures,
// for a report of its own.
class TellingFollower {
public:
    virtual ~TellingFollower() = default;
    virtual void sensor(const SensorStatus& status, SensorState state) = 0;
    // The program ended: the session took the sensor, or "終了" left it.
    virtual void ended(SensorState state) = 0;
    virtual void rotation_time(const std::string& rotation_time, const LocalTime& now, bool tomorrow) = 0;
    virtual void rotated(const LocalTime& at) = 0;
    virtual void failure(const std::string& english_text, const LocalTime& at) = 0;
};

class Telling {
public:
    Telling(Shell& shell, Platform& platform, MetricsWriter& metrics_writer);

    // Every failure and unexpected change goes to the system log, and all
    // but the routine ones (info) to the operator as well.
    void tell(const News& news);
    void tell(Priority priority, const Text& text) { tell(News{priority, text}); }
    // Only to the system log: what the operator need not be interrupted for.
    void log_only(Priority priority, const std::string& english_text);
    // `text` in the operator's language.
    std::string shown(const Text& text);

    // The configured rotation time, for the tooltip and the fleet.
    void set_rotation_time(std::string rotation_time);
    // The icon and its tooltip follow the sensor; the shell hears only of
    // changes. The metrics file follows too. `end_handle`: what the shell
    // waits on for the sensor's end.
    void show_status(const SensorStatus& status, std::optional<std::intptr_t> end_handle);
    // Whether the next rotation is tomorrow's, which the tooltip says.
    void rotation_done_today(bool done);

    // The metrics book. Where the operator asked for a file, it is written
    // at every change of the sensor's state and every tick, so that its age
    // tells whether this Brevalt still watches. Only the Brevalt that serves
    // the folder writes: one that waits for another operator's would
    // overwrite its numbers with its own.
    void keep_metrics_in(std::string path, std::string log_folder);
    // The settings named another file, or none: the numbers go on.
    void move_metrics_to(std::string path) { metrics_path_ = std::move(path); }
    void serving(bool serves) { serving_ = serves; }
    void sensor_started() { ++metrics_.sensor_starts; }
    void sensor_ended() { ++metrics_.sensor_ends; }
    void keeping_failed(std::uint64_t logs) { metrics_.keeping_failures += logs; }
    void rotated(bool every_log_renamed, std::int64_t unix_seconds);
    // The file's last word as the program ends: the session took the sensor
    // with it, or "終了" left it running unwatched.
    void session_ended();
    void exited();
    // A failure to write is told once; the next write tries again.
    void publish_metrics();
    // The tick's write, which advances the heartbeat: a file whose count
    // stops tells that nothing watches, whatever either clock says.
    void checked();

    // Who hears what is told, besides the operator and the system log: the
    // control channel's report, where a shell serves one; none, none. It
    // hears the state in force at once.
    void follow_with(TellingFollower* follower);
    [[nodiscard]] std::uint64_t rotation_failures() const { return metrics_.rotation_failures; }

private:
    Shell& shell_;
    Platform& platform_;
    MetricsWriter& metrics_writer_;
    std::string rotation_time_;
    void redraw_icon();

    StatusOnShow status_on_show_;
    SensorStatus status_;
    bool status_known_ = false;
    bool tomorrow_ = false;
    std::string metrics_path_;  // empty: no metrics file
    std::string log_folder_;
    MetricsSnapshot metrics_;
    bool metrics_unwritten_ = false;  // the last write failed, and was told
    bool serving_ = true;
    TellingFollower* follower_ = nullptr;
};

}  // namespace brevalt
