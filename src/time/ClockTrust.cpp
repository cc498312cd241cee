#include "ClockTrust.h"

#include <QRegularExpression>

#include <cmath>

ClockStatus ClockStatus::Judge(const ClockReading &r)
{
    ClockStatus s;
    if (!r.known)
        return s;
    s.leapPending = r.status & (ClockReading::LeapInsert | ClockReading::LeapDelete);
    if (r.maximumErrorUs) {
        s.maximumError = double(*r.maximumErrorUs) / 1e6;
        s.state = *r.maximumErrorUs < ClockReading::UnsyncedErrorUs ? State::Synchronised : State::Unsynchronised;
    }
    if (r.estimatedErrorUs)
        s.estimatedError = double(*r.estimatedErrorUs) / 1e6;
    return s;
}

std::optional<ClockRequirement> ClockRequirement::FromText(QStringView bound)
{
    if (bound.isEmpty())
        return ClockRequirement{};
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9}(?:\\.[0-9]{1,6})?)(us|ms|s)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(bound);
    if (!m.hasMatch())
        return std::nullopt;
    const QString unit = m.captured(2).toLower();
    const double seconds = m.captured(1).toDouble() * (unit == u"s" ? 1 : unit == u"ms" ? 1e-3 : 1e-6);
    if (seconds <= 0 || seconds > ClockReading::UnsyncedErrorUs / 1e6)
        return std::nullopt;
    return ClockRequirement{seconds};
}

bool ClockRequirement::MetBy(const ClockStatus &s) const
{
    return s.state == ClockStatus::State::Synchronised
           && (!maximumError || (s.maximumError && *s.maximumError <= *maximumError));
}

QString ClockRequirement::Text() const
{
    return QStringLiteral("require-synchronised-clock") + (maximumError ? u' ' + ErrorText(*maximumError) : QString());
}

QString ErrorText(double seconds)
{
    // Cut, not rounded, to a tenth: a clock within 16 s never reads as 16 s.
    const auto tenths = [](double v) { return QString::number(std::floor(v * 10) / 10); };
    if (seconds >= 1)
        return tenths(seconds) + QStringLiteral(" s");
    if (seconds >= 1e-3)
        return tenths(seconds * 1e3) + QStringLiteral(" ms");
    return QString::number(qRound64(seconds * 1e6)) + QStringLiteral(" us");
}

QString ClockStateLine(const ClockStatus &s, bool again, const ClockRequirement *unmet)
{
    QString line;
    switch (s.state) {
    case ClockStatus::State::Unknown:
        line = QStringLiteral("whether the system clock is synchronised is unknown");
        break;
    case ClockStatus::State::Synchronised:
        line = again ? QStringLiteral("the system clock is synchronised again")
                     : QStringLiteral("the system clock is synchronised");
        break;
    case ClockStatus::State::Unsynchronised: line = QStringLiteral("the system clock is not synchronised"); break;
    }
    if (s.maximumError)
        line += QStringLiteral(" (maximum error %1)").arg(ErrorText(*s.maximumError));
    if (s.leapPending)
        line += QStringLiteral("; a leap second is due at midnight UTC");
    if (unmet)
        line += QStringLiteral("; refusing clients, Access.txt: ") + unmet->Text();
    return line;
}

bool ClockTrust::Refresh()
{
    const ClockStatus::State before = status_.state;
    status_ = ClockStatus::Judge(reader_());
    const bool changed = !everRead_ || status_.state != before;
    everRead_ = true;
    return changed;
}
