#include <QApplication>
#include <cstdio>
#include <cstring>

#include "main_window.h"
#include "session_end.h"
#include "platform/system_platform.h"
#include "keeping/posix/background_keeper.h"
#include "keeping/posix/posix_log_folder.h"
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
    // A copy restored from a session saved before Brevalt asked never to be
    // restarted: the autostart entry starts the one Brevalt of this logon.
    if (app.isSessionRestored()) {
        std::fputs("brevalt: not started again from a saved session; the autostart entry starts Brevalt\n", stderr);
        return 0;
    }
    never_restart_with_session();

    brevalt::SystemPlatform platform;
    brevalt::PosixSensor sensor(platform.program_dir().path);
    brevalt::PosixLogFolder log_folder;
    brevalt::BackgroundKeeper keeper(log_folder);
    return run_program(platform, sensor, keeper);
}
