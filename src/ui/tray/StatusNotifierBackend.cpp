#include "StatusNotifierBackend.h"

#include "DBusMenu.h"
#include "StatusNotifierItem.h"
#include "TrayEventDecoder.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace {
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
const QString MenuPath = QStringLiteral("/MenuBar");
constexpr int HostQueryTimeoutMs = 250;
} // namespace

StatusNotifierBackend::StatusNotifierBackend(MessageSink sink)
    : sink_(std::move(sink)), bus_(QDBusConnection::sessionBus()),
      service_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid()))
{
    item_ = new StatusNotifierItem(
        [this](StatusNotifierItem::Click click) {
            if (click == StatusNotifierItem::Click::Primary)
                Send({TrayMessage::LeftDoubleClick, TrayMessage::LeftUp});
            else
                Send({TrayMessage::RightDown, TrayMessage::RightUp});
        },
        this);
    menu_ = new DBusMenu(
        [this](int index) {
            if (index == 0)
                Send({TrayMessage::RightDown, TrayMessage::RightUp});
            else if (index == 1)
                Send({TrayMessage::LeftDoubleClick, TrayMessage::LeftUp});
            else
                Send({TrayMessage::RightDoubleClick});
        },
        this);
    menu_->SetCaptions({QStringLiteral("&Start Server"), QStringLiteral("&Restore"), QStringLiteral("E&xit")});
    watcher_ = new QDBusServiceWatcher(WatcherService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (shown_)
            RegisterWithWatcher();
    });
}

StatusNotifierBackend::~StatusNotifierBackend() { Hide(); }

bool StatusNotifierBackend::HostPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(WatcherService))
        return false;
    // The server shares this thread: a panel that holds the name but does not answer (still
    // starting, or hung) may cost it a moment, never the bus's default 25 seconds. A plain
    // call, since a QDBusInterface would first wait for the panel's introspection.
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, HostQueryTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
           && qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

void StatusNotifierBackend::Send(std::initializer_list<qint32> messages)
{
    // After the host's call has had its answer: the handler may open a message box. The sink
    // is copied, since a handler may delete this backend between two messages.
    const QList<qint32> list(messages);
    QTimer::singleShot(0, this, [sink = sink_, list] {
        for (qint32 message : list)
            sink(message);
    });
}

void StatusNotifierBackend::Show(const QIcon &icon, const QString &tooltip)
{
    item_->SetLook(icon, tooltip);
    if (shown_ || !bus_.isConnected())
        return;
    bus_.registerObject(ItemPath, item_, QDBusConnection::ExportAllContents);
    bus_.registerObject(MenuPath, menu_, QDBusConnection::ExportAllContents);
    bus_.registerService(service_);
    shown_ = true;
    RegisterWithWatcher();
}

void StatusNotifierBackend::Update(const QIcon &icon, const QString &tooltip)
{
    if (shown_)
        item_->SetLook(icon, tooltip);
}

void StatusNotifierBackend::Hide()
{
    if (!shown_)
        return;
    // Hosts drop the item when its bus name goes.
    bus_.unregisterService(service_);
    bus_.unregisterObject(ItemPath);
    bus_.unregisterObject(MenuPath);
    shown_ = false;
}

void StatusNotifierBackend::SetToggleCaption(const QString &caption)
{
    QStringList captions = menu_->Captions();
    captions[0] = caption;
    menu_->SetCaptions(captions);
}

void StatusNotifierBackend::RegisterWithWatcher()
{
    bus_.asyncCall(QDBusMessage::createMethodCall(WatcherService, QStringLiteral("/StatusNotifierWatcher"),
                                                  WatcherService, QStringLiteral("RegisterStatusNotifierItem"))
                   << service_);
}
