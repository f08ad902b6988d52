#include "notification_area.h"

#include <xcb/xcb.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <string>

namespace {

const QString k_watcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// A panel registers its host a moment after it takes the watcher's name, and
// one panel may serve both kinds of icon. Half a second lets it finish, so
// that the icon goes to a StatusNotifier host wherever there is one.
constexpr int k_settle_ms = 500;

// The question is asked on the window's thread: a bus or a watcher that does
// not answer must not freeze the window (D-Bus's own default is 25 s).
constexpr int k_dbus_timeout_ms = 250;

xcb_connection_t* x11_connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

std::uint32_t intern(xcb_connection_t* connection, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    const std::uint32_t atom = reply != nullptr ? reply->atom : 0;
    std::free(reply);
    return atom;
}

bool status_notifier_host_registered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(k_watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << k_watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    // Only a watcher that runs already counts: asking must not start one
    // that the bus could activate, which would then hold no host anyway.
    get.setAutoStartService(false);
    const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, k_dbus_timeout_ms);
    return reply.isValid() && reply.value().variant().toBool();
}

}  // namespace

NotificationArea::NotificationArea(QObject* parent) : QObject(parent) {
    settle_timer_.setSingleShot(true);
    settle_timer_.setInterval(k_settle_ms);
    connect(&settle_timer_, &QTimer::timeout, this, &NotificationArea::appeared);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto* watcher = new QDBusServiceWatcher(k_watcher, bus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceRegistered, &settle_timer_, qOverload<>(&QTimer::start));
        // Where the watcher runs apart from the panel (Plasma's kded and
        // plasmashell), the host comes later and the watcher announces it.
        // D-Bus signals connect only by a slot's name.
        bus.connect(k_watcher, QStringLiteral("/StatusNotifierWatcher"), k_watcher,
                    QStringLiteral("StatusNotifierHostRegistered"), &settle_timer_, SLOT(start()));
    }
    if (xcb_connection_t* connection = x11_connection()) {
        // An XEmbed tray owns the selection _NET_SYSTEM_TRAY_S<screen> and
        // announces taking it with a MANAGER message to the root window,
        // which Qt already listens to.
        int screen = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) screen = 0;
        std::free(host);
        tray_selection_ = intern(connection, "_NET_SYSTEM_TRAY_S" + std::to_string(screen));
        manager_ = intern(connection, "MANAGER");
        qGuiApp->installNativeEventFilter(this);
    }
}

NotificationArea::~NotificationArea() {
    if (manager_ != 0) qGuiApp->removeNativeEventFilter(this);
}

bool NotificationArea::exists() const { return status_notifier_host_registered() || xembed_tray_exists(); }

bool NotificationArea::status_notifier_host() const { return status_notifier_host_registered(); }

bool NotificationArea::xembed_tray_exists() const {
    xcb_connection_t* connection = x11_connection();
    if (connection == nullptr || tray_selection_ == 0) return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, tray_selection_), nullptr);
    const bool owned = reply != nullptr && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

bool NotificationArea::nativeEventFilter(const QByteArray& event_type, void* message, qintptr* /*result*/) {
    if (event_type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->type == manager_ && client->data.data32[1] == tray_selection_) settle_timer_.start();
    return false;
}
