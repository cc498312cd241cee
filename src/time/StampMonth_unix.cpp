#include "StampMonth.h"

#include <langinfo.h>
#include <locale.h>

std::optional<QString> StampMonth::PlatformAbbreviation(int month, const QLocale &locale)
{
    // Generated locales are named de_DE.UTF-8 or de_DE.utf8; the bare name may be Latin-1.
    const QString name = locale.name();
    for (const QString &candidate : {name + QStringLiteral(".UTF-8"), name + QStringLiteral(".utf8")}) {
        const locale_t c = newlocale(LC_TIME_MASK, candidate.toLatin1().constData(), locale_t(nullptr));
        if (!c)
            continue;
        const QString text = QString::fromUtf8(nl_langinfo_l(ABMON_1 + month - 1, c));
        freelocale(c);
        if (!text.isEmpty())
            return text;
    }
    return std::nullopt;
}
