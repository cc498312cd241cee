#pragma once
#include <QString>

// Why no window can be shown, or an empty text when a display is there. Asked before the
// application object exists, because Qt aborts when its platform cannot start.
QString MissingDisplayReason();
