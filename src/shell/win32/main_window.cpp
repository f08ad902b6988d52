#include "main_window.h"

#include <string>
#include <utility>

#include "dpi.h"
#include "platform/win32/wide_text.h"
#include "resource.h"
#include "tasktray.h"

namespace brevalt::win32 {

namespace {

constexpr const wchar_t* k_icon_picture_class = L"Brevalt.IconPicture";
constexpr const wchar_t* k_caption = L"Brevalt";

constexpr DWORD k_window_style = WS_OVERLAPPEDWINDOW;
constexpr DWORD k_window_ex_style = 0;

// The client area below the menu bar, in twips.
constexpr int k_client_width = 4680;
constexpr int k_client_height = 3345;

constexpr UINT_PTR k_tick_timer_id = 1;
constexpr int k_first_control_id = 100;
constexpr WORD k_exit_item_id = 200;

struct ControlSpec {
    const wchar_t* window_class;
    const wchar_t* caption;
    DWORD style;
    DWORD ex_style;
    int left, top, width, height;  // twips, in the client area
};

// The frame's controls sit at these offsets plus their places in the frame.
constexpr int k_frame_left = 240;
constexpr int k_frame_top = 1920;

// In tab order; creating them in this order makes it the order of the
// dialog navigation too.
constexpr std::array<ControlSpec, MainWindow::k_control_count> k_controls{{
    {L"BUTTON", L"Snort実行", BS_PUSHBUTTON | WS_TABSTOP, 0, 240, 960, 1455, 615},
    {L"STATIC", L"", SS_LEFT, 0, 1200, 240, 2415, 375},
    {L"BUTTON", L"停止", BS_PUSHBUTTON | WS_TABSTOP, 0, 3120, 960, 1455, 615},
    {L"BUTTON", L"再起動", BS_PUSHBUTTON | WS_TABSTOP, 0, 1800, 960, 1215, 615},
    {k_icon_picture_class, L"", 0, WS_EX_CLIENTEDGE, 240, 120, 735, 495},
    {L"BUTTON", L"Frame1", BS_GROUPBOX, 0, k_frame_left, k_frame_top, 4215, 1335},
    {L"STATIC", L"切り替え時刻", SS_LEFT, 0, k_frame_left + 360, k_frame_top + 600, 1335, 375},
    {L"EDIT", L"", ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, WS_EX_CLIENTEDGE, k_frame_left + 1920, k_frame_top + 480, 975,
     375},
    {L"STATIC", L"hh:mm", SS_LEFT, 0, k_frame_left + 3120, k_frame_top + 600, 975, 375},
}};

int control_id(int control) { return k_first_control_id + control; }

MainWindow* owner_of(HWND window) { return reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA)); }

// Both window procedures find their MainWindow through the pointer given at
// creation and kept in the window's user data.
MainWindow* attach_owner(HWND window, UINT message, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        return owner;
    }
    return owner_of(window);
}

// A second window in the same process (the window tests make several)
// finds its classes already there.
bool register_class(const WNDCLASSEXW& window_class) {
    return ::RegisterClassExW(&window_class) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

MainWindow::MainWindow(Platform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer,
                       std::string settings_path)
    : core_(*this, platform, sensor, keeper, metrics_writer, std::move(settings_path)) {}

MainWindow::~MainWindow() {
    if (hwnd_ != nullptr) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) ::DeleteObject(font_);
}

bool MainWindow::create(HINSTANCE instance) {
    instance_ = instance;
    icon_ = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_BREVALT));
    // At the task bar's own size, so that the mark is drawn, not shrunk.
    none_icon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_BREVALT_NONE), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 LR_SHARED));
    state_icon_ = icon_;

    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = icon_;
    window_class.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_BREVALT), IMAGE_ICON,
                                                           ::GetSystemMetrics(SM_CXSMICON),
                                                           ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    window_class.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = k_window_class;
    if (!register_class(window_class)) return false;

    WNDCLASSEXW picture_class{};
    picture_class.cbSize = sizeof picture_class;
    picture_class.lpfnWndProc = icon_picture_proc;
    picture_class.hInstance = instance;
    picture_class.hCursor = window_class.hCursor;
    picture_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    picture_class.lpszClassName = k_icon_picture_class;
    if (!register_class(picture_class)) return false;

    const HMENU menu_bar = ::CreateMenu();
    const HMENU file_menu = ::CreatePopupMenu();
    ::AppendMenuW(file_menu, MF_STRING, k_exit_item_id, L"終了");
    ::AppendMenuW(menu_bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file_menu), L"ファイル");

    hwnd_ = ::CreateWindowExW(k_window_ex_style, k_window_class, k_caption, k_window_style, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu_bar, instance, this);
    if (hwnd_ == nullptr) {
        ::DestroyMenu(menu_bar);
        return false;
    }
    if (!create_controls()) return false;
    taskbar_created_message_ = tasktray::listen_for_taskbar_created(hwnd_);
    reload_message_ = ::RegisterWindowMessageW(k_reload_message);
    apply_dpi(window_dpi(hwnd_), nullptr);
    return true;
}

bool MainWindow::create_controls() {
    for (int i = 0; i < k_control_count; ++i) {
        const ControlSpec& row = k_controls[static_cast<std::size_t>(i)];
        controls_[static_cast<std::size_t>(i)] = ::CreateWindowExW(
            row.ex_style, row.window_class, row.caption, WS_CHILD | WS_VISIBLE | row.style, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id(i))), instance_, this);
        if (controls_[static_cast<std::size_t>(i)] == nullptr) return false;
    }
    return true;
}

void MainWindow::apply_dpi(unsigned dpi, const RECT* suggested) {
    const HFONT font = create_ui_font(dpi);
    for (int i = 0; i < k_control_count; ++i) {
        const ControlSpec& row = k_controls[static_cast<std::size_t>(i)];
        const HWND control = controls_[static_cast<std::size_t>(i)];
        ::SetWindowPos(control, nullptr, twips_to_px(row.left, dpi), twips_to_px(row.top, dpi),
                       twips_to_px(row.width, dpi), twips_to_px(row.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) ::DeleteObject(font_);
    font_ = font;

    if (suggested != nullptr) {
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        const SIZE size = outer_size(twips_to_px(k_client_width, dpi), twips_to_px(k_client_height, dpi),
                                     k_window_style, k_window_ex_style, dpi);
        ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

int MainWindow::run() {
    for (;;) {
        // The sensor's end is waited for here, on the window's thread, where
        // the core closes the handle: no other thread can be left waiting
        // on a handle that is gone.
        const DWORD handles = sensor_end_ != nullptr ? 1 : 0;
        const DWORD woken =
            ::MsgWaitForMultipleObjectsEx(handles, &sensor_end_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (handles != 0 && (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)) {
            // Once per watch; a handle that cannot be waited on is left to the tick.
            sensor_end_ = nullptr;
            if (woken == WAIT_OBJECT_0) core_.on_sensor_end_seen();
            continue;
        }
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return 0;
            // Tab, Shift+Tab and Space on the buttons, as in a dialog.
            if (::IsDialogMessageW(hwnd_, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

std::optional<StartupError> MainWindow::start_up(bool at_logon) {
    core_.set_started_at_logon(at_logon);
    return core_.start_up();
}

void MainWindow::on_tick() { core_.on_tick(); }

void MainWindow::start_sensor() { core_.start_sensor(); }

void MainWindow::stop_sensor() { core_.stop_sensor(); }

void MainWindow::rotate_now() { core_.rotate_now(); }

void MainWindow::exit_program() { core_.exit_program(); }

void MainWindow::on_icon_callback(LPARAM mouse_message) {
    if (tasktray::is_left_press(mouse_message)) core_.on_icon_clicked();
}

void MainWindow::show_rotation_time(std::string_view text) {
    ::SetWindowTextW(controls_[time_box], to_wide_or_ansi(text).c_str());
}

void MainWindow::show_clock(std::string_view text) {
    ::SetWindowTextW(controls_[clock_label], to_wide_or_ansi(text).c_str());
}

void MainWindow::start_tick_timer(unsigned interval_ms) { ::SetTimer(hwnd_, k_tick_timer_id, interval_ms, nullptr); }

void MainWindow::hide_icon_picture() { ::ShowWindow(controls_[icon_picture], SW_HIDE); }

void MainWindow::prepare_icon() {
    tray_data_ = tasktray::make_tray_data(controls_[icon_picture], state_icon_);
    tray_prepared_ = true;
}

void MainWindow::hide_window() { ::ShowWindow(hwnd_, SW_HIDE); }

// Only the core calls this, after start-up has prepared the record. The
// sensor's state goes with the icon each time it is placed.
bool MainWindow::register_icon() {
    icon_placed_ = tasktray::add_or_update(tray_data_);
    if (icon_placed_ && !state_tip_.empty()) tasktray::show_tip(tray_data_, state_tip_);
    return icon_placed_;
}

void MainWindow::show_sensor_state(bool runs, std::string_view tooltip) {
    state_icon_ = runs ? icon_ : none_icon_;
    tray_data_.hIcon = state_icon_;
    state_tip_ = to_wide_or_ansi(tooltip);
    if (!icon_placed_) return;
    tasktray::show_icon(tray_data_);
    tasktray::show_tip(tray_data_, state_tip_);
}

void MainWindow::watch_sensor_end(std::optional<std::intptr_t> handle) {
    sensor_end_ = handle ? reinterpret_cast<HANDLE>(*handle) : nullptr;
}

// The Japanese forms are the program's only string table; everyone else
// reads the core's English. Looked up in that one language, because the
// resource loader would hand a table in any language to a session that has
// none of its own.
std::string MainWindow::text_form(TextId id) {
    if (PRIMARYLANGID(::GetUserDefaultUILanguage()) != LANG_JAPANESE) return {};
    const auto number = static_cast<UINT>(k_text_id_base + static_cast<int>(id));
    // Strings are kept sixteen to a block, each a length and its characters.
    const HRSRC block = ::FindResourceExW(instance_, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                          MAKEINTRESOURCEW(number / 16 + 1),
                                          MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    const HGLOBAL loaded = block != nullptr ? ::LoadResource(instance_, block) : nullptr;
    const auto* entry = static_cast<const wchar_t*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (entry == nullptr) return {};
    for (UINT skipped = 0; skipped < number % 16; ++skipped) entry += 1 + *entry;
    return to_utf8(std::wstring_view(entry + 1, *entry));
}

void MainWindow::notify(std::string_view text) {
    if (tray_prepared_) tasktray::show_balloon(tray_data_, to_wide_or_ansi(text));
}

void MainWindow::show_window() {
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
}

void MainWindow::end_program() {
    // At once: no clean-up, the sensor keeps running and its handles stay
    // with it.
    ::ExitProcess(0);
}

void MainWindow::on_taskbar_created() {
    // Before start-up there is no icon record to register.
    if (tray_prepared_) core_.on_notification_area_appeared();
}

LRESULT CALLBACK MainWindow::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MainWindow* owner = attach_owner(window, message, lparam);
    if (owner == nullptr || owner->hwnd_ != window) return ::DefWindowProcW(window, message, wparam, lparam);
    return owner->on_message(message, wparam, lparam);
}

LRESULT CALLBACK MainWindow::icon_picture_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MainWindow* owner = attach_owner(window, message, lparam);
    if (owner != nullptr && message == tasktray::k_callback_message) {
        owner->on_icon_callback(lparam);
        return 0;
    }
    if (owner != nullptr && message == WM_PAINT) {
        PAINTSTRUCT paint{};
        const HDC dc = ::BeginPaint(window, &paint);
        ::DrawIconEx(dc, 0, 0, owner->icon_, 0, 0, 0, nullptr, DI_NORMAL);
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT MainWindow::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == taskbar_created_message_ && message != 0) {
        on_taskbar_created();
        return 0;
    }
    // "brevalt --reload", the Windows counterpart of SIGHUP; the sender's
    // process id comes with it.
    if (message == reload_message_ && message != 0) {
        core_.reload_settings(SignalSender{"a reload request", static_cast<long>(wparam), {}});
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        return on_command(wparam, lparam);
    case WM_TIMER:
        if (wparam == k_tick_timer_id) on_tick();
        return 0;
    case WM_CLOSE:
        // Closing the only window ends the program just as the menu does,
        // through the core, which stops the keeping's work first.
        exit_program();
        return 0;
    case WM_DPICHANGED:
        apply_dpi(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            if (focus != nullptr && ::IsChild(hwnd_, focus)) last_focus_ = focus;
        }
        break;
    case WM_SETFOCUS:
        // Back to the control that had the focus, or to the first button.
        ::SetFocus(last_focus_ != nullptr ? last_focus_ : controls_[start_button]);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT MainWindow::on_command(WPARAM wparam, LPARAM lparam) {
    // Clicks on buttons and menu items; notifications from the text box
    // (which nothing reads) fall through.
    if (HIWORD(wparam) != BN_CLICKED) return ::DefWindowProcW(hwnd_, WM_COMMAND, wparam, lparam);
    switch (LOWORD(wparam)) {
    case k_first_control_id + start_button:
        start_sensor();
        return 0;
    case k_first_control_id + stop_button:
        stop_sensor();
        return 0;
    case k_first_control_id + rotate_button:
        rotate_now();
        return 0;
    case k_exit_item_id:
        exit_program();
        return 0;
    default:
        return ::DefWindowProcW(hwnd_, WM_COMMAND, wparam, lparam);
    }
}

}  // namespace brevalt::win32
