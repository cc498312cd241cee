#include "DisplayCheck.h"

QString MissingDisplayReason()
{
    return {}; // a Windows session always has its desktop
}

void PreferX11OnWayland(int, char **) {}
