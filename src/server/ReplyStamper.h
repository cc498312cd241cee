#pragma once
#include "TimeZone.h"

#include <QByteArray>
#include <QLocale>

// The stamp of a time reply, taken afresh for every request. The daylight box counts as
// set for every value but 0, so a grayed box (2) applies the daylight bias too.
class ReplyStamper
{
public:
    // zone must outlive this object.
    ReplyStamper(TimeZone &zone, const QLocale &locale);

    QByteArray Stamp(int chkDaylightSavingsValue) const;

private:
    TimeZone &zone_;
    QLocale locale_;
};
