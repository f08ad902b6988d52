#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

// The icon as a StatusNotifier item of Brevalt's own, for the panels that
// speak that protocol over D-Bus (on X11 and Wayland). Qt's own item sets
// the item's Status only for a few seconds after a notification; Brevalt's
// says NeedsAttention for as long as no sensor runs, which is what a panel
// keeps showing.

// One picture of the icon: width, height, ARGB32 pixels in network order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using SniPixmaps = QList<SniPixmap>;

struct SniToolTip {
    QString icon_name;
    SniPixmaps pixmaps;
    QString title;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip);

class StatusNotifierItem final : public QObject {
    Q_OBJECT

public:
    StatusNotifierItem(QIcon running_icon, QIcon none_icon, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // Offers the item to the session's watcher, again after it restarted.
    // False when no watcher takes it.
    bool register_item();
    // The sensor's state: the icon, the Status and the tooltip's text.
    void show_state(bool runs, const QString& tooltip);

    [[nodiscard]] QString category() const { return QStringLiteral("ApplicationStatus"); }
    [[nodiscard]] QString status() const;
    [[nodiscard]] SniPixmaps icon_pixmap() const { return runs_ ? running_pixmaps_ : none_pixmaps_; }
    [[nodiscard]] SniPixmaps attention_icon_pixmap() const { return none_pixmaps_; }
    [[nodiscard]] SniToolTip tool_tip() const;

signals:
    // The left button: the one action that shows the window.
    void activated();
    void icon_changed();
    void status_changed(const QString& status);
    void tool_tip_changed();

private:
    SniPixmaps running_pixmaps_;
    SniPixmaps none_pixmaps_;
    QString service_;
    QString tooltip_ = QStringLiteral("Brevalt");
    bool runs_ = true;
    bool on_bus_ = false;
};

// org.kde.StatusNotifierItem at /StatusNotifierItem: the names are the
// protocol's.
class StatusNotifierAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(QString IconName READ IconName)
    Q_PROPERTY(SniPixmaps IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ OverlayIconName)
    Q_PROPERTY(SniPixmaps OverlayIconPixmap READ OverlayIconPixmap)
    Q_PROPERTY(QString AttentionIconName READ AttentionIconName)
    Q_PROPERTY(SniPixmaps AttentionIconPixmap READ AttentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ AttentionMovieName)
    Q_PROPERTY(SniToolTip ToolTip READ ToolTip)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)

public:
    explicit StatusNotifierAdaptor(StatusNotifierItem* item);

    [[nodiscard]] QString Category() const { return item_->category(); }
    [[nodiscard]] QString Id() const { return QStringLiteral("brevalt"); }
    [[nodiscard]] QString Title() const { return QStringLiteral("Brevalt"); }
    [[nodiscard]] QString Status() const { return item_->status(); }
    [[nodiscard]] int WindowId() const { return 0; }
    [[nodiscard]] QString IconName() const { return {}; }
    [[nodiscard]] SniPixmaps IconPixmap() const { return item_->icon_pixmap(); }
    [[nodiscard]] QString OverlayIconName() const { return {}; }
    [[nodiscard]] SniPixmaps OverlayIconPixmap() const { return {}; }
    [[nodiscard]] QString AttentionIconName() const { return {}; }
    [[nodiscard]] SniPixmaps AttentionIconPixmap() const { return item_->attention_icon_pixmap(); }
    [[nodiscard]] QString AttentionMovieName() const { return {}; }
    [[nodiscard]] SniToolTip ToolTip() const { return item_->tool_tip(); }
    [[nodiscard]] bool ItemIsMenu() const { return false; }
    // No menu: the window is the program's only way in.
    [[nodiscard]] QDBusObjectPath Menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem* item_;
};

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
