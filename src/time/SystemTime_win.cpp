#include "LocalClock.h"
#include "TimeZoneRecord.h"

#include <windows.h>

TimeZoneRecord SystemTimeZoneSource::Query() const
{
    TIME_ZONE_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    GetTimeZoneInformation(&info); // a failed query leaves the zeros
    TimeZoneRecord r;
    r.Bias = info.Bias;
    r.DaylightBias = info.DaylightBias;
    return r;
}

DateValue SystemLocalClock::Now() const
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return MakeDateValue(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}
