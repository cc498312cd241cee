#include "DisplayCheck.h"

#include <QByteArray>
#include <cstring>
#include <xcb/xcb.h>

namespace {
bool XDisplayAnswers(const QByteArray &display)
{
    xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
    const bool failed = xcb_connection_has_error(c) != 0;
    xcb_disconnect(c);
    return !failed;
}
} // namespace

void PreferX11OnWayland(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return;
    }
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qgetenv("WAYLAND_DISPLAY").isEmpty())
        return;
    const QByteArray display = qgetenv("DISPLAY");
    if (!display.isEmpty() && XDisplayAnswers(display))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

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
    if (!XDisplayAnswers(display))
        return QStringLiteral("cannot connect to the X display %1").arg(QString::fromLocal8Bit(display));
    return {};
}
