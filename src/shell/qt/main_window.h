#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <memory>
#include <optional>
#include <string>

#include "app/control_desk.h"
#include "app/core.h"
#include "control/posix/control_server.h"
#include "app/service_view.h"
#include "app/settings.h"
#include "app/shell.h"
#include "notification_area.h"
#include "session_end.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSocketNotifier;
class StatusNotifierItem;
class QTimer;

// The program's one window on a Linux desktop, with its notification icon.
// Every handler forwards to the Core, which decides; the window only draws
// what the Core tells it and reports the operator's clicks. Each control's
// object name is its member's name.
class MainWindow final : public QMainWindow, public brevalt::Shell {
    Q_OBJECT

public:
    // The Brevalt that owns the sensor of its log folder.
    MainWindow(brevalt::Platform& platform, brevalt::Sensor& sensor, brevalt::LogKeeper& keeper,
               brevalt::MetricsWriter& metrics_writer, std::string settings_path = brevalt::k_settings_file_name, QWidget* parent = nullptr);
    // A view of the machine's service, which owns the sensor.
    MainWindow(brevalt::Platform& platform, brevalt::ControlLink& service,
               std::string settings_path = brevalt::k_settings_file_name, QWidget* parent = nullptr);

    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // An error is for the caller to report before it ends the program.
    std::optional<brevalt::StartupError> start_up();
    // After a start-up: this user's own clients (brevalt status, ...) reach
    // the Brevalt that owns the sensor through its socket in the session's
    // runtime folder. A view serves none: the service's is the channel.
    void serve_own_channel();

    void on_tick();
    void start_sensor();
    void stop_sensor();
    void rotate_now();
    void exit_program();
    void on_icon_activated(QSystemTrayIcon::ActivationReason reason);
    void on_notification_area_appeared();
    void end_session();
    void on_signal(int signal_number, qint64 sender_pid, quint32 sender_uid);
    // The event loop has returned, or the process is ending from within it
    // (Qt ends it when the display server goes away).
    void on_process_end();

    // None until a notification area has taken the icon: an XEmbed tray takes
    // Qt's icon, a StatusNotifier host Brevalt's own item.
    [[nodiscard]] QSystemTrayIcon* tray_icon() const { return tray_icon_; }
    [[nodiscard]] StatusNotifierItem* status_notifier_item() const { return status_item_; }

    // Builds the menu and the controls if that has not happened yet. Showing
    // the window does it by itself: a window that stays hidden never lays out
    // text, and so never loads the font database, which would cost a program
    // that lives in the tray a fifth more memory and start-up time.
    void ensure_controls();
    void setVisible(bool visible) override;

    void show_rotation_time(std::string_view text) override;
    void explain_rotation_time(std::string_view where) override;
    void show_clock(std::string_view text) override;
    void start_tick_timer(unsigned interval_ms) override;
    void hide_icon_picture() override;
    void prepare_icon() override;
    void hide_window() override;
    bool register_icon() override;
    void show_window() override;
    void notify(std::string_view text) override;
    void end_program() override;
    std::string text_form(brevalt::TextId id) override;
    void show_sensor_state(bool runs, std::string_view tooltip) override;
    void watch_sensor_end(std::optional<std::intptr_t> handle) override;
    void watch_channel(std::optional<std::intptr_t> handle) override;

protected:
    // Closing the window ends Brevalt as "終了" does, leaving the sensor.
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    // The machine's service came up: this Brevalt's sensor ends, and the
    // program starts again as the service's view.
    void hand_over_to_service();
    // The program again from its start, in place: the same process, icon
    // and session, deciding anew between owning the sensor and the view.
    void start_again();
    static void drop_notifier(QSocketNotifier*& notifier);

    std::unique_ptr<brevalt::Conductor> conductor_;
    brevalt::Core* core_ = nullptr;  // where this Brevalt owns the sensor
    std::unique_ptr<brevalt::CoreDesk> desk_;
    std::unique_ptr<brevalt::ControlServer> channel_server_;

    // What the core has put into the controls, kept for controls not yet built.
    QString rotation_time_;
    QString time_box_tip_;
    QString clock_;
    bool icon_picture_hidden_ = false;
    // The sensor's state as the core last told it, for an icon made later.
    bool sensor_runs_ = true;
    QString tooltip_ = QStringLiteral("Brevalt");
    QIcon none_icon_;

    QGroupBox* time_group = nullptr;
    QLineEdit* time_box = nullptr;
    QLabel* time_format_label = nullptr;
    QLabel* time_caption_label = nullptr;
    QLabel* icon_picture = nullptr;
    QTimer* tick_timer = nullptr;
    QPushButton* rotate_button = nullptr;
    QPushButton* stop_button = nullptr;
    QPushButton* start_button = nullptr;
    QLabel* clock_label = nullptr;
    QAction* exit_action = nullptr;
    QSystemTrayIcon* tray_icon_ = nullptr;
    StatusNotifierItem* status_item_ = nullptr;
    QSocketNotifier* sensor_end_ = nullptr;
    QSocketNotifier* channel_ = nullptr;
    NotificationArea* notification_area_ = nullptr;
    SessionEnd* session_end_ = nullptr;
};

// The whole program after QApplication exists: the window's start-up, the
// report of a start-up error (standard error and a message box), then the
// event loop. Returns the process status.
int run_program(brevalt::Platform& platform, brevalt::Sensor& sensor, brevalt::LogKeeper& keeper,
                brevalt::MetricsWriter& metrics_writer, std::string settings_path = brevalt::k_settings_file_name);
// The same for a view of the machine's service.
int run_view(brevalt::Platform& platform, brevalt::ControlLink& service);
