#include <QtTest>
#include <QtWidgets>
#include <algorithm>

#include "brevalt_window.h"
#include "fakes.h"

using namespace brevalt::test;

namespace {

// One window on fakes, reading "brevalt.ini" from a fresh folder.
struct Rig {
    template <typename T = QWidget>
    T* child(const char* name) const { return window.findChild<T*>(QString::fromLatin1(name)); }

    TempDir dir;
    EventLog log;
    FakeClock clock{FakeClock::at(2026, 12, 6, 9, 5, 0)};
    FakePlatform platform{clock, log};
    FakeSensor sensor{log};
    Brevalt window{platform, sensor, (dir / "brevalt.ini").string()};
};

struct Control { const char* name; const char* kind; const char* caption; bool in_frame; QRect geometry; };

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void only_trigger_shows_the_window_as_first_drawn() {
        Rig rig;
        Brevalt& window = rig.window;
        for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick,
                            QSystemTrayIcon::Unknown}) {
            emit window.tray_icon()->activated(reason);
            QVERIFY2(!window.isVisible(), qPrintable(QString::number(reason)));
        }
        emit window.tray_icon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.objectName(), QStringLiteral("Brevalt"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Brevalt"));
        // The client area keeps its size below the menu bar; the e2e tests find the window by it.
        QCOMPARE(window.centralWidget()->geometry(), QRect(0, window.menuBar()->height(), 312, 223));
        QCOMPARE(window.minimumSize(), window.maximumSize());

        const Control controls[] = {  // geometry in twips / 15
            {"Frame1", "QGroupBox", "Frame1", false, {16, 128, 281, 89}},
            {"Text1", "QLineEdit", "", true, {128, 32, 65, 25}},
            {"Label3", "QLabel", "hh:mm", true, {208, 40, 65, 25}},
            {"Label2", "QLabel", "切り替え時刻", true, {24, 40, 89, 25}},
            {"Picture1", "QLabel", "", false, {16, 8, 49, 33}},
            {"rotate", "QPushButton", "再起動", false, {120, 64, 81, 41}},
            {"Command1", "QPushButton", "停止", false, {208, 64, 97, 41}},
            {"start_snort", "QPushButton", "Snort実行", false, {16, 64, 97, 41}},
            {"Label1", "QLabel", "", false, {80, 16, 161, 25}},
        };
        for (const Control& c : controls) {
            QWidget* widget = rig.child(c.name);
            QVERIFY2(widget != nullptr, c.name);
            QCOMPARE(widget->metaObject()->className(), c.kind);
            QCOMPARE(widget->geometry(), c.geometry);
            QCOMPARE(widget->parentWidget(), c.in_frame ? rig.child("Frame1") : window.centralWidget());
            const char* caption = widget->inherits("QGroupBox") ? "title" : "text";
            QCOMPARE(widget->property(caption).toString(), QString::fromUtf8(c.caption));
        }

        auto* f = rig.child<QMenu>("f");
        QCOMPARE(window.menuBar()->actions(), QList<QAction*>{f->menuAction()});
        QCOMPARE(f->title(), QStringLiteral("ファイル"));
        QCOMPARE(f->actions(), QList<QAction*>{rig.child<QAction>("fend")});
        QCOMPARE(f->actions()[0]->text(), QStringLiteral("終了"));

        for (const char* next : {"start_snort", "Command1", "rotate", "Text1", "start_snort"}) {
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }

    void missing_settings_then_form_load_buttons_and_typed_time() {
        Rig rig;
        // Without its settings the program starts nothing and registers no icon.
        const auto error = rig.window.Form_Load();
        QVERIFY(error.has_value());
        QVERIFY(error->message.find("brevalt.ini") != std::string::npos);
        QCOMPARE(rig.sensor.starts, 0);
        QVERIFY(!rig.window.tray_icon()->isVisible());
        QVERIFY(!rig.window.isVisible());

        write_file(rig.dir / "brevalt.ini", "03:30\r\n");
        QVERIFY(!rig.window.Form_Load().has_value());
        // Without a notification area the window must stay in reach.
        const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
        QCOMPARE(rig.window.isVisible(), !tray);
        QCOMPARE(rig.window.tray_icon()->isVisible(), tray);
        QCOMPARE(rig.window.tray_icon()->toolTip(), QStringLiteral("Brevalt"));
        QVERIFY(!rig.window.tray_icon()->icon().isNull());
        QCOMPARE(rig.sensor.starts, 1);
        // What the core put in while the controls did not exist shows once they do.
        rig.window.show();
        QCOMPARE(rig.child<QLineEdit>("Text1")->text(), QStringLiteral("03:30"));
        QCOMPARE(rig.child<QLabel>("Label1")->text(), QStringLiteral("2026/12/06 9:05:00"));
        QVERIFY(rig.child("Picture1")->isHidden());

        auto* timer = rig.child<QTimer>("Timer1");
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 30000);
        rig.clock.advance(30);
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        QCOMPARE(rig.child<QLabel>("Label1")->text(), QStringLiteral("2026/12/06 9:05:30"));

        QTest::mouseClick(rig.child<QPushButton>("start_snort"), Qt::LeftButton);
        QCOMPARE(rig.sensor.starts, 2);
        QTest::mouseClick(rig.child<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(rig.sensor.stops, 1);
        QTest::mouseClick(rig.child<QPushButton>("rotate"), Qt::LeftButton);
        const std::string renamed = "rename /opt/brevalt/log/scan.log -> /opt/brevalt/log/scan.log.20261206";
        QCOMPARE(std::ranges::count(rig.log, renamed), 1);
        QCOMPARE(rig.sensor.starts, 3);

        // The time is read once at start; one typed later moves nothing.
        auto* box = rig.child<QLineEdit>("Text1");
        box->selectAll();
        QTest::keyClicks(box, "12:34");
        QCOMPARE(box->text(), QStringLiteral("12:34"));
        rig.clock.set(FakeClock::at(2026, 12, 6, 12, 34, 10));
        rig.window.Timer1_Timer();
        QCOMPARE(rig.sensor.stops, 2);
        rig.clock.set(FakeClock::at(2026, 12, 6, 3, 30, 10));
        rig.window.Timer1_Timer();
        QCOMPARE(rig.sensor.stops, 3);
    }

    // 終了 and the window's close box both end the event loop with 0 and leave the sensor alone.
    void fend_and_closing_end_with_status_0() {
        for (const bool by_menu : {true, false}) {
            Rig rig;
            rig.window.show();
            auto* fend = rig.child<QAction>("fend");
            QTimer::singleShot(0, &rig.window, [&] { by_menu ? fend->trigger() : void(rig.window.close()); });
            QTimer::singleShot(10000, &rig.window, [] { QCoreApplication::exit(99); });  // should nothing end it
            QCOMPARE(QApplication::exec(), 0);
            QCOMPARE(rig.sensor.stops, 0);
        }
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
