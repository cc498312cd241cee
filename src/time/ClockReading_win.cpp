#include "ClockReading.h"

#include <windows.h>

namespace {

// The NTP client's peers as w32time.h (W32TimeQueryNTPProviderStatus) lays them out;
// declared here because mingw ships no such header.
struct NtpPeerInfo
{
    quint32 size, resolveAttempts;
    quint64 timeRemaining;
    quint64 lastSuccessfulSync; // 100 ns units since 1601, UTC; 0 when never
    quint32 lastSyncError, lastSyncErrorMsgId, validDataCounter, authTypeMsgId;
    wchar_t *uniqueName;
    BYTE mode, stratum, reachability, peerPollInterval, hostPollInterval;
};
struct NtpProviderData
{
    quint32 size, error, errorMsgId, peerCount;
    NtpPeerInfo *peers;
};
using QueryStatus = HRESULT(WINAPI *)(LPCWSTR, DWORD, LPWSTR, NtpProviderData **);
using BufferFree = void(WINAPI *)(LPVOID);

// The bound an undisciplined clock drifts by at most, as the Linux kernel grows its
// maximum error: 500 parts per million.
constexpr double Tolerance = 500e-6;
constexpr qint64 UnsyncedErrorUs = 16'000'000;

} // namespace

ClockReading ReadSystemClock()
{
    // Without the Windows Time service's word, nothing is known: another program may be
    // keeping the clock.
    static const HMODULE lib = LoadLibraryExW(L"w32time.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto query = lib ? reinterpret_cast<QueryStatus>(GetProcAddress(lib, "W32TimeQueryNTPProviderStatus"))
                           : nullptr;
    const auto release = lib ? reinterpret_cast<BufferFree>(GetProcAddress(lib, "W32TimeBufferFree")) : nullptr;
    NtpProviderData *data = nullptr;
    wchar_t provider[] = L"NtpClient";
    if (!query || !release || FAILED(query(nullptr, 0, provider, &data)) || !data)
        return {};
    quint64 last = 0;
    for (quint32 i = 0; i < data->peerCount; ++i)
        last = qMax(last, data->peers[i].lastSuccessfulSync);
    release(data);

    // Its last successful synchronisation bounds the error from then on; never one, or one
    // too long ago, is the kernel's unsynchronised state.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const quint64 nowTicks = (quint64(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    qint64 errorUs = UnsyncedErrorUs;
    if (last != 0 && last <= nowTicks)
        errorUs = qMin(UnsyncedErrorUs, qint64(double(nowTicks - last) / 10 * Tolerance));
    return {true, errorUs >= UnsyncedErrorUs ? ClockReading::Unsynced : 0, errorUs, std::nullopt};
}
