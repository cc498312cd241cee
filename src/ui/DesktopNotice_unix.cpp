#include "DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

void ShowDesktopNotice(const QString &title, const QString &text)
{
    // The desktop's notification service; the call is sent without waiting for its answer.
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const int closeAfterMs = 15000;
    notify << QStringLiteral("Tallix Server") << 0u << QStringLiteral("tallix-server") << title << text << QStringList()
           << QVariantMap() << closeAfterMs;
    QDBusConnection::sessionBus().send(notify);
}
