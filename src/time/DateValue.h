#pragma once
#include <QDateTime>

// A date value is a wall-clock reading without a zone: local time or UTC, whole seconds.
// It is carried in a QDateTime in Qt::UTC so that adding minutes is plain
// calendar arithmetic, untouched by daylight-saving gaps of the machine's zone.
using DateValue = QDateTime;

inline DateValue MakeDateValue(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DateValue(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

// The zero date value: 30 December 1899, 00:00:00.
inline DateValue ZeroDateValue() { return MakeDateValue(1899, 12, 30); }
