#include "fakes.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "platform/system_platform.h"

namespace brevalt::test {

namespace {

// The Windows builds have no exceptions: a test that cannot set up ends.
[[noreturn]] void fail_setup(const std::string& why) {
    std::fprintf(stderr, "test setup: %s\n", why.c_str());
    std::abort();
}

}  // namespace

TempDir::TempDir() {
    std::random_device rd;
    std::mt19937_64 rng(rd());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("brevalt-test-" + std::to_string(rng()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    fail_setup("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) fail_setup("cannot write " + path.string());
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::int64_t FakeClock::at(int year, int month, int day, int hour, int minute, int second) {
    return wall_seconds({year, month, day, hour, minute, second});
}

LocalTime FakeClock::local() const {
    using namespace std::chrono;
    const std::int64_t days = seconds_ / 86400;  // no time before 1970 is ever asked for
    const std::int64_t in_day = seconds_ - days * 86400;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(in_day / 3600),
            static_cast<int>(in_day / 60 % 60), static_cast<int>(in_day % 60)};
}

LocalTime FakePlatform::now() {
    const LocalTime t = clock_.local();
    clock_.advance(seconds_per_reading);
    return t;
}

void FakePlatform::sleep_ms(unsigned milliseconds) {
    log_.push_back("sleep " + std::to_string(milliseconds));
    // Slept in steps, a wait takes its time in all.
    slept_ms_ += milliseconds;
    if (sleep_advances_clock) clock_.advance(slept_ms_ / 1000);
    slept_ms_ %= 1000;
}

ProgramDir FakePlatform::program_dir() {
    if (dir_fails) return {{}, SysResult::failure("readlink", 2)};
    return {dir, SysResult::success()};
}

void FakePlatform::log_event(Priority priority, std::string_view text) {
    static constexpr const char* k_names[] = {"err", "warning", "notice", "info"};
    told.push_back(std::string(k_names[static_cast<int>(priority)]) + ": " + std::string(text));
}

std::string FakePlatform::error_text(int error) { return std::strerror(error); }

// Renames on real files leave the real system's number.
bool FakePlatform::name_taken(int error) const { return error == EEXIST || SystemPlatform().name_taken(error); }

bool FakePlatform::is_folder(const std::string& path) {
    return real_files ? SystemPlatform().is_folder(path) : path != missing_folder;
}

FreeSpace FakePlatform::free_space(const std::string& /*folder*/) { return space; }

SysResult FakePlatform::rename_no_replace(const std::string& from, const std::string& to) {
    log_.push_back("rename " + from + " -> " + to);
    if (!real_files) return SysResult::success();
    SystemPlatform real;
    return real.rename_no_replace(from, to);
}

bool FakePlatform::name_exists(const std::string& path) { return real_files && SystemPlatform().name_exists(path); }

FolderClaim FakeSensor::claim_folder(const std::string& folder) {
    log_.push_back("claim " + folder);
    if (folder == missing_folder) return FolderClaim::of(FolderClaim::Outcome::missing);
    running_ = claim.outcome == FolderClaim::Outcome::taken_over;
    return claim;
}

std::optional<long> FakeSensor::running_pid() const {
    if (!running_) return std::nullopt;
    return claim.outcome == FolderClaim::Outcome::taken_over && starts == 0 ? claim.pid : 1000 + starts;
}

SensorStart FakeSensor::start() {
    ++starts;
    log_.push_back("sensor start");
    ended_.reset();  // a sensor that ended by itself is replaced, unreported
    if (claim_lost_starts > 0) {
        --claim_lost_starts;
        return SensorStart::because(SensorStart::Outcome::claim_lost);
    }
    if (start_result.ok()) running_ = true;
    return start_result;
}
void FakeSensor::stop() {
    ++stops;
    log_.push_back("sensor stop");
    running_ = false;
    ended_.reset();  // a stopped sensor is forgotten, however it ended
}
void FakeSensor::end_by_itself(SensorEnd how) {
    if (std::exchange(running_, false)) ended_ = how;
}
void FakeSensor::ensure_stopped_gone() { log_.push_back("sensor ensure_stopped_gone"); }

std::optional<std::intptr_t> FakeSensor::end_handle() const {
    if (!running_) return std::nullopt;
    return 100 + starts;
}

std::string FakeShell::text_form(TextId id) {
    return translated ? "«" + std::string(english_form(id)) + "»" : std::string();
}

void FakeShell::show_sensor_state(bool runs, std::string_view tooltip) {
    icon_states.push_back((runs ? "running: " : "none: ") + std::string(tooltip));
}

bool FakeShell::register_icon() {
    icon_registered = notification_area;
    return notification_area;
}

}  // namespace brevalt::test
