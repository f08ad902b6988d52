#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/core.h"
#include "app/shell.h"
#include "platform/platform.h"
#include "sensor/sensor.h"

namespace brevalt::test {

// A path as the program passes names around: UTF-8, whatever the system's
// own code page.
inline std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// A fresh, uniquely named folder under the system's temporary directory,
// removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string read_file(const std::filesystem::path& path);

// A clock that stands still until told to move; seconds counted from
// 1970-01-01 00:00:00 in an imaginary local time zone with no DST.
class FakeClock {
public:
    explicit FakeClock(std::int64_t seconds = 0) : seconds_(seconds) {}
    static std::int64_t at(int year, int month, int day, int hour, int minute, int second);
    void set(std::int64_t seconds) { seconds_ = seconds; }
    void advance(std::int64_t seconds) { seconds_ += seconds; }
    [[nodiscard]] LocalTime local() const;
    [[nodiscard]] std::int64_t seconds() const { return seconds_; }

private:
    std::int64_t seconds_;
};

// What the sensor and the platform were asked to do, in order, so that tests
// can check that no log moves before the sensor is gone.
using EventLog = std::vector<std::string>;

// A platform on a fake clock. The sleep advances the clock (a rotation's
// wait takes its time) unless `sleep_advances_clock` is off. Renames go to the real file system when `real_files`
// is set, else they only record.
class FakePlatform final : public Platform {
public:
    FakePlatform(FakeClock& clock, EventLog& log) : clock_(clock), log_(log) {}

    LocalTime now() override;
    std::int64_t unix_time() override { return clock_.seconds(); }
    void sleep_ms(unsigned milliseconds) override;
    ProgramDir program_dir() override;
    [[nodiscard]] char path_separator() const override { return '/'; }
    SysResult rename_no_replace(const std::string& from, const std::string& to) override;
    bool name_exists(const std::string& path) override;
    void log_event(Priority priority, std::string_view text) override;
    std::string error_text(int error) override;
    [[nodiscard]] bool name_taken(int error) const override;
    FreeSpace free_space(const std::string& folder) override;
    // The real file system's answer with `real_files`; else all but `missing_folder`.
    bool is_folder(const std::string& path) override;
    // Relative paths are taken from "/home/operator".
    std::string absolute_path(const std::string& path) override {
        return std::filesystem::path(path).is_absolute() ? path : "/home/operator/" + path;
    }
    std::optional<Text> why_not_operator(const std::string& /*log_folder*/) override { return not_operator; }
    std::string user_name() override { return "operator"; }

    std::vector<std::string> told;  // "warning: <text>", one per system log line
    FreeSpace space{std::uint64_t{200} << 30, std::uint64_t{400} << 30, {}};
    std::optional<Text> not_operator;  // why this user may not run Brevalt, if they may not
    std::string dir = "/opt/brevalt";
    std::string missing_folder;
    bool dir_fails = false;
    bool sleep_advances_clock = true;
    bool real_files = false;
    int seconds_per_reading = 0;  // a clock that moves on each time it is read

private:
    FakeClock& clock_;
    EventLog& log_;
    unsigned slept_ms_ = 0;  // slept and not yet a whole second on the clock
};

class FakeSensor final : public Sensor {
public:
    explicit FakeSensor(EventLog& log) : log_(log) {}
    FolderClaim claim_folder(const std::string& folder) override;
    SensorStart start() override;
    [[nodiscard]] std::optional<long> running_pid() const override;
    void stop() override;
    void ensure_stopped_gone() override;
    bool stopped_gone() override { return --polls_until_gone <= 0; }
    std::optional<SensorEnd> reap() override { return std::exchange(ended_, std::nullopt); }
    [[nodiscard]] std::optional<std::intptr_t> end_handle() const override;
    void keep_output_in(const std::string& path) override { output_path = path; }
    [[nodiscard]] std::string output_file() const override { return starts > 0 ? output_path : std::string(); }
    [[nodiscard]] bool holds_claim() override { return claim_held; }

    // The newest sensor ends by itself, as a crash or a kill would end it.
    void end_by_itself(SensorEnd how = {SensorEnd::How::exited, 3});

    FolderClaim claim = FolderClaim::of(FolderClaim::Outcome::claimed);  // for any folder but the missing one
    std::string missing_folder;
    std::string output_path;
    int starts = 0;
    SensorStart start_result;
    int claim_lost_starts = 0;  // how many starts from now find the claim lost
    int stops = 0;
    bool claim_held = true;
    int polls_until_gone = 1;  // how often a stopped sensor is asked about before it is gone

private:
    EventLog& log_;
    bool running_ = false;
    std::optional<SensorEnd> ended_;
};

// The window as the core leaves it.
class FakeShell final : public Shell {
public:
    void show_rotation_time(std::string_view text) override { rotation_time = text; }
    void show_clock(std::string_view text) override { clock = text; }
    void start_tick_timer(unsigned interval_ms) override { tick_interval_ms = interval_ms; }
    void hide_icon_picture() override { icon_picture_hidden = true; }
    void prepare_icon() override { icon_prepared = true; }
    void hide_window() override { window_shown = false; }
    bool register_icon() override;
    void show_window() override { window_shown = true; }
    void notify(std::string_view text) override { notifications.emplace_back(text); }
    void end_program() override { ended = true; }
    std::string text_form(TextId id) override;
    void show_sensor_state(bool runs, std::string_view tooltip) override;
    void watch_sensor_end(std::optional<std::intptr_t> handle) override { watched = handle; }
    void watch_channel(std::optional<std::intptr_t> handle) override { watched_channel = handle; }

    bool notification_area = true;  // whether register_icon can succeed
    bool icon_registered = false;
    bool icon_prepared = false;
    bool icon_picture_hidden = false;
    bool window_shown = true;  // a window starts out shown until hidden
    bool ended = false;
    unsigned tick_interval_ms = 0;
    std::string rotation_time;
    std::string clock;
    std::vector<std::string> notifications;
    // A session in a language of its own: each form bracketed in "«»".
    bool translated = false;
    // Each change of the icon: "running: <tooltip>" or "none: <tooltip>".
    std::vector<std::string> icon_states;
    std::optional<std::intptr_t> watched;
    std::optional<std::intptr_t> watched_channel;
};

// Keeps the passes asked for and hands out the reports a test queues.
class FakeLogKeeper final : public LogKeeper {
public:
    explicit FakeLogKeeper(EventLog* log = nullptr) : log(log) {}
    void tidy(const std::string& folder, const KeepSettings& settings,
              const std::vector<std::string>& rotated) override {
        if (stopped) return;
        passes.emplace_back(folder, settings);
        std::string names;
        for (const std::string& name : rotated) names += " " + name;
        if (log != nullptr) log->push_back("tidy " + folder + names);
    }
    void mark_rotation(const std::string& folder, const KeepSettings&,
                       const std::vector<std::string>& rotated) override {
        std::string names;
        for (const std::string& name : rotated) names += " " + name;
        if (log != nullptr && !rotated.empty()) log->push_back("mark " + folder + names);
    }
    std::vector<KeepReport> take_reports() override { return std::exchange(reports, {}); }
    void stop() override {
        stopped = true;
        if (log != nullptr) log->push_back("stop keeper");
        if (on_stop) on_stop();
    }

    std::function<void()> on_stop;
    std::vector<std::pair<std::string, KeepSettings>> passes;
    std::vector<KeepReport> reports;
    bool stopped = false;
    EventLog* log;
};

// Keeps every snapshot the core hands over; fails while `failure` is set.
class FakeMetricsWriter final : public MetricsWriter {
public:
    SysResult write(const std::string& path, const MetricsSnapshot& snapshot) override {
        if (!failure.ok()) return failure;
        written.emplace_back(path, snapshot);
        return SysResult::success();
    }

    std::vector<std::pair<std::string, MetricsSnapshot>> written;
    SysResult failure;
};

// A Core wired to fakes, reading its settings from a fresh temporary folder.
struct CoreHarness {
    TempDir dir;
    FakeClock clock;
    EventLog log;
    FakePlatform platform{clock, log};
    FakeSensor sensor{log};
    FakeShell shell;
    FakeLogKeeper keeper{&log};
    FakeMetricsWriter metrics;
    Core core{shell, platform, sensor, keeper, metrics, (dir / "brevalt.ini").string()};

    // Starts Brevalt on `settings`; false where start-up refused.
    bool started(const std::string& settings = "03:30\n") {
        write_file(dir / "brevalt.ini", settings);
        return !core.start_up().has_value();
    }
};

}  // namespace brevalt::test
