#pragma once
#include "TrayBackend.h"

#include <QSystemTrayIcon>

// Qt's own tray icon, for sessions whose notification area is a D-Bus StatusNotifierItem host.
// It reports less than the shell does: no right double-click, and a left double-click only
// after the click that began it.
class QtTrayBackend : public TrayBackend
{
public:
    explicit QtTrayBackend(MessageSink sink);

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    bool Hosted() const override { return tray_.isVisible() && QSystemTrayIcon::isSystemTrayAvailable(); }
    QString Name() const override { return QStringLiteral("statusnotifier"); }

private:
    void Activated(QSystemTrayIcon::ActivationReason reason);

    MessageSink sink_;
    QSystemTrayIcon tray_;
};
