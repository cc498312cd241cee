#include "TimeZone.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

// Reading the zone through tzset() costs a stat() of /etc/localtime and the record a
// handful of localtime_r calls: microseconds, paid at every reply and clock tick. Both
// results only change with the second or with the zone, so the thread that runs the
// application's event loop keeps them per second while nothing says the zone changed:
// the TZ value is compared at every call, and /etc/localtime (the link, the file it
// names, and /etc where tools replace the link) is watched with inotify through that
// event loop, which costs nothing per call. Other threads, and a process without an
// application object, read the zone afresh at every call.
namespace {

constexpr const char *SystemZoneFile = "/etc/localtime";

class ZoneWatch
{
public:
    ~ZoneWatch() { Disarm(); }

    // Whether this thread may keep results: it runs the application's event loop.
    static bool Usable()
    {
        const QCoreApplication *app = QCoreApplication::instance();
        return app && app->thread() == QThread::currentThread();
    }

    // A number that changes whenever the zone may have changed since the last call.
    // Only on the thread for which Usable() holds.
    quint64 Generation()
    {
        const char *tz = std::getenv("TZ");
        if (bool(tz) != tzSet_ || (tz && tzValue_ != tz)) {
            tzSet_ = tz != nullptr;
            tzValue_ = tz ? tz : "";
            ++generation_;
        }
        // Armed afresh after each change, before the caller reads the zone again: the
        // link may now name another file. Whatever happened while nothing was watched
        // (the application gone, a failed arm) is unknown and counts as a change.
        if (changed_ || !notifier_) {
            Disarm();
            if (!Arm())
                return ++generation_;
            ++generation_;
        }
        return generation_;
    }

private:
    bool Arm()
    {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0)
            return false;
        constexpr quint32 fileEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
        // Replacing the link shows in its folder; the folder must be watched, the link and
        // its target only exist on some systems.
        if (inotify_add_watch(fd_, "/etc", IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR) < 0) {
            Disarm();
            return false;
        }
        inotify_add_watch(fd_, SystemZoneFile, fileEvents | IN_DONT_FOLLOW);
        inotify_add_watch(fd_, SystemZoneFile, fileEvents);
        // Owned by the application, so that it goes with it.
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier_.data(), &QSocketNotifier::activated, notifier_.data(), [this] {
            alignas(inotify_event) char buf[4096];
            while (::read(fd_, buf, sizeof buf) > 0) {
            }
            changed_ = true;
        });
        changed_ = false;
        return true;
    }

    void Disarm()
    {
        delete notifier_.data();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    QPointer<QSocketNotifier> notifier_;
    bool changed_ = false;
    bool tzSet_ = false;
    std::string tzValue_;
    quint64 generation_ = 1;
};

// The wall clock's current second; not time(), which reads the coarse clock and can lag
// the second's start by a few milliseconds.
time_t CurrentSecond()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

// UTC offset in minutes east of Greenwich at the given instant, or false.
bool OffsetAt(time_t t, long &minutesEast)
{
    struct tm lt;
    if (!localtime_r(&t, &lt))
        return false;
    minutesEast = lt.tm_gmtoff / 60;
    return true;
}

// The zone's standard offset is the smallest offset it uses in the year, its daylight
// amount the difference to the largest. This reads Europe/Dublin (whose tz data calls
// winter the "daylight" time) like Windows does: Bias 0, DaylightBias -60.
TimeZoneRecord RecordAt(time_t now)
{
    struct tm nowTm;
    if (!localtime_r(&now, &nowTm))
        return {};
    long lowest = 0, highest = 0;
    if (!OffsetAt(now, lowest))
        return {};
    highest = lowest;
    const long current = lowest;
    for (int month = 0; month < 12; month += 3) {
        struct tm probe = {};
        probe.tm_year = nowTm.tm_year;
        probe.tm_mon = month;
        probe.tm_mday = 1;
        probe.tm_hour = 12;
        const time_t t = timegm(&probe);
        long east = 0;
        if (!OffsetAt(t, east))
            return {};
        lowest = std::min(lowest, east);
        highest = std::max(highest, east);
    }
    TimeZoneRecord r;
    r.Bias = static_cast<qint32>(-lowest);
    r.DaylightBias = static_cast<qint32>(-(highest - lowest));
    r.DaylightInForce = current != lowest;
    return r;
}

DateValue LocalTimeAt(time_t now)
{
    struct tm lt;
    if (!localtime_r(&now, &lt))
        return DateValue::fromSecsSinceEpoch(now, Qt::UTC);
    return MakeDateValue(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, std::min(lt.tm_sec, 59));
}

// One per process, like the zone state of the C library it stands in front of; what it
// keeps is only touched by the application's thread.
class SystemTimeCache
{
public:
    TimeZoneRecord Record() { return RecordFor(Current()); }
    DateValue LocalNow() { return LocalFor(Current()); }
    // Both of one and the same second: a reply decides by the one how to read the other.
    TimeZone::Reading Both()
    {
        const Moment m = Current();
        return {RecordFor(m), LocalFor(m)};
    }

private:
    // The wall clock's second and, on the application's thread, the zone's generation.
    struct Moment
    {
        bool kept;
        quint64 generation;
        time_t second;
    };

    Moment Current()
    {
        Moment m{ZoneWatch::Usable(), 0, 0};
        if (m.kept)
            m.generation = watch_.Generation();
        else
            tzset(); // re-reads TZ and /etc/localtime
        m.second = CurrentSecond();
        return m;
    }

    TimeZoneRecord RecordFor(const Moment &m)
    {
        if (!m.kept)
            return RecordAt(m.second);
        if (m.generation != recordGeneration_ || m.second != recordSecond_) {
            tzset();
            record_ = RecordAt(m.second);
            recordGeneration_ = m.generation;
            recordSecond_ = m.second;
        }
        return record_;
    }

    DateValue LocalFor(const Moment &m)
    {
        if (!m.kept)
            return LocalTimeAt(m.second);
        if (m.generation != localGeneration_ || m.second != localSecond_) {
            tzset();
            local_ = LocalTimeAt(m.second);
            localGeneration_ = m.generation;
            localSecond_ = m.second;
        }
        return local_;
    }

    ZoneWatch watch_;
    TimeZoneRecord record_;
    quint64 recordGeneration_ = 0;
    time_t recordSecond_ = 0;
    DateValue local_;
    quint64 localGeneration_ = 0;
    time_t localSecond_ = 0;
};

SystemTimeCache &Cache()
{
    static SystemTimeCache cache;
    return cache;
}

} // namespace

TimeZoneRecord SystemTimeZoneSource::Query() const { return Cache().Record(); }

bool SystemTimeZoneSource::DaylightInForceAt(qint64 secsSinceEpoch) const
{
    tzset();
    return RecordAt(time_t(secsSinceEpoch)).DaylightInForce;
}

DateValue SystemLocalClock::Now() const { return Cache().LocalNow(); }

TimeZone::Reading TimeZone::ReadSystem() { return Cache().Both(); }

qint64 SystemLocalClock::ElapsedMs() const
{
    // CLOCK_MONOTONIC stops while the machine sleeps; CLOCK_BOOTTIME does not.
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
