// Brevalt for Windows: the window, the notification icon and the sensor,
// driven by the same core as every other build.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/core.h"
#include "main_window.h"
#include "platform/system_platform.h"
#include "keeping/win32/background_keeper.h"
#include "metrics/file_metrics_writer.h"
#include "platform/win32/wide_text.h"
#include "sensor/win32/win32_sensor.h"

namespace {

// The one place that tells the operator something went wrong: the program
// cannot do its job without its settings. Standard error gets English, the
// box the operator's language where there is a form in it.
int report_startup_error(const std::string& message, const std::string& shown = {}) {
    std::fputs((message + "\n").c_str(), stderr);
    const std::wstring text = brevalt::win32::to_wide_or_ansi(shown.empty() ? message : shown);
    ::MessageBoxW(nullptr, text.c_str(), L"Brevalt", MB_OK | MB_ICONERROR);
    return brevalt::k_startup_error_status;
}

// The words of the command line after the program's name. Brevalt's options
// hold no blanks, so no quoting needs undoing.
std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t start = line.find_first_not_of(" \t"); start != std::string_view::npos;) {
        const std::size_t end = line.find_first_of(" \t", start);
        words.push_back(line.substr(start, end - start));
        start = end == std::string_view::npos ? end : line.find_first_not_of(" \t", end);
    }
    return words;
}

// The program has no console: the answer is a message box, and standard
// error for a caller that has captured it.
int answer(const std::string& text, UINT icon, int status) {
    std::fputs(text.c_str(), status == 0 ? stdout : stderr);
    const std::wstring wide = brevalt::win32::to_wide_or_ansi(text);
    ::MessageBoxW(nullptr, wide.c_str(), L"Brevalt", MB_OK | icon);
    return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR command_line, int /*show*/) {
    brevalt::SystemPlatform platform;
    const brevalt::CommandLine line = brevalt::parse_command_line(words_of(command_line), true);
    const auto places = [&platform] {
        return brevalt::usage_places(platform,
                                     "snort.exe, found by the system's search for a program: beside brevalt.exe first",
                                     "the Application event log, source Brevalt");
    };
    switch (line.action) {
    case brevalt::CommandLine::Action::help:
        return answer(brevalt::usage_text(places()), MB_ICONINFORMATION, 0);
    case brevalt::CommandLine::Action::version:
        return answer("brevalt " BREVALT_VERSION "\n", MB_ICONINFORMATION, 0);
    case brevalt::CommandLine::Action::reload: {
        // The Brevalt of this session, if one runs, reads its settings again.
        const HWND running = ::FindWindowW(brevalt::win32::k_window_class, nullptr);
        if (running == nullptr) return answer("brevalt: no Brevalt runs in this session\n", MB_ICONERROR, 1);
        ::PostMessageW(running, ::RegisterWindowMessageW(brevalt::win32::k_reload_message),
                       ::GetCurrentProcessId(), 0);
        return answer("brevalt: the running Brevalt reads its settings again; what changed is in the "
                      "Application event log\n", MB_ICONINFORMATION, 0);
    }
    case brevalt::CommandLine::Action::check:  // none of these is parsed on Windows
    case brevalt::CommandLine::Action::service:
    case brevalt::CommandLine::Action::ask_brevalt:
    case brevalt::CommandLine::Action::unknown_option:
        return answer(brevalt::unknown_option_text(line, places()), MB_ICONERROR, brevalt::k_usage_error_status);
    case brevalt::CommandLine::Action::run:
    case brevalt::CommandLine::Action::run_at_logon:
        break;
    }

    // Themed buttons and text box, as the manifest asks for.
    INITCOMMONCONTROLSEX common_controls{sizeof common_controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&common_controls);

    brevalt::Win32Sensor sensor;
    brevalt::BackgroundKeeper keeper;
    brevalt::FileMetricsWriter metrics_writer;
    brevalt::win32::MainWindow window(platform, sensor, keeper, metrics_writer);
    if (!window.create(instance))
        return report_startup_error("Cannot create the window (error " + std::to_string(::GetLastError()) + ")");
    // The all-users start at logon passes --logon.
    if (const auto error = window.start_up(line.action == brevalt::CommandLine::Action::run_at_logon))
        return error->quiet ? 0 : report_startup_error(error->message, error->shown);
    return window.run();
}
