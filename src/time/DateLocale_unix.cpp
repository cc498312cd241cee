#include "DateLocale.h"

QLocale DateLocale()
{
    for (const char *variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        // Qt reads "de_DE.UTF-8" and "en_GB.utf8@euro" by their language and territory, and
        // anything it does not know (C.UTF-8, POSIX) as C, as the C library falls back to C.
        if (!value.isEmpty())
            return QLocale(value);
    }
    return QLocale::c();
}
