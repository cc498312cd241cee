#pragma once
#include <QLocale>

// The locale of the user's regional date settings, which every date the program writes
// follows: its clocks, its log lines and the month of its stamp. On Linux that is what the
// C library takes for dates (LC_ALL, else LC_TIME, else LANG), not Qt's system locale,
// whose name follows LC_MESSAGES; on Windows the user's regional format.
QLocale DateLocale();
