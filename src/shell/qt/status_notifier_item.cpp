#include "status_notifier_item.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QCoreApplication>
#include <QImage>
#include <QtEndian>
#include <atomic>
#include <utility>

namespace {

const QString k_watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString k_item_path = QStringLiteral("/StatusNotifierItem");
// Asked on the window's thread: a watcher that does not answer must not
// freeze the window.
constexpr int k_dbus_timeout_ms = 250;

// The sizes panels draw at: 16 to 48 pixels, scaled by the panel itself
// beyond that.
constexpr int k_sizes[] = {16, 22, 32, 48};

SniPixmaps pixmaps_of(const QIcon& icon) {
    SniPixmaps pixmaps;
    for (const int size : k_sizes) {
        const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        SniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.argb.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(pixmap.argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip) {
    argument.beginStructure();
    argument << tip.icon_name << tip.pixmaps << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip) {
    argument.beginStructure();
    argument >> tip.icon_name >> tip.pixmaps >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

StatusNotifierItem::StatusNotifierItem(QIcon running_icon, QIcon none_icon, QObject* parent)
    : QObject(parent), running_pixmaps_(pixmaps_of(running_icon)), none_pixmaps_(pixmaps_of(none_icon)) {
    qDBusRegisterMetaType<SniPixmap>();
    qDBusRegisterMetaType<SniPixmaps>();
    qDBusRegisterMetaType<SniToolTip>();
    auto* adaptor = new StatusNotifierAdaptor(this);
    connect(this, &StatusNotifierItem::icon_changed, adaptor, &StatusNotifierAdaptor::NewIcon);
    connect(this, &StatusNotifierItem::icon_changed, adaptor, &StatusNotifierAdaptor::NewAttentionIcon);
    connect(this, &StatusNotifierItem::status_changed, adaptor, &StatusNotifierAdaptor::NewStatus);
    connect(this, &StatusNotifierItem::tool_tip_changed, adaptor, &StatusNotifierAdaptor::NewToolTip);
    // The protocol's own form of a name for a second item of one process.
    static std::atomic<int> items{0};
    service_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                   .arg(QCoreApplication::applicationPid())
                   .arg(++items);
}

StatusNotifierItem::~StatusNotifierItem() {
    if (!on_bus_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(k_item_path);
    bus.unregisterService(service_);
}

bool StatusNotifierItem::register_item() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!on_bus_) {
        on_bus_ = bus.registerService(service_) &&
                  bus.registerObject(k_item_path, this, QDBusConnection::ExportAdaptors);
        if (!on_bus_) return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(k_watcher, QStringLiteral("/StatusNotifierWatcher"), k_watcher,
                                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, k_dbus_timeout_ms).type() == QDBusMessage::ReplyMessage;
}

void StatusNotifierItem::show_state(bool runs, const QString& tooltip) {
    if (runs != runs_) {
        runs_ = runs;
        emit icon_changed();
        emit status_changed(status());
    }
    if (tooltip != tooltip_) {
        tooltip_ = tooltip;
        emit tool_tip_changed();
    }
}

QString StatusNotifierItem::status() const {
    return runs_ ? QStringLiteral("Active") : QStringLiteral("NeedsAttention");
}

// The title is the program's name, the text the state: panels show the
// title in bold above the text.
SniToolTip StatusNotifierItem::tool_tip() const { return {{}, {}, QStringLiteral("Brevalt"), tooltip_}; }

StatusNotifierAdaptor::StatusNotifierAdaptor(StatusNotifierItem* item) : QDBusAbstractAdaptor(item), item_(item) {
    setAutoRelaySignals(false);
}

void StatusNotifierAdaptor::Activate(int /*x*/, int /*y*/) { emit item_->activated(); }
void StatusNotifierAdaptor::SecondaryActivate(int /*x*/, int /*y*/) {}
void StatusNotifierAdaptor::ContextMenu(int /*x*/, int /*y*/) {}
void StatusNotifierAdaptor::Scroll(int /*delta*/, const QString& /*orientation*/) {}
