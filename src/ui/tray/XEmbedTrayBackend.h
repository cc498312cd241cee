#pragma once
#include "TrayBackend.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>

#include <cstdint>

struct xcb_connection_t;
class TrayDockWidget;

// Docks a window of its own into an X11 system tray (the XEmbed system tray protocol), which
// sees every press, release and double-click of both buttons. Without a tray the icon waits
// and docks as soon as one announces itself; it docks again when the tray restarts.
class XEmbedTrayBackend : public TrayBackend, private QAbstractNativeEventFilter
{
public:
    // Null unless the session runs on X11.
    static std::unique_ptr<XEmbedTrayBackend> Create(MessageSink sink);
    ~XEmbedTrayBackend() override;

    bool TrayPresent() const;

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    bool Hosted() const override { return shown_ && TrayPresent(); }
    QString Name() const override { return QStringLiteral("xembed"); }
    WId DockedWindowId() const override;

private:
    XEmbedTrayBackend(xcb_connection_t *connection, MessageSink sink);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    uint32_t TrayOwner() const;
    void MakeDock();
    void DropDock();
    void RequestDock();

    xcb_connection_t *connection_;
    MessageSink sink_;
    uint32_t root_ = 0;
    uint32_t selectionAtom_ = 0;
    uint32_t opcodeAtom_ = 0;
    uint32_t managerAtom_ = 0;
    uint32_t xembedInfoAtom_ = 0;

    bool shown_ = false;
    QIcon icon_;
    QString tooltip_;
    QPointer<TrayDockWidget> dock_;
    uint32_t dockWindow_ = 0;
    bool docked_ = false;
};
