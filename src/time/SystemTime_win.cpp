#include "TimeZone.h"

#include <windows.h>

TimeZoneRecord SystemTimeZoneSource::Query() const
{
    TIME_ZONE_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    const DWORD id = GetTimeZoneInformation(&info); // a failed query leaves the zeros
    TimeZoneRecord r;
    r.Bias = info.Bias;
    r.DaylightBias = info.DaylightBias;
    r.DaylightInForce = id == TIME_ZONE_ID_DAYLIGHT;
    return r;
}

bool SystemTimeZoneSource::DaylightInForceAt(qint64 secsSinceEpoch) const
{
    TIME_ZONE_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    GetTimeZoneInformation(&info);
    if (info.DaylightBias == 0)
        return false;
    // The local time the zone's rules give that instant tells which offset was in force.
    constexpr qint64 FileTimeUnitsPerSecond = 10000000, SecondsFrom1601To1970 = 11644473600;
    ULARGE_INTEGER at;
    at.QuadPart = quint64(secsSinceEpoch + SecondsFrom1601To1970) * FileTimeUnitsPerSecond;
    const FILETIME utcFile{at.LowPart, at.HighPart};
    SYSTEMTIME utc, local;
    FILETIME localFile;
    if (!FileTimeToSystemTime(&utcFile, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)
        || !SystemTimeToFileTime(&local, &localFile))
        return false;
    ULARGE_INTEGER localAt;
    localAt.LowPart = localFile.dwLowDateTime;
    localAt.HighPart = localFile.dwHighDateTime;
    const qint64 minutesEast = (qint64(localAt.QuadPart) - qint64(at.QuadPart)) / (FileTimeUnitsPerSecond * 60);
    return -minutesEast == qint64(info.Bias) + info.DaylightBias;
}

DateValue SystemLocalClock::Now() const
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return MakeDateValue(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

// Counts time asleep too, and no setting of the clock moves it.
qint64 SystemLocalClock::ElapsedMs() const { return qint64(GetTickCount64()); }

TimeZone::Reading TimeZone::ReadSystem() { return ReadTwice(SystemTimeZoneSource(), SystemLocalClock()); }
