// Prints the window that owns the X11 system tray selection of the default screen and exits 0,
// or exits 1 when no tray is running. Used by with-xvfb-tray.sh to wait for the tray.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main()
{
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return 2;
    }
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.c_str()), nullptr);
    xcb_window_t owner = XCB_WINDOW_NONE;
    if (atom) {
        xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
        if (reply)
            owner = reply->owner;
        std::free(reply);
    }
    std::free(atom);
    xcb_disconnect(connection);
    if (owner == XCB_WINDOW_NONE)
        return 1;
    std::printf("0x%x\n", owner);
    return 0;
}
