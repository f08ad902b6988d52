#include "main_window.h"

#include "control/posix/socket_places.h"
#include "shell/posix/signal_sender.h"
#include "shell/service/service.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "status_notifier_item.h"

namespace {

// The window is laid out in twips, 15 to the pixel, as it was first drawn.
constexpr int k_twips_per_pixel = 15;

QRect twips(int left, int top, int width, int height) {
    return {left / k_twips_per_pixel, top / k_twips_per_pixel, width / k_twips_per_pixel,
            height / k_twips_per_pixel};
}

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

template <typename Widget>
Widget* place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

}  // namespace

MainWindow::MainWindow(brevalt::Platform& platform, brevalt::Sensor& sensor, brevalt::LogKeeper& keeper,
                       brevalt::MetricsWriter& metrics_writer, std::string settings_path, QWidget* parent)
    : QMainWindow(parent) {
    auto core = std::make_unique<brevalt::Core>(*this, platform, sensor, keeper, metrics_writer, std::move(settings_path));
    core_ = core.get();
    conductor_ = std::move(core);
    desk_ = std::make_unique<brevalt::CoreDesk>(*core_, "session", platform.user_name());
    build();
}

MainWindow::~MainWindow() {
    // The subscribers hear of nothing more once the server is gone.
    if (desk_) desk_->follow_with(nullptr);
}

void MainWindow::serve_own_channel() {
    const std::string path = brevalt::session_socket();
    if (!desk_ || path.empty()) return;
    brevalt::ControlAccess access;
    access.owner_uid = static_cast<long>(::getuid());
    access.refusal = "only the user who runs this Brevalt may ask it about the sensor or act on it";
    brevalt::SysResult result;
    channel_server_ = brevalt::ControlServer::listen(path, 0600, access, *desk_, result);
    if (!channel_server_) {
        // The sensor is served all the same; only this user's clients miss it.
        core_->tell_channel_failure(path, result);
        return;
    }
    desk_->follow_with(channel_server_.get());
    auto* requests = new QSocketNotifier(channel_server_->descriptor(), QSocketNotifier::Read, this);
    connect(requests, &QSocketNotifier::activated, this, [this] { channel_server_->serve(); });
}

MainWindow::MainWindow(brevalt::Platform& platform, brevalt::ControlLink& service, std::string settings_path,
                       QWidget* parent)
    : QMainWindow(parent),
      conductor_(std::make_unique<brevalt::ServiceView>(*this, platform, service, std::move(settings_path))) {
    build();
}

void MainWindow::build() {
    setObjectName(QStringLiteral("Brevalt"));
    setWindowTitle(QStringLiteral("Brevalt"));
    setWindowIcon(QIcon(QStringLiteral(":/brevalt.png")));
    for (const int size : {16, 22, 32, 48}) none_icon_.addFile(QStringLiteral(":/brevalt-none-%1.png").arg(size));

    tick_timer = new QTimer(this);
    tick_timer->setObjectName(QStringLiteral("tick_timer"));
    connect(tick_timer, &QTimer::timeout, this, &MainWindow::on_tick);

    notification_area_ = new NotificationArea(this);
    connect(notification_area_, &NotificationArea::appeared, this, &MainWindow::on_notification_area_appeared);

    session_end_ = new SessionEnd(this);
    connect(session_end_, &SessionEnd::signalled, this, &MainWindow::on_signal);
}

void MainWindow::setVisible(bool visible) {
    if (visible) ensure_controls();
    QMainWindow::setVisible(visible);
}

void MainWindow::ensure_controls() {
    if (start_button != nullptr) return;
    auto* file_menu = menuBar()->addMenu(QStringLiteral("ファイル"));
    file_menu->setObjectName(QStringLiteral("file_menu"));
    exit_action = file_menu->addAction(QStringLiteral("終了"));
    exit_action->setObjectName(QStringLiteral("exit_action"));
    connect(exit_action, &QAction::triggered, this, &MainWindow::exit_program);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(0, 0, 4680, 3345).size());
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // Creation order as first drawn; the tab order is set below.
    time_group = place(new QGroupBox(QStringLiteral("Frame1"), client), "time_group", twips(240, 1920, 4215, 1335));
    time_box = place(new QLineEdit(time_group), "time_box", twips(1920, 480, 975, 375));
    time_format_label = place(new QLabel(QStringLiteral("hh:mm"), time_group), "time_format_label",
                              twips(3120, 600, 975, 375));
    time_caption_label = place(new QLabel(QStringLiteral("切り替え時刻"), time_group), "time_caption_label",
                               twips(360, 600, 1335, 375));
    icon_picture = place(new QLabel(client), "icon_picture", twips(240, 120, 735, 495));
    icon_picture->setPixmap(windowIcon().pixmap(32, 32));
    icon_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    rotate_button = place(new QPushButton(QStringLiteral("再起動"), client), "rotate_button", twips(1800, 960, 1215, 615));
    stop_button = place(new QPushButton(QStringLiteral("停止"), client), "stop_button", twips(3120, 960, 1455, 615));
    start_button = place(new QPushButton(QStringLiteral("Snort実行"), client), "start_button", twips(240, 960, 1455, 615));
    clock_label = place(new QLabel(client), "clock_label", twips(1200, 240, 2415, 375));
    time_box->setText(rotation_time_);
    // The time is set in the settings file; a box that took typing and
    // ignored it would let an operator believe the rotation moved.
    time_box->setReadOnly(true);
    time_box->setToolTip(time_box_tip_);
    clock_label->setText(clock_);
    icon_picture->setVisible(!icon_picture_hidden_);

    setTabOrder(start_button, stop_button);
    setTabOrder(stop_button, rotate_button);
    setTabOrder(rotate_button, time_box);
    start_button->setFocus();

    connect(start_button, &QPushButton::clicked, this, &MainWindow::start_sensor);
    connect(stop_button, &QPushButton::clicked, this, &MainWindow::stop_sensor);
    connect(rotate_button, &QPushButton::clicked, this, &MainWindow::rotate_now);
}

std::optional<brevalt::StartupError> MainWindow::start_up() { return conductor_->start_up(); }

void MainWindow::on_tick() {
    if (core_ != nullptr && brevalt::machine_service_present()) {
        hand_over_to_service();
        return;
    }
    // The service turned off: this session's Brevalt owns the sensor again.
    if (core_ == nullptr && brevalt::machine_service_turned_off()) {
        start_again();
        return;
    }
    conductor_->on_tick();
    if (channel_server_) channel_server_->on_tick();
}

void MainWindow::hand_over_to_service() {
    core_->hand_over_to_service();
    desk_->follow_with(nullptr);
    channel_server_.reset();
    // The same program again, which finds the service and shows it: the
    // operator's icon stays, now the service's view.
    start_again();
}

void MainWindow::start_again() {
    const QStringList arguments = QCoreApplication::arguments();
    std::vector<std::string> words;
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    // Not started again: this Brevalt ends, and the next logon starts one.
    QCoreApplication::exit(0);
}

void MainWindow::start_sensor() { conductor_->start_sensor(std::nullopt); }

void MainWindow::stop_sensor() { conductor_->stop_sensor(std::nullopt); }

void MainWindow::rotate_now() { conductor_->rotate_now(std::nullopt); }

void MainWindow::exit_program() { conductor_->exit_program(); }

// Only the press of the left button comes as Trigger under every tray host;
// the other reasons differ between hosts, so all of them are ignored.
void MainWindow::on_icon_activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) conductor_->on_icon_clicked();
}

void MainWindow::on_notification_area_appeared() { conductor_->on_notification_area_appeared(); }

void MainWindow::end_session() { conductor_->end_session(std::nullopt); }

// SIGHUP reads the settings again, as daemons do; the others end the
// session's Brevalt and its sensor. Who sent it goes on record.
void MainWindow::on_signal(int signal_number, qint64 sender_pid, quint32 sender_uid) {
    const brevalt::SignalSender sender =
        brevalt::signal_sender(signal_number, static_cast<long>(sender_pid), sender_uid);
    if (signal_number == SIGHUP) {
        conductor_->reload_settings(sender);
    } else {
        conductor_->end_session(sender);
    }
}

void MainWindow::explain_rotation_time(std::string_view where) {
    time_box_tip_ = text(where);
    if (time_box != nullptr) time_box->setToolTip(time_box_tip_);
}

void MainWindow::on_process_end() { conductor_->on_process_end(std::nullopt); }

// The operator's close comes from the window system. Qt closes every open
// window itself when the application is asked to quit, as a session manager
// that speaks XSMP asks at logout: that is the session ending, and the sensor
// must end with it, open window or not.
void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (event->spontaneous() && !qApp->isSavingSession()) {
        exit_program();
    } else {
        end_session();
    }
}

void MainWindow::show_rotation_time(std::string_view value) {
    rotation_time_ = text(value);
    if (time_box != nullptr) time_box->setText(rotation_time_);
}

void MainWindow::show_clock(std::string_view value) {
    clock_ = text(value);
    if (clock_label != nullptr) clock_label->setText(clock_);
}

void MainWindow::start_tick_timer(unsigned interval_ms) { tick_timer->start(static_cast<int>(interval_ms)); }

void MainWindow::hide_icon_picture() {
    icon_picture_hidden_ = true;
    if (icon_picture != nullptr) icon_picture->hide();
}

// The icon is made, with its image and tooltip, only when there is an area
// to take it: see register_icon.
void MainWindow::prepare_icon() {}

void MainWindow::hide_window() { hide(); }

bool MainWindow::register_icon() {
    // A StatusNotifier item registers itself again with a watcher that
    // restarted; its host then draws it anew.
    if (status_item_ != nullptr) return status_item_->register_item();
    if (tray_icon_ == nullptr && notification_area_->status_notifier_host()) {
        status_item_ = new StatusNotifierItem(windowIcon(), none_icon_, this);
        status_item_->setObjectName(QStringLiteral("status_notifier_item"));
        status_item_->show_state(sensor_runs_, tooltip_);
        connect(status_item_, &StatusNotifierItem::activated, this, [this] { conductor_->on_icon_clicked(); });
        return status_item_->register_item();
    }
    if (tray_icon_ == nullptr) {
        // Qt settles on a kind of notification area here, for good.
        if (!notification_area_->exists()) return false;
        tray_icon_ = new QSystemTrayIcon(sensor_runs_ ? windowIcon() : none_icon_, this);
        tray_icon_->setObjectName(QStringLiteral("tray_icon"));
        tray_icon_->setToolTip(tooltip_);
        connect(tray_icon_, &QSystemTrayIcon::activated, this, &MainWindow::on_icon_activated);
    }
    // An XEmbed icon shown with no tray docks by itself once one comes up; a
    // StatusNotifier icon registers itself again when its host restarts.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    tray_icon_->show();
    return true;
}

void MainWindow::notify(std::string_view text) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (status_item_ != nullptr) {
        // The desktop's notification service, as Qt's own StatusNotifier
        // icon would ask it; no answer is awaited.
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        call << QStringLiteral("Brevalt") << 0U << QStringLiteral("dialog-warning") << QStringLiteral("Brevalt")
             << message << QStringList() << QVariantMap() << -1;
        QDBusConnection::sessionBus().send(call);
        return;
    }
    if (tray_icon_ == nullptr || !tray_icon_->isVisible()) return;
    tray_icon_->showMessage(QStringLiteral("Brevalt"), message, QSystemTrayIcon::Warning);
}

// The texts are looked up by their identity; where the session's language
// has no translation, the lookup gives the identity back and the English
// form shows.
std::string MainWindow::text_form(brevalt::TextId id) {
    const std::string key(brevalt::text_key(id));
    const QString form = qtTrId(key.c_str());
    return form == QLatin1String(key.c_str()) ? std::string() : form.toStdString();
}

void MainWindow::show_sensor_state(bool runs, std::string_view tooltip) {
    const bool icon_changes = runs != sensor_runs_;
    sensor_runs_ = runs;
    tooltip_ = text(tooltip);
    if (status_item_ != nullptr) status_item_->show_state(runs, tooltip_);
    if (tray_icon_ != nullptr) {
        if (icon_changes) tray_icon_->setIcon(runs ? windowIcon() : none_icon_);
        tray_icon_->setToolTip(tooltip_);
    }
}

// The descriptor polls readable from the sensor's end until the core has
// collected it, so the notifier is told once and then left off.
void MainWindow::watch_sensor_end(std::optional<std::intptr_t> handle) {
    const bool same = sensor_end_ != nullptr && handle && sensor_end_->socket() == static_cast<qintptr>(*handle);
    if (same) {
        sensor_end_->setEnabled(true);
        return;
    }
    drop_notifier(sensor_end_);
    if (!handle) return;
    sensor_end_ = new QSocketNotifier(static_cast<qintptr>(*handle), QSocketNotifier::Read, this);
    connect(sensor_end_, &QSocketNotifier::activated, this, [this] {
        sensor_end_->setEnabled(false);
        conductor_->on_sensor_end_seen();
    });
}

// It may be the notifier whose signal is being delivered right now: it is
// deleted once that delivery is over.
void MainWindow::drop_notifier(QSocketNotifier*& notifier) {
    if (notifier == nullptr) return;
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}

void MainWindow::watch_channel(std::optional<std::intptr_t> handle) {
    drop_notifier(channel_);
    if (!handle) return;
    channel_ = new QSocketNotifier(static_cast<qintptr>(*handle), QSocketNotifier::Read, this);
    connect(channel_, &QSocketNotifier::activated, this, [this] { conductor_->on_channel_ready(); });
}

void MainWindow::show_window() {
    show();
    raise();
    activateWindow();
}

// Returns from the event loop with status 0. Nothing is stopped on the way
// out: the sensor runs on and the sensor backend forgets it without a signal.
void MainWindow::end_program() { QCoreApplication::exit(0); }

namespace {

// The window whose event loop runs, for the one way out that passes no
// handler of ours: Qt ends the process with exit() when the display server
// goes away (a display manager ending the session), from inside the loop.
MainWindow* running_window = nullptr;

void on_exit() {
    if (running_window != nullptr) running_window->on_process_end();
}

}  // namespace

namespace {

// The window's start-up, the report of a start-up error (standard error and
// a message box), then the event loop. Returns the process status.
int run_window(MainWindow& window) {
    if (auto error = window.start_up()) {
        if (error->quiet) return 0;
        // The core has written it to the system log and standard error
        // already: the message box waits for the operator.
        QMessageBox::critical(nullptr, QStringLiteral("Brevalt"), QString::fromStdString(error->shown));
        return brevalt::k_startup_error_status;
    }
    window.serve_own_channel();
    static const bool exit_hook = std::atexit(on_exit) == 0;
    (void)exit_hook;
    running_window = &window;
    const int status = QApplication::exec();
    // A session manager's request to quit ends the loop without a handler
    // of ours; "終了" and closing the window have marked their exit already.
    window.on_process_end();
    running_window = nullptr;
    return status;
}

}  // namespace

int run_program(brevalt::Platform& platform, brevalt::Sensor& sensor, brevalt::LogKeeper& keeper,
                brevalt::MetricsWriter& metrics_writer, std::string settings_path) {
    MainWindow window(platform, sensor, keeper, metrics_writer, std::move(settings_path));
    return run_window(window);
}

int run_view(brevalt::Platform& platform, brevalt::ControlLink& service) {
    MainWindow window(platform, service);
    return run_window(window);
}
