#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "brevalt_window.h"
#include "fakes.h"
#include "temp_dir.h"

using brevalt::test::EventLog;
using brevalt::test::FakeClock;
using brevalt::test::FakePlatform;
using brevalt::test::FakeSensor;
using brevalt::test::TempDir;

namespace {

// One window on fakes, with "brevalt.ini" holding 03:30 unless told not to
// write it.
struct Rig {
    explicit Rig(bool with_settings = true) {
        if (with_settings) brevalt::test::write_file(dir / "brevalt.ini", "03:30\r\n");
        window = std::make_unique<Brevalt>(platform, sensor, (dir / "brevalt.ini").string());
    }
    template <typename T>
    T* child(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    [[nodiscard]] int count(const std::string& event) const {
        return static_cast<int>(std::count(log.begin(), log.end(), event));
    }

    TempDir dir;
    EventLog log;
    FakeClock clock{FakeClock::at(2026, 12, 6, 9, 5, 0)};
    FakePlatform platform{clock, log};
    FakeSensor sensor{log};
    std::unique_ptr<Brevalt> window;
};

// Key events carrying their text, as a keyboard sends them; QTest's
// keyClicks cannot be trusted with text beyond ASCII.
void type_text(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

// Runs the application's event loop until something ends it; a loop that
// nothing ends comes back with 99 after a generous bound.
int run_event_loop() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    return QApplication::exec();
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void window_menu_and_icon();
    void hidden_window_shows_core_texts_once_shown();
    void tab_order_starts_at_start_button();
    void form_load_fills_window_and_starts_sensor();
    void buttons_reach_their_operations();
    void typed_time_moves_nothing();
    void only_left_press_on_icon_shows_window();
    void fend_and_closing_end_event_loop_with_status_0();
    void missing_settings_starts_nothing();
};

void WindowTest::controls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("in_frame");
    QTest::addColumn<QRect>("geometry");
    // Twips / 15, as the window was first drawn.
    QTest::newRow("Frame1") << "QGroupBox" << "Frame1" << false << QRect(16, 128, 281, 89);
    QTest::newRow("Text1") << "QLineEdit" << "" << true << QRect(128, 32, 65, 25);
    QTest::newRow("Label3") << "QLabel" << "hh:mm" << true << QRect(208, 40, 65, 25);
    QTest::newRow("Label2") << "QLabel" << "切り替え時刻" << true << QRect(24, 40, 89, 25);
    QTest::newRow("Picture1") << "QLabel" << "" << false << QRect(16, 8, 49, 33);
    QTest::newRow("rotate") << "QPushButton" << "再起動" << false << QRect(120, 64, 81, 41);
    QTest::newRow("Command1") << "QPushButton" << "停止" << false << QRect(208, 64, 97, 41);
    QTest::newRow("start_snort") << "QPushButton" << "Snort実行" << false << QRect(16, 64, 97, 41);
    QTest::newRow("Label1") << "QLabel" << "" << false << QRect(80, 16, 161, 25);
}

void WindowTest::controls() {
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(bool, in_frame);
    QFETCH(QRect, geometry);
    Rig rig;
    rig.window->ensure_controls();
    auto* widget = rig.child<QWidget>(QTest::currentDataTag());
    QVERIFY(widget != nullptr);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->parentWidget() == rig.child<QWidget>("Frame1"), in_frame);
    QCOMPARE(widget->parentWidget() == rig.window->centralWidget(), !in_frame);

    QString shown;
    if (auto* button = qobject_cast<QPushButton*>(widget)) shown = button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) shown = label->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) shown = frame->title();
    if (auto* box = qobject_cast<QLineEdit*>(widget)) shown = box->text();
    QCOMPARE(shown, caption);
}

void WindowTest::window_menu_and_icon() {
    Rig rig;
    Brevalt& window = *rig.window;
    QCOMPARE(window.objectName(), QStringLiteral("Brevalt"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Brevalt"));

    // The client area keeps its size below the menu bar.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int menu_height = window.menuBar()->height();
    QVERIFY(menu_height > 0);
    QCOMPARE(window.centralWidget()->geometry(), QRect(0, menu_height, 312, 223));
    QCOMPARE(window.size(), QSize(312, menu_height + 223));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    const QList<QAction*> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus[0]->text(), QStringLiteral("ファイル"));
    QCOMPARE(menus[0]->menu()->objectName(), QStringLiteral("f"));
    const QList<QAction*> items = menus[0]->menu()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0]->text(), QStringLiteral("終了"));
    QCOMPARE(items[0]->objectName(), QStringLiteral("fend"));

    // One 32 x 32 image for the window, the picture box and the icon.
    QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    const QImage image = window.windowIcon().pixmap(32, 32).toImage();
    QCOMPARE(rig.child<QLabel>("Picture1")->pixmap().toImage().convertToFormat(image.format()), image);
}

void WindowTest::hidden_window_shows_core_texts_once_shown() {
    Rig rig;
    rig.window->set_time_text("04:00");
    rig.window->set_clock_caption("2026/12/06 9:05:00");
    rig.window->hide_picture();
    rig.window->set_clock_caption("2026/12/06 9:05:30");
    QVERIFY(rig.child<QLineEdit>("Text1") == nullptr);  // nothing built while hidden

    rig.window->show();
    QCOMPARE(rig.child<QLineEdit>("Text1")->text(), QStringLiteral("04:00"));
    QCOMPARE(rig.child<QLabel>("Label1")->text(), QStringLiteral("2026/12/06 9:05:30"));
    QVERIFY(rig.child<QLabel>("Picture1")->isHidden());
    QCOMPARE(rig.window->focusWidget(), rig.child<QWidget>("start_snort"));

    // Once built, the controls follow the core directly.
    rig.window->set_clock_caption("2026/12/06 9:06:00");
    QCOMPARE(rig.child<QLabel>("Label1")->text(), QStringLiteral("2026/12/06 9:06:00"));
}

void WindowTest::tab_order_starts_at_start_button() {
    Rig rig;
    rig.window->show();
    rig.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));

    const char* chain[] = {"start_snort", "Command1", "rotate", "Text1", "start_snort"};
    QCOMPARE(QApplication::focusWidget(), rig.child<QWidget>(chain[0]));
    for (std::size_t i = 1; i < std::size(chain); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(chain[i]));
    }
}

void WindowTest::form_load_fills_window_and_starts_sensor() {
    Rig rig;
    QVERIFY(!rig.window->Form_Load().has_value());

    QCOMPARE(rig.child<QLineEdit>("Text1")->text(), QStringLiteral("03:30"));
    QCOMPARE(rig.child<QLabel>("Label1")->text(), QStringLiteral("2026/12/06 9:05:00"));
    auto* timer = rig.child<QTimer>("Timer1");
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 30000);
    QVERIFY(rig.child<QLabel>("Picture1")->isHidden());
    QCOMPARE(rig.sensor.starts, 1);

    QSystemTrayIcon* icon = rig.window->tray_icon();
    QCOMPARE(icon->toolTip(), QStringLiteral("Brevalt"));
    QVERIFY(!icon->icon().isNull());
    // Without a notification area the window must stay in reach.
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    QCOMPARE(icon->isVisible(), tray);
    QCOMPARE(rig.window->isVisible(), !tray);

    // Each tick of Timer1 refreshes the clock.
    rig.clock.advance(30);
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QCOMPARE(rig.child<QLabel>("Label1")->text(), QStringLiteral("2026/12/06 9:05:30"));
}

void WindowTest::buttons_reach_their_operations() {
    Rig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));

    QTest::mouseClick(rig.child<QPushButton>("start_snort"), Qt::LeftButton);
    QTest::mouseClick(rig.child<QPushButton>("start_snort"), Qt::LeftButton);
    QCOMPARE(rig.sensor.starts, 2);
    QTest::mouseClick(rig.child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(rig.sensor.stops, 1);
    QCOMPARE(rig.sensor.starts, 2);

    rig.log.clear();
    QTest::mouseClick(rig.child<QPushButton>("rotate"), Qt::LeftButton);
    const EventLog rotation = {"sensor stop",
                               "sleep 8000",
                               "sensor ensure_stopped_gone",
                               "program_dir",
                               "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/alert.ids.20261206",
                               "program_dir",
                               "rename /opt/brevalt/log/scan.log -> /opt/brevalt/log/scan.log.20261206",
                               "sensor start"};
    for (const std::string& event : rotation) QCOMPARE(rig.count(event), 1);
    QCOMPARE(rig.log.front(), std::string("sensor stop"));
    QCOMPARE(rig.log.back(), std::string("sensor start"));
}

void WindowTest::typed_time_moves_nothing() {
    Rig rig;
    QVERIFY(!rig.window->Form_Load().has_value());
    rig.window->show();
    auto* box = rig.child<QLineEdit>("Text1");
    box->selectAll();
    type_text(box, QStringLiteral("12:34"));
    QCOMPARE(box->text(), QStringLiteral("12:34"));
    type_text(box, QStringLiteral("時"));
    QCOMPARE(box->text(), QStringLiteral("12:34時"));

    rig.clock.set(FakeClock::at(2026, 12, 6, 12, 34, 10));
    rig.window->Timer1_Timer();
    QCOMPARE(rig.sensor.stops, 0);

    rig.clock.set(FakeClock::at(2026, 12, 6, 3, 30, 10));
    rig.window->Timer1_Timer();
    QCOMPARE(rig.sensor.stops, 1);
    QCOMPARE(rig.count("sleep 8000"), 1);
}

void WindowTest::only_left_press_on_icon_shows_window() {
    Rig rig;
    QSystemTrayIcon* icon = rig.window->tray_icon();
    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick,
                        QSystemTrayIcon::Unknown}) {
        emit icon->activated(reason);
        QVERIFY2(!rig.window->isVisible(), qPrintable(QString::number(reason)));
    }
    emit icon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(rig.window->isVisible());
    emit icon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(rig.window->isVisible());
}

void WindowTest::fend_and_closing_end_event_loop_with_status_0() {
    {
        Rig rig;
        rig.window->ensure_controls();
        auto* fend = rig.child<QAction>("fend");
        QVERIFY(fend != nullptr);
        QTimer::singleShot(0, fend, &QAction::trigger);
        QCOMPARE(run_event_loop(), 0);
        QCOMPARE(rig.sensor.stops, 0);
    }
    {
        Rig rig;
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QTimer::singleShot(0, rig.window.get(), &QWidget::close);
        QCOMPARE(run_event_loop(), 0);
        QCOMPARE(rig.sensor.stops, 0);
    }
}

void WindowTest::missing_settings_starts_nothing() {
    Rig rig(false);
    const auto error = rig.window->Form_Load();
    QVERIFY(error.has_value());
    QVERIFY(error->message.find("brevalt.ini") != std::string::npos);
    QCOMPARE(rig.sensor.starts, 0);
    QVERIFY(!rig.window->tray_icon()->isVisible());
    QVERIFY(rig.window->tray_icon()->toolTip().isEmpty());
    QVERIFY(!rig.window->isVisible());
    QVERIFY(!rig.child<QTimer>("Timer1")->isActive());
    rig.window->ensure_controls();
    QVERIFY(rig.child<QLineEdit>("Text1")->text().isEmpty());
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
