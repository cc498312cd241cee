#pragma once
#include "DateValue.h"

#include <QByteArray>
#include <QLocale>

// The 13-character UTC stamp of a time reply: the picture "ddmmmyyhhnnss" upper-cased,
// e.g. 05DEC26220252. The month is the locale's abbreviation, so other languages may
// give another length.
namespace ReplyStamp {
QByteArray Format(const DateValue &utc, const QLocale &locale = QLocale::system());
}
