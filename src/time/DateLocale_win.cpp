#include "DateLocale.h"

// Qt's system locale is the user's regional format on Windows.
QLocale DateLocale() { return QLocale::system(); }
