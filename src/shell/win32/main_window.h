#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/core.h"
#include "app/shell.h"

namespace brevalt::win32 {

// The window class of Brevalt's window, by which `brevalt --reload` finds the
// Brevalt of its session, and the message it sends it.
inline constexpr const wchar_t* k_window_class = L"Brevalt";
inline constexpr const wchar_t* k_reload_message = L"Brevalt.ReloadSettings";

// The program's one window, window class "Brevalt", with its controls, menu
// and tick timer. Each handler forwards to the Core; the
// Shell methods are what the Core asks of the window and the icon.
class MainWindow final : public Shell {
public:
    MainWindow(Platform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer,
               std::string settings_path = k_settings_file_name);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Registers the window classes and creates the window with its menu and
    // controls, not shown. False when the system refuses.
    bool create(HINSTANCE instance);

    // Dispatches messages until the program ends, and tells the core when
    // the sensor it watches ends.
    int run();

    // `at_logon`: started by the all-users start at logon.
    std::optional<StartupError> start_up(bool at_logon = false);
    void on_tick();
    void start_sensor();
    void stop_sensor();
    void rotate_now();
    void exit_program();
    void on_icon_callback(LPARAM mouse_message);

    void show_rotation_time(std::string_view text) override;
    void show_clock(std::string_view text) override;
    void start_tick_timer(unsigned interval_ms) override;
    void hide_icon_picture() override;
    void prepare_icon() override;
    void hide_window() override;
    bool register_icon() override;
    void show_window() override;
    void notify(std::string_view text) override;
    [[noreturn]] void end_program() override;
    std::string text_form(TextId id) override;
    void show_sensor_state(bool runs, std::string_view tooltip) override;
    void watch_sensor_end(std::optional<std::intptr_t> handle) override;

    // The controls in tab order, which is also their creation order.
    enum Control : int {
        start_button,
        clock_label,
        stop_button,
        rotate_button,
        icon_picture,
        time_group,
        time_caption_label,
        time_box,
        time_format_label,
        k_control_count
    };

    [[nodiscard]] HWND window() const { return hwnd_; }
    [[nodiscard]] HWND control(Control which) const { return controls_[which]; }
    [[nodiscard]] const NOTIFYICONDATAA& tray_data() const { return tray_data_; }

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK icon_picture_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_command(WPARAM wparam, LPARAM lparam);
    bool create_controls();
    void apply_dpi(unsigned dpi, const RECT* suggested);
    void on_taskbar_created();

    Core core_;
    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    std::array<HWND, k_control_count> controls_{};
    HICON icon_ = nullptr;
    HICON none_icon_ = nullptr;   // while no sensor runs
    HICON state_icon_ = nullptr;  // the one of the two the sensor's state calls for
    std::wstring state_tip_;
    HFONT font_ = nullptr;
    HWND last_focus_ = nullptr;
    UINT taskbar_created_message_ = 0;
    UINT reload_message_ = 0;
    NOTIFYICONDATAA tray_data_{};
    bool tray_prepared_ = false;
    bool icon_placed_ = false;
    // Signalled when the watched sensor ends; run() waits on it.
    HANDLE sensor_end_ = nullptr;
};

}  // namespace brevalt::win32
