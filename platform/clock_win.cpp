// Local time and thread identifier on Windows.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace platform {

namespace {

const uint64_t TicksPerMillisecond = 10000;  // FILETIME counts 100 ns
const uint64_t TicksPerSecond = 1000 * TicksPerMillisecond;
const uint64_t TicksPerMinute = 60 * TicksPerSecond;

// The local date and time of the start of one UTC minute, packed into one
// word so that threads read it whole without a lock: the minute (29 bits,
// counted from 1601: enough until the year 2621), then year (15), month (4), day (5), hour (5) and
// minute (6) of the local time. Zero: nothing yet.
std::atomic<uint64_t> GLocalMinute{0};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "read without a lock on every arch");

uint64_t Pack(uint64_t utcMinute, const SYSTEMTIME& local) {
    return (utcMinute << 35) | (static_cast<uint64_t>(local.wYear & 0x7FFF) << 20) |
           (static_cast<uint64_t>(local.wMonth & 0xF) << 16) | (static_cast<uint64_t>(local.wDay & 0x1F) << 11) |
           (static_cast<uint64_t>(local.wHour & 0x1F) << 6) | static_cast<uint64_t>(local.wMinute & 0x3F);
}

}  // namespace

LocalDateTime LocalNow() {
    // One reading of the clock gives both the date and the time. GetLocalTime
    // converts every reading to local time, which costs more than the write
    // of a log line; time zone offsets are whole minutes and change only at
    // the start of a minute, so the conversion is made once per UTC minute
    // (for that minute's start, by the zone's own rules) and the seconds and
    // milliseconds are those of the UTC reading. A change of the time zone
    // setting shows from the next minute on.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    uint64_t packed = GLocalMinute.load(std::memory_order_acquire);
    uint64_t start = (packed >> 35) * TicksPerMinute;
    // (Compared, not divided: 64-bit division is a library call on i386.)
    if (packed == 0 || ticks < start || ticks - start >= TicksPerMinute) {
        const uint64_t utcMinute = ticks / TicksPerMinute;
        start = utcMinute * TicksPerMinute;
        FILETIME startTime;
        startTime.dwLowDateTime = static_cast<DWORD>(start & 0xFFFFFFFFu);
        startTime.dwHighDateTime = static_cast<DWORD>(start >> 32);
        SYSTEMTIME utc, local;
        if (utcMinute > 0x1FFFFFFFu || !FileTimeToSystemTime(&startTime, &utc) ||
            !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            // No conversion: the system's own reading, uncached.
            SYSTEMTIME direct;
            GetLocalTime(&direct);
            return LocalDateTime{direct.wYear,   direct.wMonth,  direct.wDay,         direct.wHour,
                                 direct.wMinute, direct.wSecond, direct.wMilliseconds};
        }
        packed = Pack(utcMinute, local);
        GLocalMinute.store(packed, std::memory_order_release);
    }
    const uint32_t within = static_cast<uint32_t>(ticks - start);  // under a minute
    LocalDateTime result;
    result.Year = static_cast<int>((packed >> 20) & 0x7FFF);
    result.Month = static_cast<int>((packed >> 16) & 0xF);
    result.Day = static_cast<int>((packed >> 11) & 0x1F);
    result.Hour = static_cast<int>((packed >> 6) & 0x1F);
    result.Minute = static_cast<int>(packed & 0x3F);
    result.Second = static_cast<int>(within / static_cast<uint32_t>(TicksPerSecond));
    result.Millisecond =
        static_cast<int>((within % static_cast<uint32_t>(TicksPerSecond)) / static_cast<uint32_t>(TicksPerMillisecond));
    return result;
}

uint64_t MonotonicMilliseconds() {
    return static_cast<uint64_t>(GetTickCount64());
}

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(GetCurrentThreadId());
}

}  // namespace platform
