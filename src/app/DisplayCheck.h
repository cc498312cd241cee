#pragma once
#include <QString>

// Why no window can be shown, or an empty text when a display is there. Asked before the
// application object exists, because Qt aborts when its platform cannot start.
QString MissingDisplayReason();

// On a Wayland session that also offers X11 (XWayland), runs the program as an X11 client
// unless the operator chose a platform: Qt's Wayland platform never learns that a window was
// minimised, so there the window could not hide in the tray. Asked before the application
// object exists.
void PreferX11OnWayland(int argc, char **argv);
