#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/core.h"
#include "app/shell.h"

namespace brevalt::win32 {

// The program's one window, window class "Brevalt", with the controls, menu
// and timer of the classic form. Each handler forwards to the Core; the
// Shell methods are what the Core asks of the window and the icon.
class Brevalt final : public Shell {
public:
    Brevalt(Platform& platform, Sensor& sensor, std::string settings_path = k_settings_file_name);
    ~Brevalt() override;
    Brevalt(const Brevalt&) = delete;
    Brevalt& operator=(const Brevalt&) = delete;

    // Registers the window classes and creates the window with its menu and
    // controls, not shown. False when the system refuses.
    bool create(HINSTANCE instance);

    // Dispatches messages until the program ends.
    int run();

    std::optional<SettingsError> Form_Load();
    void Timer1_Timer();
    void start_snort_Click();
    void Command1_Click();
    void rotate_Click();
    void fend_Click();
    void Picture1_MouseMove(LPARAM mouse_message);

    void set_time_text(std::string_view text) override;
    void set_clock_caption(std::string_view text) override;
    void start_timer(unsigned interval_ms) override;
    void hide_picture() override;
    void prepare_icon() override;
    void hide_window() override;
    bool register_icon() override;
    void show_window() override;
    [[noreturn]] void end_program() override;

    // The controls in tab order, which is also their creation order.
    enum Control : int { start_snort, Label1, Command1, rotate, Picture1, Frame1, Label2, Text1, Label3, k_control_count };

    [[nodiscard]] HWND window() const { return hwnd_; }
    [[nodiscard]] HWND control(Control which) const { return controls_[which]; }
    [[nodiscard]] const NOTIFYICONDATAA& tray_data() const { return tray_data_; }

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK picture_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
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
    HFONT font_ = nullptr;
    HWND last_focus_ = nullptr;
    UINT taskbar_created_message_ = 0;
    NOTIFYICONDATAA tray_data_{};
    bool tray_prepared_ = false;
};

}  // namespace brevalt::win32
