#include "brevalt_window.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <utility>

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

Brevalt::Brevalt(brevalt::Platform& platform, brevalt::Sensor& sensor, std::string settings_path, QWidget* parent)
    : QMainWindow(parent), core_(*this, platform, sensor, std::move(settings_path)) {
    setObjectName(QStringLiteral("Brevalt"));
    setWindowTitle(QStringLiteral("Brevalt"));
    setWindowIcon(QIcon(QStringLiteral(":/brevalt.png")));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &Brevalt::Timer1_Timer);

    tray_icon_ = new QSystemTrayIcon(this);
    tray_icon_->setObjectName(QStringLiteral("tray_icon"));
    connect(tray_icon_, &QSystemTrayIcon::activated, this, &Brevalt::Picture1_MouseMove);
}

void Brevalt::setVisible(bool visible) {
    if (visible) ensure_controls();
    QMainWindow::setVisible(visible);
}

void Brevalt::ensure_controls() {
    if (start_snort != nullptr) return;
    auto* f = menuBar()->addMenu(QStringLiteral("ファイル"));
    f->setObjectName(QStringLiteral("f"));
    fend = f->addAction(QStringLiteral("終了"));
    fend->setObjectName(QStringLiteral("fend"));
    connect(fend, &QAction::triggered, this, &Brevalt::fend_Click);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(0, 0, 4680, 3345).size());
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // Creation order as first drawn; the tab order is set below.
    Frame1 = place(new QGroupBox(QStringLiteral("Frame1"), client), "Frame1", twips(240, 1920, 4215, 1335));
    Text1 = place(new QLineEdit(Frame1), "Text1", twips(1920, 480, 975, 375));
    Label3 = place(new QLabel(QStringLiteral("hh:mm"), Frame1), "Label3", twips(3120, 600, 975, 375));
    Label2 = place(new QLabel(QStringLiteral("切り替え時刻"), Frame1), "Label2", twips(360, 600, 1335, 375));
    Picture1 = place(new QLabel(client), "Picture1", twips(240, 120, 735, 495));
    Picture1->setPixmap(windowIcon().pixmap(32, 32));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    rotate = place(new QPushButton(QStringLiteral("再起動"), client), "rotate", twips(1800, 960, 1215, 615));
    Command1 = place(new QPushButton(QStringLiteral("停止"), client), "Command1", twips(3120, 960, 1455, 615));
    start_snort = place(new QPushButton(QStringLiteral("Snort実行"), client), "start_snort", twips(240, 960, 1455, 615));
    Label1 = place(new QLabel(client), "Label1", twips(1200, 240, 2415, 375));
    Text1->setText(time_text_);
    Label1->setText(clock_caption_);
    Picture1->setVisible(!picture_hidden_);

    setTabOrder(start_snort, Command1);
    setTabOrder(Command1, rotate);
    setTabOrder(rotate, Text1);
    start_snort->setFocus();

    connect(start_snort, &QPushButton::clicked, this, &Brevalt::start_snort_Click);
    connect(Command1, &QPushButton::clicked, this, &Brevalt::Command1_Click);
    connect(rotate, &QPushButton::clicked, this, &Brevalt::rotate_Click);
}

std::optional<brevalt::SettingsError> Brevalt::Form_Load() { return core_.Form_Load(); }

void Brevalt::Timer1_Timer() { core_.Timer1_Timer(); }

void Brevalt::start_snort_Click() { core_.start_snort_Click(); }

void Brevalt::Command1_Click() { core_.Command1_Click(); }

void Brevalt::rotate_Click() { core_.rotate_Click(); }

void Brevalt::fend_Click() { core_.fend_Click(); }

// Only the press of the left button comes as Trigger under every tray host;
// the other reasons differ between hosts, so all of them are ignored.
void Brevalt::Picture1_MouseMove(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) core_.icon_left_press();
}

void Brevalt::set_time_text(std::string_view value) {
    time_text_ = text(value);
    if (Text1 != nullptr) Text1->setText(time_text_);
}

void Brevalt::set_clock_caption(std::string_view value) {
    clock_caption_ = text(value);
    if (Label1 != nullptr) Label1->setText(clock_caption_);
}

void Brevalt::start_timer(unsigned interval_ms) { Timer1->start(static_cast<int>(interval_ms)); }

void Brevalt::hide_picture() {
    picture_hidden_ = true;
    if (Picture1 != nullptr) Picture1->hide();
}

void Brevalt::prepare_icon() {
    tray_icon_->setIcon(windowIcon());
    tray_icon_->setToolTip(QStringLiteral("Brevalt"));
}

void Brevalt::hide_window() { hide(); }

bool Brevalt::register_icon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    tray_icon_->show();
    return true;
}

void Brevalt::show_window() {
    show();
    raise();
    activateWindow();
}

// Returns from the event loop with status 0. Nothing is stopped on the way
// out: the sensor runs on and the sensor backend forgets it without a signal.
void Brevalt::end_program() { QCoreApplication::exit(0); }
