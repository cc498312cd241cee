#include "StatusNotifierBackend.h"

#include "DBusMenu.h"
#include "StatusNotifierItem.h"
#include "TrayEventDecoder.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace {
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
const QString MenuPath = QStringLiteral("/MenuBar");
constexpr int HostQueryTimeoutMs = 250;

// A plain call, since a QDBusInterface would first wait for the panel's introspection.
QDBusMessage HostQuery()
{
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    return get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
}

// No watcher, a watcher without a host, and one that did not answer in time all read as no host.
bool SaysHostPresent(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
           && qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}
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
    watcher_ = new QDBusServiceWatcher(WatcherService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        AskForHost();
        if (shown_)
            RegisterWithWatcher();
    });
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { hostPresent_ = false; });
}

StatusNotifierBackend::~StatusNotifierBackend() { Hide(); }

bool StatusNotifierBackend::HostPresentNow()
{
    // A panel that holds the name but does not answer (still starting, or hung) may cost the
    // start a moment, never the bus's default 25 seconds.
    hostPresent_ = bus_.isConnected() && SaysHostPresent(bus_.call(HostQuery(), QDBus::Block, HostQueryTimeoutMs));
    return hostPresent_;
}

bool StatusNotifierBackend::HostKnownPresent() const
{
    AskForHost();
    return hostPresent_;
}

void StatusNotifierBackend::AskForHost() const
{
    if (asking_ || !bus_.isConnected())
        return;
    asking_ = true;
    auto *call = new QDBusPendingCallWatcher(bus_.asyncCall(HostQuery(), HostQueryTimeoutMs),
                                             const_cast<StatusNotifierBackend *>(this));
    QObject::connect(call, &QDBusPendingCallWatcher::finished, call, [this, call] {
        hostPresent_ = SaysHostPresent(call->reply());
        asking_ = false;
        call->deleteLater();
    });
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
