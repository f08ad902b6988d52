#include <QApplication>
#include <cstdio>
#include <cstring>

#include "main_window.h"
#include "platform/system_platform.h"
#include "sensor/posix/posix_sensor.h"

// Brevalt on a Linux desktop: the window starts up and then lives on the
// event loop until "終了" or the window is closed.
int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("brevalt %s\n", BREVALT_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevalt"));
    QApplication::setApplicationVersion(QStringLiteral(BREVALT_VERSION));

    brevalt::SystemPlatform platform;
    brevalt::PosixSensor sensor(platform.program_dir().path);
    return run_program(platform, sensor);
}
