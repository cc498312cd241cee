#include "TrayBackend.h"

#include "FirstHostTrayBackend.h"
#include "NullTrayBackend.h"
#include "StatusNotifierBackend.h"
#include "XEmbedTrayBackend.h"

#include <QDBusConnection>
#include <QGuiApplication>

std::unique_ptr<TrayBackend> TrayBackend::Create(MessageSink sink)
{
    const QString platform = QGuiApplication::platformName();
    // The operator may force one kind: xembed, sni or none.
    const QByteArray forced = qgetenv("TALLIX_TRAY");
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") || forced == "none")
        return std::make_unique<NullTrayBackend>();

    std::unique_ptr<XEmbedTrayBackend> xembed;
    if (forced != "sni")
        xembed = XEmbedTrayBackend::Create(sink);
    std::unique_ptr<StatusNotifierBackend> sni;
    if (forced != "xembed" && QDBusConnection::sessionBus().isConnected())
        sni = std::make_unique<StatusNotifierBackend>(sink);
    if (!xembed && !sni)
        return std::make_unique<NullTrayBackend>();

    // A StatusNotifierItem host first: there every effect has a way that works alike on each
    // host (activation, menu). Where the XEmbed tray is the same panel's second face, or a
    // proxy that turns icons into items, double-clicks and right clicks do not reliably arrive.
    if (sni && (sni->HostPresentNow() || forced == "sni"))
        return sni;
    if (xembed && (forced == "xembed" || xembed->TrayPresent()))
        return xembed;
    return std::make_unique<FirstHostTrayBackend>(std::move(xembed), std::move(sni));
}
