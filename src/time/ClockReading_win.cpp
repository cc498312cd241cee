#include "ClockReading.h"

#include <windows.h>

#include <cstddef>

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
// The layout of W32TIME_NTP_PEER_INFO and W32TIME_NTP_PROVIDER_DATA in the Windows Time
// protocol's documentation (MS-W32T 2.2.x), as the 64-bit and 32-bit compilers lay it out:
// a field out of place would read another field as the last synchronisation.
constexpr bool Wide = sizeof(void *) == 8;
static_assert(offsetof(NtpPeerInfo, resolveAttempts) == 4 && offsetof(NtpPeerInfo, timeRemaining) == 8);
static_assert(offsetof(NtpPeerInfo, lastSuccessfulSync) == 16 && offsetof(NtpPeerInfo, lastSyncError) == 24);
static_assert(offsetof(NtpPeerInfo, authTypeMsgId) == 36 && offsetof(NtpPeerInfo, uniqueName) == 40);
static_assert(offsetof(NtpPeerInfo, mode) == (Wide ? 48 : 44)
              && offsetof(NtpPeerInfo, hostPollInterval) == (Wide ? 52 : 48));
static_assert(sizeof(NtpPeerInfo) == 56 && alignof(NtpPeerInfo) == 8);
static_assert(offsetof(NtpProviderData, peerCount) == 12 && offsetof(NtpProviderData, peers) == 16);
static_assert(sizeof(NtpProviderData) == (Wide ? 24 : 20));
using QueryStatus = HRESULT(WINAPI *)(LPCWSTR, DWORD, LPWSTR, NtpProviderData **);
using BufferFree = void(WINAPI *)(LPVOID);

template <typename Function>
Function Find(HMODULE lib, const char *name)
{
    // Through a plain function pointer: FARPROC's own type says nothing of the real one.
    return lib ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name))) : nullptr;
}

// The bound an undisciplined clock drifts by at most, as the Linux kernel grows its
// maximum error: 500 parts per million.
constexpr double Tolerance = 500e-6;

// The NTP client's latest successful synchronisation of all its peers (0: none), or
// nothing when the service does not answer.
std::optional<quint64> AskLastSynchronisation()
{
    static const HMODULE lib = LoadLibraryExW(L"w32time.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto query = Find<QueryStatus>(lib, "W32TimeQueryNTPProviderStatus");
    const auto release = Find<BufferFree>(lib, "W32TimeBufferFree");
    NtpProviderData *data = nullptr;
    wchar_t provider[] = L"NtpClient";
    if (!query || !release || FAILED(query(nullptr, 0, provider, &data)) || !data)
        return std::nullopt;
    quint64 last = 0;
    for (quint32 i = 0; i < data->peerCount; ++i)
        last = qMax(last, data->peers[i].lastSuccessfulSync);
    release(data);
    return last;
}

} // namespace

ClockReading ReadSystemClock()
{
    // The service is asked once a minute, not at every tick: its answer changes only at a
    // synchronisation, and the call goes to another process. Without its word nothing is
    // known: another program may be keeping the clock.
    static std::optional<quint64> last;
    static ULONGLONG askedAt = 0;
    if (askedAt == 0 || GetTickCount64() - askedAt >= 60'000) {
        askedAt = GetTickCount64();
        last = AskLastSynchronisation();
    }
    if (!last)
        return {};

    // Its last successful synchronisation bounds the error from then on; never one, or one
    // too long ago, is the kernel's unsynchronised state.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const quint64 nowTicks = (quint64(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    qint64 errorUs = ClockReading::UnsyncedErrorUs;
    if (*last != 0 && *last <= nowTicks)
        errorUs = qMin(ClockReading::UnsyncedErrorUs, qint64(double(nowTicks - *last) / 10 * Tolerance));
    return {true, errorUs >= ClockReading::UnsyncedErrorUs ? ClockReading::Unsynced : 0, errorUs, std::nullopt};
}
