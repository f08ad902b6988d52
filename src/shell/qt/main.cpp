#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/core.h"
#include "brevalt_window.h"
#include "platform/system_platform.h"
#include "sensor/posix/posix_sensor.h"

// Brevalt on a Linux desktop: the window loads, runs the start-up order and
// then lives on the event loop until "終了" or the window is closed.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevalt"));

    brevalt::SystemPlatform platform;
    brevalt::PosixSensor sensor(platform.program_dir().path);
    Brevalt window(platform, sensor);

    if (auto error = window.Form_Load()) {
        // Standard error first: the message box waits for the operator.
        std::fprintf(stderr, "%s\n", error->message.c_str());
        std::fflush(stderr);
        QMessageBox::critical(nullptr, QStringLiteral("Brevalt"), QString::fromStdString(error->message));
        return brevalt::k_startup_error_status;
    }
    return QApplication::exec();
}
