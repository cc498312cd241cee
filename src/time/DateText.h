#pragma once
#include "DateLocale.h"
#include "DateValue.h"

#include <QLocale>
#include <QString>
#include <optional>

// Date-time texts as the user's regional settings write them: the short date, one space,
// the long time with seconds and without a zone name; the date alone at exactly midnight.
// Years are always written in full so that every text reads back to the same second;
// a locale whose own form cannot be read back gets one that can.
class DateText
{
public:
    explicit DateText(const QLocale &locale = DateLocale());

    QString Format(const DateValue &v) const;
    // The time of day alone, in the long time format.
    QString FormatTime(const DateValue &v) const;
    // Reads a text written by Format; nothing when it is not one.
    std::optional<DateValue> Parse(const QString &text) const;

    const QLocale &Locale() const { return locale_; }

private:
    QLocale locale_;
    QLocale textLocale_; // the locale's own, or C where its texts do not read back
    QString dateFormat_;
    QString timeFormat_;
};
