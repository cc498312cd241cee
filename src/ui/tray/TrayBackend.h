#pragma once
#include <QIcon>
#include <QString>
#include <QtGui/qwindowdefs.h>

#include <functional>
#include <memory>

// One way of putting an icon into a notification area. A backend reports mouse activity on
// its icon as the shell's message numbers (513 to 518) through the sink it was given, each
// gesture in the order Windows sends them; TrayIcon decodes them.
class TrayBackend
{
public:
    using MessageSink = std::function<void(qint32 message)>;

    virtual ~TrayBackend() = default;

    // Shows the icon, or updates it when it is shown already.
    virtual void Show(const QIcon &icon, const QString &tooltip) = 0;
    // Updates the icon only while it is shown.
    virtual void Update(const QIcon &icon, const QString &tooltip) = 0;
    virtual void Hide() = 0;
    // The caption of the menu entry that starts or stops the server, where there is a menu.
    virtual void SetToggleCaption(const QString &) {}
    // Whether a notification area shows the icon now, so that hiding the window leaves a way
    // back to it.
    virtual bool Hosted() const { return false; }

    virtual QString Name() const = 0;
    // The native window of a docked icon, 0 when there is none: lets tests find it.
    virtual WId DockedWindowId() const { return 0; }

    // The best backend the running session offers.
    static std::unique_ptr<TrayBackend> Create(MessageSink sink);
};
