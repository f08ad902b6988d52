#include <QtTest>
#include <QtWidgets>
#include <qpa/qwindowsysteminterface.h>

#include "fakes.h"
#include "main_window.h"

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
    FakeLogKeeper keeper;
    FakeMetricsWriter metrics;
    MainWindow window{platform, sensor, keeper, metrics, (dir / "brevalt.ini").string()};
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    // Every text reaches a Japanese operator in Japanese, found by its
    // identity; an English session gets the English form.
    void texts_are_found_by_identity_in_a_japanese_session() {
        Rig rig;
        for (int id = 0; id < brevalt::k_text_count; ++id) QVERIFY(rig.window.text_form(brevalt::TextId(id)).empty());
        QTranslator japanese;
        QVERIFY(japanese.load(QStringLiteral(":/i18n/brevalt_ja.qm")));
        QCoreApplication::installTranslator(&japanese);
        for (int id = 0; id < brevalt::k_text_count; ++id) {
            const std::string form = rig.window.text_form(brevalt::TextId(id));
            QVERIFY2(!form.empty() && form != brevalt::english_form(brevalt::TextId(id)),
                     std::string(brevalt::text_key(brevalt::TextId(id))).c_str());
        }
        QCOMPARE(QString::fromStdString(rig.window.text_form(brevalt::TextId::sensor_ended)),
                 QStringLiteral("センサーが自ら終了しました"));
        QCoreApplication::removeTranslator(&japanese);
    }

    void start_up_fills_the_window_and_the_time_box_takes_no_typing() {
        Rig rig;
        write_file(rig.dir / "brevalt.ini", "03:30\r\n");
        QVERIFY(!rig.window.start_up().has_value());
        // Without a notification area the window must stay in reach, and no
        // icon is made yet: Qt would settle on a kind of area for good.
        QVERIFY(rig.window.isVisible());
        QVERIFY(rig.window.tray_icon() == nullptr);
        QCOMPARE(rig.sensor.starts, 1);
        // What the core put in while the controls did not exist shows once they do.
        rig.window.show();
        auto* box = rig.child<QLineEdit>("time_box");
        QCOMPARE(box->text(), QStringLiteral("03:30"));
        QCOMPARE(rig.child<QLabel>("clock_label")->text(), QStringLiteral("2026/12/06 9:05:00"));
        QVERIFY(rig.child("icon_picture")->isHidden());

        auto* timer = rig.child<QTimer>("tick_timer");
        QCOMPARE(timer->interval(), 30000);
        rig.clock.advance(30);
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        QCOMPARE(rig.child<QLabel>("clock_label")->text(), QStringLiteral("2026/12/06 9:05:30"));

        // The box only shows the time, set in the settings file it names:
        // typing into it changes nothing, so it takes no typing.
        QVERIFY(box->isReadOnly());
        QVERIFY(box->toolTip().contains(QString::fromStdString((rig.dir / "brevalt.ini").string())));
        box->selectAll();
        QTest::keyClicks(box, "12:34");
        QCOMPARE(box->text(), QStringLiteral("03:30"));
        rig.clock.set(FakeClock::at(2026, 12, 6, 12, 34, 10));
        rig.window.on_tick();
        QCOMPARE(rig.sensor.stops, 0);
        rig.clock.set(FakeClock::at(2026, 12, 7, 3, 30, 10));
        rig.window.on_tick();
        QCOMPARE(rig.sensor.stops, 1);
    }

    // Qt closes every open window itself when a session manager asks it to
    // quit at logout: that ends the sensor too. The operator's close, which
    // comes from the window system, leaves it running.
    void only_the_operators_close_leaves_the_sensor_running() {
        for (const bool operators_close : {true, false}) {
            Rig rig;
            write_file(rig.dir / "brevalt.ini", "03:30\n");
            QVERIFY(!rig.window.start_up().has_value());
            rig.window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
            if (operators_close) {
                QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
                    rig.window.windowHandle());
            } else {
                QApplication::closeAllWindows();
            }
            QCOMPARE(rig.sensor.stops, operators_close ? 0 : 1);
        }
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
