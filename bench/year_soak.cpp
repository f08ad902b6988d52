// Over a year in a few seconds: 1,152,000 ticks 30 s apart (400 days) on a
// fake clock, with a sensor that writes real logs, real renames and the real
// keeping of dated logs (keep=30, compress=yes) run at each pass. Checks that
// the program rotates exactly once a day, always within the configured
// minute, that exactly the newest 30 dates of each log remain, and that every
// compressed log holds exactly what the sensor wrote into it; prints how long
// the whole run took.
#include <algorithm>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/core.h"
#include "fakes.h"
#include "keeping/posix/posix_log_folder.h"
#include "rotation/clock_text.h"

namespace {

using namespace brevalt;
namespace fs = std::filesystem;

// Writes a day's worth of lines into both logs at each start, and notes at
// each stop what the logs held, under the date their rotation gives them.
class WritingSensor final : public Sensor {
public:
    WritingSensor(test::FakeClock& clock, fs::path log_dir) : clock_(clock), log_dir_(std::move(log_dir)) {}
    FolderClaim claim_folder(const std::string& /*folder*/) override { return FolderClaim::of(FolderClaim::Outcome::claimed); }
    SensorStart start() override {
        ++starts_;
        for (const char* name : {k_alert_log, k_scan_log}) {
            std::string& text = written_[name];
            std::ofstream out(log_dir_ / name, std::ios::app);
            for (int line = 0; line < 400; ++line) {
                const std::string entry = std::string(name) + " start " + std::to_string(starts_) + " line " +
                                          std::to_string(line) + " 10.0." + std::to_string(line % 256) + "." +
                                          std::to_string(starts_ % 256) + ":" + std::to_string(1024 + line) + "\n";
                out << entry;
                text += entry;
            }
        }
        return SensorStart::done();
    }
    [[nodiscard]] std::optional<long> running_pid() const override { return std::nullopt; }
    void stop() override {
        stops.push_back(clock_.local());
        for (const char* name : {k_alert_log, k_scan_log}) {
            expected[std::string(name) + "." + date_stamp(clock_.local())] = std::exchange(written_[name], {});
        }
    }
    void ensure_stopped_gone() override {}
    bool stopped_gone() override { return true; }
    std::optional<SensorEnd> reap() override { return std::nullopt; }

    std::vector<LocalTime> stops;
    std::map<std::string, std::string> expected;  // dated name -> what was written into it

private:
    test::FakeClock& clock_;
    fs::path log_dir_;
    int starts_ = 0;
    std::map<std::string, std::string> written_;
};

// Each pass runs at once, so the year's end is the folder's end.
class PassAtOnce final : public LogKeeper {
public:
    void tidy(const std::string& folder, const KeepSettings& settings,
              const std::vector<std::string>& rotated) override {
        // A day has passed since every dated log but those just rotated was
        // written: they are quiet enough to compress.
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (parse_dated_log(name) && std::find(rotated.begin(), rotated.end(), name) == rotated.end())
                fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(24));
        }
        const std::atomic<bool> never{false};
        reports_.push_back(keep_logs(folder_ops_, folder, settings, never, rotated));
        ++passes;
    }
    void mark_rotation(const std::string& folder, const KeepSettings& settings,
                       const std::vector<std::string>& rotated) override {
        brevalt::mark_rotation(folder_ops_, folder, settings, rotated);
    }
    std::vector<KeepReport> take_reports() override { return std::exchange(reports_, {}); }
    void stop() override {}
    int passes = 0;

private:
    PosixLogFolder folder_ops_;
    std::vector<KeepReport> reports_;
};

std::string gunzipped(const fs::path& path) {
    std::string text;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) return "(unreadable)";
    char buffer[65536];
    int got = 0;
    while ((got = gzread(file, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    if (got < 0) text += "(corrupt)";
    gzclose(file);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string rotation_time = argc > 1 ? argv[1] : "03:30";
    constexpr long k_days = 400;
    constexpr long k_ticks = k_days * 2880;
    constexpr unsigned k_keep = 30;

    test::TempDir dir;
    fs::create_directory(dir / "log");
    test::write_file(dir / "brevalt.ini", rotation_time + "\r\nkeep=30\r\ncompress=yes\r\n");
    // The first tick falls on 2027-01-01 00:00:10, the last on 2028-02-04 23:59:40.
    test::FakeClock clock(test::FakeClock::at(2026, 12, 31, 23, 59, 40));
    test::EventLog platform_log;  // a few lines per rotation only
    test::FakePlatform platform(clock, platform_log);
    platform.dir = dir.path().string();
    platform.real_files = true;
    platform.sleep_advances_clock = false;
    WritingSensor sensor(clock, dir / "log");
    test::FakeShell shell;
    PassAtOnce keeper;
    test::FakeMetricsWriter metrics;
    Core core(shell, platform, sensor, keeper, metrics, (dir / "brevalt.ini").string());
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

    // What the folder holds: the live logs, the marks of the latest rotation
    // and, per log, the newest 30 dates, each equal to what was written and
    // compressed but for the latest rotation's, still too fresh.
    std::set<std::string> alert_dates, scan_dates;
    long others = 0, unequal = 0, plain = 0, marks = 0;
    for (const auto& entry : fs::directory_iterator(dir / "log")) {
        const std::string name = entry.path().filename().string();
        const auto log = parse_dated_log(name);
        if (!log) {
            marks += name.rfind(k_latest_prefix, 0) == 0;
            others += name != k_alert_log && name != k_scan_log && name.rfind(k_latest_prefix, 0) != 0;
            continue;
        }
        (log->alert ? alert_dates : scan_dates).insert(std::to_string(log->date));
        plain += !log->gzipped;
        const std::string dated = log->gzipped ? name.substr(0, name.size() - 3) : name;
        const std::string held = log->gzipped ? gunzipped(entry.path()) : test::read_file(entry.path());
        if (held != sensor.expected[dated]) ++unequal;
    }
    const bool newest_kept = alert_dates.size() == k_keep && scan_dates == alert_dates &&
                             *alert_dates.begin() == "20280106";
    std::printf("ticks: %ld\nrotations: %zu (expected %ld)\nrenames: %ld\nrotations outside %s: %ld\n", k_ticks,
                sensor.stops.size(), k_days, renames, rotation_time.c_str(), outside_minute);
    std::printf("dated logs kept: %zu alert.ids, %zu scan.log (expected %u each, from %s)\n", alert_dates.size(),
                scan_dates.size(), k_keep, alert_dates.empty() ? "-" : alert_dates.begin()->c_str());
    std::printf("dated logs unequal to what was written: %ld; uncompressed: %ld (expected 2); marks: %ld (expected 2); "
                "other files: %ld; keeping passes: %d\n",
                unequal, plain, marks, others, keeper.passes);
    std::printf("run time: %.3f s (%.1f ns per tick)\n", seconds, seconds * 1e9 / static_cast<double>(k_ticks));
    const bool ok = static_cast<long>(sensor.stops.size()) == k_days && outside_minute == 0 &&
                    renames == 2 * k_days && newest_kept && unequal == 0 && others == 0 && plain == 2 && marks == 2;
    std::printf("%s\n", ok ? "year soak: ok" : "year soak: FAILED");
    return ok ? 0 : 1;
}
