#pragma once
#include "TimeZone.h"

#include <QByteArray>
#include <QLocale>

// The stamp of a time reply, taken afresh for every request. The daylight box counts as
// set for every value but 0, so a grayed box (2) applies the daylight bias too.
//
// The zone is asked at every request; only the text is kept, per UTC second and per
// choice of function, since the locale's month names do not change while it runs.
class ReplyStamper
{
public:
    // zone must outlive this object.
    ReplyStamper(const TimeZone &zone, const QLocale &locale);

    QByteArray Stamp(int chkDaylightSavingsValue) const;

private:
    struct Kept
    {
        qint64 utcSecond = 0;
        QByteArray text;
    };

    QByteArray TextFor(const DateValue &utc, Kept &kept) const;

    const TimeZone &zone_;
    QLocale locale_;
    mutable Kept standard_; // the text kept is no part of what the object means
    mutable Kept daylight_;
};
