#include "TrayBackend.h"

#include "NullTrayBackend.h"
#include "ShellTrayBackend.h"

#include <QGuiApplication>

std::unique_ptr<TrayBackend> TrayBackend::Create(MessageSink sink)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return std::make_unique<NullTrayBackend>();
    // The shell's own notification area reports every gesture, double-clicks included.
    return std::make_unique<ShellTrayBackend>(std::move(sink));
}
