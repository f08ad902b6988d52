// A year of the schedule in a second: 1,051,200 ticks 30 s apart on a fake
// clock, with a fake sensor and a wait that takes no time. Checks that the
// program rotates exactly once a day, always within the configured minute,
// and prints how long the whole year took to run.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core.h"
#include "fakes.h"
#include "rotation/clock_text.h"

namespace {

using namespace brevalt;

// Notes the clock at every stop, i.e. at the start of every rotation.
class StopClockSensor final : public Sensor {
public:
    explicit StopClockSensor(test::FakeClock& clock) : clock_(clock) {}
    FolderClaim claim_folder(const std::string& /*folder*/) override { return FolderClaim::of(FolderClaim::Outcome::claimed); }
    SysResult start() override { return SysResult::success(); }
    [[nodiscard]] std::optional<long> running_pid() const override { return std::nullopt; }
    void stop() override { stops.push_back(clock_.local()); }
    void ensure_stopped_gone() override {}
    bool stopped_gone() override { return true; }
    std::optional<SensorEnd> reap() override { return std::nullopt; }
    std::vector<LocalTime> stops;

private:
    test::FakeClock& clock_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string rotation_time = argc > 1 ? argv[1] : "03:30";
    constexpr long k_ticks = 1051200;  // 365 days of one tick every 30 s
    constexpr long k_days = 365;

    test::TempDir dir;
    test::write_file(dir / "brevalt.ini", rotation_time + "\r\n");
    // The first tick falls on 2027-01-01 00:00:10, the last on 2027-12-31 23:59:40.
    test::FakeClock clock(test::FakeClock::at(2026, 12, 31, 23, 59, 40));
    test::EventLog platform_log;  // a few lines per rotation only
    test::FakePlatform platform(clock, platform_log);
    platform.sleep_advances_clock = false;
    StopClockSensor sensor(clock);
    test::FakeShell shell;
    test::FakeLogKeeper keeper;
    Core core(shell, platform, sensor, keeper, (dir / "brevalt.ini").string());
    if (auto error = core.start_up()) {
        std::fprintf(stderr, "%s\n", error->message.c_str());
        return 2;
    }

    const auto started = std::chrono::steady_clock::now();
    for (long i = 0; i < k_ticks; ++i) {
        clock.advance(30);
        core.on_tick();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    long renames = 0;
    for (const std::string& event : platform_log) renames += event.rfind("rename ", 0) == 0;
    long outside_minute = 0;
    for (const LocalTime& t : sensor.stops)
        if (clock_text(t) != rotation_time) ++outside_minute;
    std::printf("ticks: %ld\nrotations: %zu (expected %ld)\nrenames: %ld\nrotations outside %s: %ld\n", k_ticks,
                sensor.stops.size(), k_days, renames, rotation_time.c_str(), outside_minute);
    std::printf("run time: %.3f s (%.1f ns per tick)\n", seconds, seconds * 1e9 / static_cast<double>(k_ticks));
    const bool ok = static_cast<long>(sensor.stops.size()) == k_days && outside_minute == 0 &&
                    renames == 2 * k_days;
    std::printf("%s\n", ok ? "year soak: ok" : "year soak: FAILED");
    return ok ? 0 : 1;
}
