#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core.h"
#include "app/shell.h"
#include "platform/platform.h"
#include "sensor/sensor.h"
#include "temp_dir.h"

namespace brevalt::test {

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

// Appends one line per event to a shared log, so tests can check the order
// of calls across the shell, the sensor and the platform.
using EventLog = std::vector<std::string>;

// A platform on a fake clock. The sleep advances the clock (a rotation's
// wait takes its time) unless `sleep_advances_clock` is off. Renames go to
// the real file system when `real_files` is set, else they only record.
class FakePlatform final : public Platform {
public:
    FakePlatform(FakeClock& clock, EventLog& log) : clock_(clock), log_(log) {}

    LocalTime now() override;
    void sleep_ms(unsigned milliseconds) override;
    ProgramDir program_dir() override;
    [[nodiscard]] char path_separator() const override { return '/'; }
    SysResult rename_no_replace(const std::string& from, const std::string& to) override;

    std::string dir = "/opt/brevalt";
    bool dir_fails = false;
    bool sleep_advances_clock = true;
    bool real_files = false;
    int seconds_per_reading = 0;  // a clock that moves on each time it is read

private:
    FakeClock& clock_;
    EventLog& log_;
};

class FakeSensor final : public Sensor {
public:
    explicit FakeSensor(EventLog& log) : log_(log) {}
    SysResult start() override;
    void stop() override;
    void ensure_stopped_gone() override;
    void reap() override;

    int starts = 0;
    int stops = 0;

private:
    EventLog& log_;
};

class RecordingShell final : public Shell {
public:
    explicit RecordingShell(EventLog& log) : log_(log) {}
    void set_time_text(std::string_view text) override;
    void set_clock_caption(std::string_view text) override;
    void start_timer(unsigned interval_ms) override;
    void hide_picture() override;
    void prepare_icon() override;
    void hide_window() override;
    bool register_icon() override;
    void show_window() override;
    void end_program() override;

    bool icon_available = true;
    std::string clock_caption;
    std::string time_text;

private:
    EventLog& log_;
};

}  // namespace brevalt::test

namespace brevalt::test {

// A Core wired to fakes, reading its settings from a fresh temporary folder.
struct CoreHarness {
    TempDir dir;
    FakeClock clock;
    EventLog log;
    FakePlatform platform{clock, log};
    FakeSensor sensor{log};
    RecordingShell shell{log};
    Core core{shell, platform, sensor, (dir / "brevalt.ini").string()};
};

}  // namespace brevalt::test
