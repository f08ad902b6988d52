// Brevalt for Windows: the window, the notification icon and the sensor,
// driven by the same core as every other build.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <string_view>

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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR command_line, int /*show*/) {
    // Themed buttons and text box, as the manifest asks for.
    INITCOMMONCONTROLSEX common_controls{sizeof common_controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&common_controls);

    brevalt::SystemPlatform platform;
    brevalt::Win32Sensor sensor;
    brevalt::BackgroundKeeper keeper;
    brevalt::FileMetricsWriter metrics_writer;
    brevalt::win32::MainWindow window(platform, sensor, keeper, metrics_writer);
    if (!window.create(instance))
        return report_startup_error("Cannot create the window (error " + std::to_string(::GetLastError()) + ")");
    // The all-users start at logon passes --logon.
    if (const auto error = window.start_up(std::string_view(command_line) == "--logon"))
        return error->quiet ? 0 : report_startup_error(error->message, error->shown);
    return window.run();
}
