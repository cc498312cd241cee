#pragma once
#include "TrayBackend.h"

#include <QDBusConnection>
#include <QObject>

class DBusMenu;
class QDBusServiceWatcher;
class StatusNotifierItem;

// The icon as a StatusNotifierItem on the session bus, with a menu. Hosts report gestures
// differently from the shell, so each becomes the messages of the gesture with that effect:
// the primary activation and "Restore" a left double-click, the secondary activation and the
// start/stop entry a right click, "Exit" a right double-click. The item registers again
// whenever a watcher (a host's panel) appears, so it survives a restart of the panel.
class StatusNotifierBackend : public QObject, public TrayBackend
{
public:
    explicit StatusNotifierBackend(MessageSink sink);
    ~StatusNotifierBackend() override;

    // Whether the session bus has a watcher with a host to show items.
    static bool HostPresent();

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    void SetToggleCaption(const QString &caption) override;
    bool Hosted() const override { return shown_ && HostPresent(); }
    QString Name() const override { return QStringLiteral("statusnotifier"); }

private:
    void Send(std::initializer_list<qint32> messages);
    void RegisterWithWatcher();

    MessageSink sink_;
    QDBusConnection bus_;
    QString service_;
    StatusNotifierItem *item_;
    DBusMenu *menu_;
    QDBusServiceWatcher *watcher_;
    bool shown_ = false;
};
