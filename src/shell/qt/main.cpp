#include <QApplication>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "main_window.h"
#include "session_end.h"
#include "platform/system_platform.h"
#include "keeping/posix/background_keeper.h"
#include "keeping/posix/posix_log_folder.h"
#include "metrics/file_metrics_writer.h"
#include "sensor/posix/posix_sensor.h"

namespace {

// The session's language for messages, as the C library decides it.
bool japanese_session() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

}  // namespace

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
    QTranslator japanese;
    if (japanese_session() && japanese.load(QStringLiteral(":/i18n/brevalt_ja.qm"))) {
        QCoreApplication::installTranslator(&japanese);
    }

    brevalt::SystemPlatform platform;
    brevalt::PosixSensor sensor(platform.program_dir().path);
    brevalt::PosixLogFolder log_folder;
    brevalt::BackgroundKeeper keeper(log_folder);
    brevalt::FileMetricsWriter metrics_writer;
    return run_program(platform, sensor, keeper, metrics_writer);
}
