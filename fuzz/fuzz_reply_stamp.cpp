// One time reply for any request, zone record, local time and daylight box: the request
// comes back byte for byte in front of the colon, and the stamp names the UTC moment the
// record gives, read back field by field.
#include "FakeTime.h"
#include "FuzzCheck.h"
#include "ReplyStamper.h"
#include "TimeReply.h"
#include "TimeZone.h"

#include <QLocale>
#include <cstring>
#include <limits>

namespace {

template <typename T>
T Take(const uint8_t *&data, size_t &size)
{
    T value{};
    const size_t n = std::min(sizeof value, size);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

int MonthOf(const QByteArray &abbreviation)
{
    static const char *months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int i = 0; i < 12; ++i)
        if (abbreviation == months[i])
            return i + 1;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FakeTimeZoneSource source;
    source.record.Bias = Take<qint32>(data, size);
    source.record.DaylightBias = Take<qint32>(data, size);
    // Local clock anywhere in 1900..2099, whole seconds.
    const quint32 secondsSince1900 = Take<quint32>(data, size) % (200u * 366 * 86400);
    const int box = Take<uint8_t>(data, size) % 3;
    FakeLocalClock clock;
    clock.now = MakeDateValue(1900, 1, 1).addSecs(secondsSince1900);
    const QByteArray request(reinterpret_cast<const char *>(data), qsizetype(size));

    TimeZone zone(source, clock);
    ReplyStamper stamper(zone, QLocale::c());
    const QByteArray reply = BuildTimeReply(request, stamper.Stamp(box));

    FUZZ_CHECK(reply.size() == request.size() + 14);
    FUZZ_CHECK(reply.startsWith(request));
    FUZZ_CHECK(reply.at(request.size()) == ':');

    // The moment the stamp should show: the daylight bias only for a set box, and only
    // when the sum fits (a forged record falls back to the standard bias).
    const qint64 daylightSum = qint64(source.record.Bias) + source.record.DaylightBias;
    const bool sumFits = daylightSum >= std::numeric_limits<qint32>::min()
                         && daylightSum <= std::numeric_limits<qint32>::max();
    const qint64 minutes = (box != 0 && sumFits) ? daylightSum : source.record.Bias;
    const QDateTime expected = clock.now.addSecs(minutes * 60);

    const QByteArray stamp = reply.right(13);
    const int day = stamp.mid(0, 2).toInt();
    const int month = MonthOf(stamp.mid(2, 3));
    const int yy = stamp.mid(5, 2).toInt();
    const QTime time(stamp.mid(7, 2).toInt(), stamp.mid(9, 2).toInt(), stamp.mid(11, 2).toInt());
    FUZZ_CHECK(day == expected.date().day());
    FUZZ_CHECK(month == expected.date().month());
    FUZZ_CHECK(yy == ((expected.date().year() % 100) + 100) % 100);
    FUZZ_CHECK(time == expected.time());
    return 0;
}
