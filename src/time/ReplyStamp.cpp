#include "ReplyStamp.h"
#include "StampMonth.h"

namespace {
void AppendTwoDigits(QByteArray &out, int n)
{
    out.append(char('0' + n / 10));
    out.append(char('0' + n % 10));
}
} // namespace

QByteArray ReplyStamp::Format(const DateValue &utc, const QLocale &locale)
{
    const QDate d = utc.date();
    const QTime t = utc.time();
    QByteArray out;
    out.reserve(16);
    AppendTwoDigits(out, d.day());
    out.append(StampMonth::Abbreviation(d.month(), locale).toUtf8());
    AppendTwoDigits(out, ((d.year() % 100) + 100) % 100);
    AppendTwoDigits(out, t.hour());
    AppendTwoDigits(out, t.minute());
    AppendTwoDigits(out, t.second());
    return out;
}
