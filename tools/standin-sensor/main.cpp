// A stand-in for the intrusion-detection sensor, for the demo and the tests.
// It does what Brevalt relies on a real sensor doing: it keeps appending to
// "alert.ids" and "scan.log" in the folder log beside its own executable,
// carries on with fresh files after they have been renamed, and exits 0 when
// asked to stop.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <climits>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using PathString = std::wstring;
#define STANDIN_TEXT(s) L##s

// The console control handler runs on a thread of its own.
std::atomic<bool> g_stop_requested{false};

bool stop_requested() { return g_stop_requested.load(); }

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        g_stop_requested.store(true);
        return TRUE;
    default:
        return FALSE;
    }
}

bool install_stop_handlers() { return ::SetConsoleCtrlHandler(on_console_event, TRUE) != 0; }

PathString own_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t sep = path.find_last_of(L"\\/");
    return sep == std::wstring::npos ? std::wstring() : path.substr(0, sep);
}

std::FILE* open_for_append(const PathString& path) { return ::_wfopen(path.c_str(), L"ab"); }

void sleep_tenth() { ::Sleep(100); }

void local_time(std::time_t t, std::tm& out) { ::localtime_s(&out, &t); }

const PathString k_separator = L"\\";

// A sensor behind a launcher: with STANDIN_SENSOR_CHILD set, the stand-in
// starts a copy of itself (without the variable) and goes on, as a batch
// file that starts the real sensor would leave two processes.
void start_child_if_asked() {
    if (::GetEnvironmentVariableW(L"STANDIN_SENSOR_CHILD", nullptr, 0) == 0) return;
    ::SetEnvironmentVariableW(L"STANDIN_SENSOR_CHILD", nullptr);
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(self.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
    }
}
#else
using PathString = std::string;
#define STANDIN_TEXT(s) s

volatile std::sig_atomic_t g_stop_requested = 0;

bool stop_requested() { return g_stop_requested != 0; }

extern "C" void on_stop_signal(int) { g_stop_requested = 1; }

// Caught rather than set to SIG_IGN: an ignored signal is dropped the moment
// it is sent, while a caught one shows as pending in /proc while the process
// is stopped, which is how the tests count the signals a sensor receives.
extern "C" void on_ignored_signal(int) {}

bool install_stop_handlers() {
    const char* ignore_term = std::getenv("STANDIN_SENSOR_IGNORE_TERM");
    const bool honour_term = ignore_term == nullptr || std::string(ignore_term) != "1";

    struct sigaction stop_action {};
    stop_action.sa_handler = on_stop_signal;
    sigemptyset(&stop_action.sa_mask);
    struct sigaction ignore_action = stop_action;
    ignore_action.sa_handler = on_ignored_signal;

    return sigaction(SIGINT, &stop_action, nullptr) == 0 &&
           sigaction(SIGTERM, honour_term ? &stop_action : &ignore_action, nullptr) == 0;
}

PathString own_folder() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    const std::size_t sep = path.rfind('/');
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

// "e": close-on-exec, though the stand-in starts nothing itself.
std::FILE* open_for_append(const PathString& path) { return std::fopen(path.c_str(), "abe"); }

void sleep_tenth() {
    timespec tenth{0, 100L * 1000L * 1000L};
    nanosleep(&tenth, nullptr);  // a signal cuts it short, which is what we want
}

void local_time(std::time_t t, std::tm& out) { localtime_r(&t, &out); }

const PathString k_separator = "/";
#endif

// Opened and closed for every line: a sensor holding its log open across a
// rotation would go on writing into the renamed file.
void append_line(const PathString& path, const std::string& line) {
    std::FILE* file = open_for_append(path);
    if (file == nullptr) return;  // no log folder: nothing to write into
    std::fputs(line.c_str(), file);
    std::fflush(file);
    std::fclose(file);
}

std::string timestamp() {
    std::tm tm{};
    local_time(std::time(nullptr), tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

}  // namespace

int main() {
    if (!install_stop_handlers()) return 1;
#ifdef _WIN32
    start_child_if_asked();
#else
    // As a sensor given capture rights is on most systems: its /proc
    // entries belong to root, even for its own user.
    if (std::getenv("STANDIN_SENSOR_NOT_DUMPABLE") != nullptr) ::prctl(PR_SET_DUMPABLE, 0);
#endif
    // A sensor that fails some time after its start (a large rule set
    // loaded, then the interface refused), for the tests of Brevalt's watch.
    const char* exit_after = std::getenv("STANDIN_SENSOR_EXIT_AFTER");
    const unsigned long last_beat = exit_after != nullptr ? std::strtoul(exit_after, nullptr, 10) : 0;

    // A sensor that cannot begin (no such interface, no right to capture)
    // says why on its standard error and exits 1, as a real one does.
    if (const char* error = std::getenv("STANDIN_SENSOR_FAIL"); error != nullptr) {
        std::fprintf(stderr, "%s\n", error);
        return 1;
    }
    const PathString folder = own_folder();
    if (folder.empty()) return 1;
    std::puts("stand-in sensor: appending a line a second to alert.ids and scan.log in log/ beside it");
    std::fflush(stdout);
    const PathString log_dir = folder + k_separator + STANDIN_TEXT("log") + k_separator;
    const PathString alert_path = log_dir + STANDIN_TEXT("alert.ids");
    const PathString scan_path = log_dir + STANDIN_TEXT("scan.log");

    for (unsigned long beat = 1; !stop_requested(); ++beat) {
        if (last_beat != 0 && beat > last_beat) return 1;
        const std::string stamp = timestamp();
        append_line(alert_path, stamp + " stand-in alert " + std::to_string(beat) + "\n");
        append_line(scan_path, stamp + " stand-in scan " + std::to_string(beat) + "\n");
        for (int tenth = 0; tenth < 10 && !stop_requested(); ++tenth) sleep_tenth();
    }
    return 0;
}
