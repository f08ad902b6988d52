#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>
#include <cstdint>

// Whether a notification area exists, and word when one comes up.
//
// Qt chooses between a StatusNotifier host (over D-Bus) and an XEmbed tray
// (X11) once per process, at the first QSystemTrayIcon it makes or the first
// isSystemTrayAvailable() call; an area of the other kind that comes up later
// is never used. So the window makes no tray call at all until this says an
// area exists, and hears from it when one arrives: the StatusNotifier
// watcher's name appearing on the session bus, or an XEmbed tray announcing
// its selection to the X root window. Neither costs a wake-up while idle.
class NotificationArea final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit NotificationArea(QObject* parent = nullptr);
    ~NotificationArea() override;

    // A registered StatusNotifier host, or an XEmbed tray on this X screen.
    [[nodiscard]] bool exists() const;
    // A registered StatusNotifier host, which Brevalt's own item serves.
    [[nodiscard]] bool status_notifier_host() const;

    bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr* result) override;

signals:
    void appeared();

private:
    [[nodiscard]] bool xembed_tray_exists() const;

    QTimer settle_timer_;
    // X atoms, 0 away from X11.
    std::uint32_t tray_selection_ = 0;
    std::uint32_t manager_ = 0;
};
