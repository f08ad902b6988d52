#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <optional>
#include <string>

#include "app/core.h"
#include "app/settings.h"
#include "app/shell.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The program's one window on a Linux desktop, with its notification icon.
// Every handler forwards to the Core, which decides; the window only draws
// what the Core tells it and reports the operator's clicks. Controls carry
// their handlers' names as object names.
class Brevalt final : public QMainWindow, public brevalt::Shell {
    Q_OBJECT

public:
    Brevalt(brevalt::Platform& platform, brevalt::Sensor& sensor,
            std::string settings_path = brevalt::k_settings_file_name, QWidget* parent = nullptr);

    // The start-up order; an error is for the caller to report before it
    // ends the program.
    std::optional<brevalt::SettingsError> Form_Load();

    void Timer1_Timer();
    void start_snort_Click();
    void Command1_Click();
    void rotate_Click();
    void fend_Click();
    // The notification icon's callback.
    void Picture1_MouseMove(QSystemTrayIcon::ActivationReason reason);

    [[nodiscard]] const brevalt::Core& core() const { return core_; }
    [[nodiscard]] QSystemTrayIcon* tray_icon() const { return tray_icon_; }

    // Builds the menu and the controls if that has not happened yet. Showing
    // the window does it by itself: a window that stays hidden never lays out
    // text, and so never loads the font database, which would cost a program
    // that lives in the tray a fifth more memory and start-up time.
    void ensure_controls();
    void setVisible(bool visible) override;

    void set_time_text(std::string_view text) override;
    void set_clock_caption(std::string_view text) override;
    void start_timer(unsigned interval_ms) override;
    void hide_picture() override;
    void prepare_icon() override;
    void hide_window() override;
    bool register_icon() override;
    void show_window() override;
    void end_program() override;

private:
    brevalt::Core core_;

    // What the core has put into the controls, kept for controls not yet built.
    QString time_text_;
    QString clock_caption_;
    bool picture_hidden_ = false;

    QGroupBox* Frame1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Picture1 = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* rotate = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* start_snort = nullptr;
    QLabel* Label1 = nullptr;
    QAction* fend = nullptr;
    QSystemTrayIcon* tray_icon_ = nullptr;
};
