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
//
// The server shares this thread, so once the program runs nothing here waits for the bus:
// whether a host is there is asked without waiting, when the watcher comes or goes and at
// each look, and the last answer is what counts. A panel that holds its names but does not
// answer (hung, stopped) thus costs the clients nothing.
class StatusNotifierBackend : public QObject, public TrayBackend
{
public:
    explicit StatusNotifierBackend(MessageSink sink);
    ~StatusNotifierBackend() override;

    // Whether the session bus has a watcher with a host to show items: asked and waited for
    // (a quarter of a second at most), only while the program starts, before it serves.
    bool HostPresentNow();
    // The last answer to that question, asked again without waiting.
    bool HostKnownPresent() const;

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    void SetToggleCaption(const QString &caption) override;
    bool Hosted() const override { return shown_ && HostKnownPresent(); }
    QString Name() const override { return QStringLiteral("statusnotifier"); }

private:
    void Send(std::initializer_list<qint32> messages);
    void RegisterWithWatcher();
    void AskForHost() const;

    MessageSink sink_;
    QDBusConnection bus_;
    QString service_;
    StatusNotifierItem *item_;
    DBusMenu *menu_;
    QDBusServiceWatcher *watcher_;
    bool shown_ = false;
    mutable bool hostPresent_ = false;
    mutable bool asking_ = false;
};
