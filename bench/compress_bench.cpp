// A gigabyte dated log compressed the way Brevalt does it, against gzip -6
// on the same file: the time of each, the memory Brevalt needs on top of
// what it had, how long the window's thread is held up while the worker
// compresses, and how soon a stop in the middle returns.
//
// compress_bench [folder]   (a fresh temporary folder when none is given)
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "fakes.h"
#include "keeping/posix/background_keeper.h"
#include "keeping/posix/posix_log_folder.h"

namespace {

using namespace brevalt;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uintmax_t k_log_size = std::uintmax_t{1} << 30;

struct Signature {
    const char* id;
    const char* text;
    const char* classification;
    int priority;
};
constexpr std::array<Signature, 8> k_signatures{{
    {"1:2001219:20", "ET SCAN Potential SSH Scan", "Attempted Information Leak", 2},
    {"1:2010935:3", "ET POLICY Suspicious inbound to MSSQL port 1433", "Potentially Bad Traffic", 2},
    {"1:2402000:6710", "ET DROP Dshield Block Listed Source group 1", "Misc Attack", 2},
    {"1:469:4", "ICMP PING NMAP", "Attempted Information Leak", 2},
    {"1:2008578:6", "ET SCAN Sipvicious Scan", "Attempted Information Leak", 2},
    {"1:2100366:8", "GPL ICMP_INFO PING *NIX", "Misc activity", 3},
    {"1:2013028:7", "ET POLICY curl User-Agent Outbound", "Attempted Information Leak", 2},
    {"1:2019401:4", "ET POLICY Vulnerable Java Version 1.8.x Detected", "Potentially Bad Traffic", 2},
}};

// Alerts in the sensor's one-line form, a day's worth of times, a few
// hundred hosts talking to a few servers: compresses about as a real alert
// log does. The same bytes on every run.
void write_sensor_log(const fs::path& path, std::uintmax_t size) {
    std::mt19937 engine(20260101);
    const auto random = [&engine] { return static_cast<unsigned>(engine()); };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block;
    char line[320];
    std::uintmax_t written = 0;
    double seconds = 0;
    while (written < size) {
        block.clear();
        while (block.size() < (std::size_t{1} << 20)) {
            seconds += (random() % 4000) / 1e6;
            const auto whole = static_cast<long>(seconds);
            const Signature& alert = k_signatures[random() % k_signatures.size()];
            const bool tcp = random() % 4 != 0;
            const int length = std::snprintf(
                line, sizeof line,
                "12/07-%02ld:%02ld:%02ld.%06ld  [**] [%s] %s [**] [Classification: %s] [Priority: %d] {%s} "
                "%u.%u.%u.%u:%u -> 192.168.10.%u:%u\n",
                whole / 3600 % 24, whole / 60 % 60, whole % 60, static_cast<long>((seconds - whole) * 1e6), alert.id,
                alert.text, alert.classification, alert.priority, tcp ? "TCP" : "UDP", 45 + random() % 150,
                random() % 256, random() % 8, random() % 256, 1024 + random() % 64000, 2 + random() % 6,
                std::array{22u, 80u, 443u, 1433u, 5060u, 3389u}.at(random() % 6));
            block.append(line, static_cast<std::size_t>(length));
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        written += block.size();
    }
    if (!out.flush()) {
        std::perror("writing the log");
        std::exit(1);
    }
}

long status_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ':';
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

// From here on VmHWM is the peak since now.
void reset_peak_memory() { std::ofstream("/proc/self/clear_refs") << "5"; }

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
long ms_since(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

int main(int argc, char** argv) {
    std::optional<test::TempDir> temp;
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : temp.emplace().path();
    const std::string log_folder = folder.string();
    const fs::path source = folder / "bench.source";
    fs::remove(source);
    write_sensor_log(source, k_log_size);
    // A log the sensor finished with: only quiet logs are compressed.
    fs::last_write_time(source, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const auto fresh_log = [&](const char* name) {
        fs::remove(folder / name);
        fs::create_hard_link(source, folder / name);  // the bytes outlive the compression's unlink
    };
    std::atomic<bool> never_stop{false};
    PosixLogFolder folder_ops;

    fresh_log("alert.ids.20260101");
    auto start = Clock::now();
    const std::string gzip = "gzip -6 -c " + quoted(folder / "alert.ids.20260101") + " > " + quoted(folder / "bench.gzip.gz");
    if (std::system(gzip.c_str()) != 0) {
        std::fprintf(stderr, "gzip failed\n");
        return 1;
    }
    const double gzip_seconds = seconds_since(start);
    std::printf("gzip -6: %.2f s\n", gzip_seconds);

    const long rss_before = status_kib("VmRSS");
    reset_peak_memory();
    start = Clock::now();
    const LogFolder::CompressResult done = folder_ops.compress(log_folder, "alert.ids.20260101", false, never_stop);
    const double brevalt_seconds = seconds_since(start);
    const long peak = status_kib("VmHWM");
    if (done.outcome != LogFolder::Compressed::done) {
        std::fprintf(stderr, "compression failed: %s %d\n", done.result.failed_call, done.result.error);
        return 1;
    }
    std::printf("brevalt: %.2f s\n", brevalt_seconds);
    std::printf("ratio: %.2f\n", brevalt_seconds / gzip_seconds);
    std::printf("sizes: log %ju MiB, gzip %ju MiB, brevalt %ju MiB\n", fs::file_size(source) >> 20,
                fs::file_size(folder / "bench.gzip.gz") >> 20, fs::file_size(folder / "alert.ids.20260101.gz") >> 20);
    std::printf("extra memory: %ld KiB\n", peak - rss_before);

    // The window's tick stands in for the window: it wakes every 10 ms, as
    // late as the compression makes it.
    fresh_log("alert.ids.20260102");
    {
        BackgroundKeeper keeper(folder_ops);
        keeper.tidy(log_folder, {0, true}, {});
        Clock::duration longest{};
        auto next = Clock::now();
        while (keeper.take_reports().empty()) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            longest = std::max(longest, Clock::now() - next);
            next = std::max(next, Clock::now() - std::chrono::milliseconds(10));
        }
        std::printf("longest stall: %ld ms\n",
                    static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()));
    }

    fresh_log("alert.ids.20260103");
    {
        BackgroundKeeper keeper(folder_ops);
        keeper.tidy(log_folder, {0, true}, {});
        while (!fs::exists(folder / "alert.ids.20260103.gz.partial")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        start = Clock::now();
        keeper.stop();
        std::printf("stop mid-compression: %ld ms\n", ms_since(start));
    }

    for (const char* made : {"bench.source", "bench.gzip.gz", "alert.ids.20260101.gz", "alert.ids.20260102.gz",
                             "alert.ids.20260103", "alert.ids.20260103.gz.partial"}) {
        fs::remove(folder / made);
    }
    return 0;
}
