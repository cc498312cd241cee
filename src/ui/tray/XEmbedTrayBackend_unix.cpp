#include "XEmbedTrayBackend.h"

#include "TrayDockWidget.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

constexpr uint32_t SystemTrayRequestDock = 0;
constexpr uint32_t XEmbedVersion = 0;
constexpr uint32_t XEmbedMapped = 1;

xcb_atom_t InternAtom(xcb_connection_t *connection, const QByteArray &name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, false, name.size(), name.constData()), nullptr);
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (reply)
        atom = reply->atom;
    std::free(reply);
    return atom;
}

// The screen Qt's connection was opened on: the one $DISPLAY names.
int DefaultScreenNumber()
{
    int screen = 0;
    char *host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
        screen = 0;
    std::free(host);
    return screen;
}

} // namespace

std::unique_ptr<XEmbedTrayBackend> XEmbedTrayBackend::Create(MessageSink sink)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::unique_ptr<XEmbedTrayBackend>(new XEmbedTrayBackend(x11->connection(), std::move(sink)));
}

XEmbedTrayBackend::XEmbedTrayBackend(xcb_connection_t *connection, MessageSink sink)
    : connection_(connection), sink_(std::move(sink))
{
    const int screenNumber = DefaultScreenNumber();
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    root_ = screens.data->root;

    selectionAtom_ = InternAtom(connection_, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber));
    opcodeAtom_ = InternAtom(connection_, "_NET_SYSTEM_TRAY_OPCODE");
    managerAtom_ = InternAtom(connection_, "MANAGER");
    xembedInfoAtom_ = InternAtom(connection_, "_XEMBED_INFO");

    // A tray announces itself with MANAGER sent to the root window for structure listeners.
    // Added to whatever Qt already listens to there, never replacing it.
    xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, root_), nullptr);
    if (attributes) {
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        std::free(attributes);
    }
    xcb_flush(connection_);

    qGuiApp->installNativeEventFilter(this);
}

XEmbedTrayBackend::~XEmbedTrayBackend()
{
    // Once the application has gone, so have its connection and its windows.
    if (!qGuiApp)
        return;
    qGuiApp->removeNativeEventFilter(this);
    DropDock();
}

uint32_t XEmbedTrayBackend::TrayOwner() const
{
    xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selectionAtom_), nullptr);
    uint32_t owner = XCB_WINDOW_NONE;
    if (reply)
        owner = reply->owner;
    std::free(reply);
    return owner;
}

bool XEmbedTrayBackend::TrayPresent() const { return TrayOwner() != XCB_WINDOW_NONE; }

void XEmbedTrayBackend::Show(const QIcon &icon, const QString &tooltip)
{
    icon_ = icon;
    tooltip_ = tooltip;
    shown_ = true;
    if (dock_)
        dock_->SetPicture(icon_, tooltip_);
    else
        MakeDock();
}

void XEmbedTrayBackend::Update(const QIcon &icon, const QString &tooltip)
{
    if (!shown_)
        return;
    icon_ = icon;
    tooltip_ = tooltip;
    if (dock_)
        dock_->SetPicture(icon_, tooltip_);
}

void XEmbedTrayBackend::Hide()
{
    shown_ = false;
    DropDock();
}

WId XEmbedTrayBackend::DockedWindowId() const { return docked_ ? dockWindow_ : 0; }

void XEmbedTrayBackend::MakeDock()
{
    dock_ = new TrayDockWidget(sink_);
    dock_->SetPicture(icon_, tooltip_);
    // The native window exists from here on, but stays unmapped until the tray has taken it.
    dockWindow_ = static_cast<uint32_t>(dock_->winId());
    docked_ = false;
    const uint32_t info[] = {XEmbedVersion, XEmbedMapped};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, dockWindow_, xembedInfoAtom_, xembedInfoAtom_, 32, 2, info);
    RequestDock();
}

void XEmbedTrayBackend::DropDock()
{
    docked_ = false;
    dockWindow_ = 0;
    if (!dock_)
        return;
    dock_->Detach();
    dock_->hide();
    // The native window goes now, so that the tray frees the slot at once; the widget itself
    // is deleted later, not here: we may be inside its own mouse handler.
    if (QWindow *window = dock_->windowHandle())
        window->destroy();
    dock_->deleteLater();
    dock_ = nullptr;
    xcb_flush(connection_);
}

void XEmbedTrayBackend::RequestDock()
{
    const uint32_t owner = TrayOwner();
    if (owner == XCB_WINDOW_NONE || !dockWindow_)
        return; // docks when a tray announces itself
    xcb_client_message_event_t request = {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = owner;
    request.type = opcodeAtom_;
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = SystemTrayRequestDock;
    request.data.data32[2] = dockWindow_;
    xcb_send_event(connection_, false, owner, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&request));
    xcb_flush(connection_);
}

bool XEmbedTrayBackend::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (client->type == managerAtom_ && client->window == root_ && client->data.data32[1] == selectionAtom_
            && shown_) {
            // A new tray (or the old one restarted): start afresh with a new window, since the
            // old one may have died with the tray that held it.
            DropDock();
            MakeDock();
        }
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto *reparent = reinterpret_cast<const xcb_reparent_notify_event_t *>(event);
        if (!dock_ || reparent->window != dockWindow_)
            break;
        docked_ = reparent->parent != root_;
        // Mapped only now: a window mapped before the tray took it may get a 1-pixel slot.
        // Back on the root window (its tray has gone) it would float on the screen.
        if (docked_)
            dock_->show();
        else
            dock_->hide();
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *destroyed = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
        if (dock_ && destroyed->window == dockWindow_)
            docked_ = false;
        break;
    }
    default: break;
    }
    return false;
}
