#pragma once
#include "ClockTick.h"
#include "DateLocale.h"
#include "DateValue.h"
#include "TimeZone.h"

#include <QByteArray>
#include <QLocale>

// The answer to a client's request: the bytes received, a colon, and the UTC stamp, the
// picture "ddmmmyyhhnnss" upper-cased (time -> time:05DEC26220252). Nothing is added and
// the request is never looked at, so any byte (NUL, CR, LF) is echoed as it came.
//
// The daylight box counts as set for every value but 0, so a grayed box (2) applies the
// daylight bias too. The zone is asked at every request; only the stamp's text is kept,
// per UTC second and per choice of function, since the month names do not change while
// the program runs.
class TimeReply
{
public:
    // zone must outlive this object.
    explicit TimeReply(const TimeZone &zone, const QLocale &locale = DateLocale());

    // follow: the clock tick whose view of the zone the box is taken with (see
    // ClockTick::DaylightFor), so that a change of the clocks counts from its very second;
    // none: the box alone.
    QByteArray Answer(const QByteArray &request, int chkDaylightSavingsValue, const ClockTick *follow = nullptr) const;
    QByteArray Stamp(int chkDaylightSavingsValue, const ClockTick *follow = nullptr) const;

    // 13 characters under C and every English locale (JAN..DEC); other languages take
    // the platform's abbreviated month, which may be longer or shorter.
    static QByteArray FormatStamp(const DateValue &utc, const QLocale &locale);

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
