#include "TrayBackend.h"

#include "NullTrayBackend.h"
#include "QtTrayBackend.h"

#include <QGuiApplication>

std::unique_ptr<TrayBackend> TrayBackend::Create(MessageSink sink)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return std::make_unique<NullTrayBackend>();
    // Qt's icon sits on the shell's notification area here.
    return std::make_unique<QtTrayBackend>(std::move(sink));
}
