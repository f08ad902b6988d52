// The work of one rotation beyond its fixed wait: stop the stand-in sensor,
// rename both logs, start it again, on real files and a real child process.
// The wait itself is left out of the timing (it is a fixed 8 s by design);
// a short real pause stands in for it so the stopped sensor has exited.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/system_platform.h"
#include "rotation/rotation.h"
#include "sensor/posix/posix_sensor.h"
#include "fakes.h"

namespace {

namespace fs = std::filesystem;
using namespace brevalt;

class BenchPlatform final : public Platform {
public:
    BenchPlatform(std::string dir, benchmark::State& state) : dir_(std::move(dir)), state_(state) {}
    LocalTime now() override { return real_.now(); }
    std::int64_t unix_time() override { return real_.unix_time(); }
    void sleep_ms(unsigned) override {
        state_.PauseTiming();
        real_.sleep_ms(100);
        state_.ResumeTiming();
    }
    ProgramDir program_dir() override { return {dir_, SysResult::success()}; }
    [[nodiscard]] char path_separator() const override { return '/'; }
    SysResult rename_no_replace(const std::string& from, const std::string& to) override {
        return real_.rename_no_replace(from, to);
    }
    bool name_exists(const std::string& path) override { return real_.name_exists(path); }
    void log_event(Priority priority, std::string_view text) override { real_.log_event(priority, text); }
    std::string error_text(int error) override { return real_.error_text(error); }
    [[nodiscard]] bool name_taken(int error) const override { return real_.name_taken(error); }
    FreeSpace free_space(const std::string& folder) override { return real_.free_space(folder); }
    bool is_folder(const std::string& path) override { return real_.is_folder(path); }
    std::string absolute_path(const std::string& path) override { return real_.absolute_path(path); }
    std::optional<Text> why_not_operator(const std::string& folder) override { return real_.why_not_operator(folder); }
    std::string user_name() override { return real_.user_name(); }

private:
    SystemPlatform real_;
    std::string dir_;
    benchmark::State& state_;
};

void make_log(const fs::path& path, long long size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0) std::abort();  // sparse: no blocks are written
    ::close(fd);
}

void BM_RotationWork(benchmark::State& state) {
    const long long size = state.range(0);
    test::TempDir program;
    const fs::path logs = program / "log";
    fs::create_directory(logs);
    fs::copy_file(BREVALT_STANDIN_PATH, program / "snort");
    BenchPlatform platform(program.path().string(), state);
    PosixSensor sensor(program.path().string());
    if (!sensor.start().ok()) {
        state.SkipWithError("stand-in sensor did not start");
        return;
    }
    int failed_renames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& entry : fs::directory_iterator(logs)) fs::remove(entry.path());
        make_log(logs / k_alert_log, size);
        make_log(logs / k_scan_log, size);
        state.ResumeTiming();

        const RotationReport report = rotate_logs(platform, sensor);
        failed_renames += !report.alert_rename.ok() + !report.scan_rename.ok() + !report.start.ok();
    }
    sensor.stop();
    sensor.ensure_stopped_gone();
    if (failed_renames != 0) state.SkipWithError("a rename or a start failed");
}
BENCHMARK(BM_RotationWork)->Arg(1024)->Arg(4LL << 30)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

BENCHMARK_MAIN();
