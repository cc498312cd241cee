#include "TrayBackend.h"

#include "NullTrayBackend.h"
#include "QtTrayBackend.h"
#include "XEmbedTrayBackend.h"

#include <QGuiApplication>

std::unique_ptr<TrayBackend> TrayBackend::Create(MessageSink sink)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return std::make_unique<NullTrayBackend>();

    // The XEmbed tray sees every gesture; it is also the one to wait for when no tray of any
    // kind is there yet.
    if (auto xembed = XEmbedTrayBackend::Create(sink)) {
        if (xembed->TrayPresent() || !QSystemTrayIcon::isSystemTrayAvailable())
            return xembed;
    }
    // A StatusNotifierItem host (Wayland, or X11 with only a D-Bus tray).
    return std::make_unique<QtTrayBackend>(std::move(sink));
}
