#include "DisplayCheck.h"

#include <QByteArray>
#include <xcb/xcb.h>

QString MissingDisplayReason()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return {}; // offscreen, vnc and the like need no display
    if (!qgetenv("WAYLAND_DISPLAY").isEmpty() && !platform.startsWith("xcb"))
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("no display: DISPLAY and WAYLAND_DISPLAY are not set");
    xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
    const bool failed = xcb_connection_has_error(c) != 0;
    xcb_disconnect(c);
    if (failed)
        return QStringLiteral("cannot connect to the X display %1").arg(QString::fromLocal8Bit(display));
    return {};
}
