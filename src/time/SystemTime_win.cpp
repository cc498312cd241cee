#include "LocalClock.h"
#include "TimeZoneRecord.h"

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

DateValue SystemLocalClock::Now() const
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return MakeDateValue(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}
