// Does to a window what a window manager does when the user minimises it: sets its
// WM_STATE to Iconic. The test X server runs no window manager, so this stands in for one.
// Usage: x-iconify <window id>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

static xcb_atom_t Atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const xcb_window_t window = xcb_window_t(std::strtoul(argv[1], nullptr, 0));
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    const xcb_atom_t wmState = Atom(c, "WM_STATE");
    const uint32_t iconic[2] = {3, XCB_WINDOW_NONE}; // IconicState, no icon window
    const bool ok = xcb_request_check(c, xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32, 2, iconic)) == nullptr;
    xcb_disconnect(c);
    return ok ? 0 : 1;
}
