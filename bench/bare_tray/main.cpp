// The yardstick for Brevalt's own cost on a desktop: a Qt 6 program that does
// nothing but show one tray icon, the same image, from the same kind of
// embedded resource.
#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/brevalt.png")));
    icon.setToolTip(QStringLiteral("bare_tray"));
    icon.show();
    return QApplication::exec();
}
