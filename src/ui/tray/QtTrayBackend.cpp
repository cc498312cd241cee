#include "QtTrayBackend.h"

#include "TrayEventDecoder.h"

QtTrayBackend::QtTrayBackend(MessageSink sink) : sink_(std::move(sink))
{
    QObject::connect(&tray_, &QSystemTrayIcon::activated, &tray_,
                     [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
}

void QtTrayBackend::Show(const QIcon &icon, const QString &tooltip)
{
    tray_.setIcon(icon);
    tray_.setToolTip(tooltip);
    tray_.show();
}

void QtTrayBackend::Update(const QIcon &icon, const QString &tooltip)
{
    if (!tray_.isVisible())
        return;
    tray_.setIcon(icon);
    tray_.setToolTip(tooltip);
}

void QtTrayBackend::Hide() { tray_.hide(); }

void QtTrayBackend::Activated(QSystemTrayIcon::ActivationReason reason)
{
    // Each report stands for a whole gesture, so it becomes the shell's messages for it. The
    // sink is copied first: a handler may delete this backend between two messages.
    const MessageSink sink = sink_;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        sink(TrayMessage::LeftDown);
        sink(TrayMessage::LeftUp);
        break;
    case QSystemTrayIcon::Context:
        sink(TrayMessage::RightDown);
        sink(TrayMessage::RightUp);
        break;
    case QSystemTrayIcon::DoubleClick:
        // The first click of it came as a Trigger already.
        sink(TrayMessage::LeftDoubleClick);
        sink(TrayMessage::LeftUp);
        break;
    default: break;
    }
}
