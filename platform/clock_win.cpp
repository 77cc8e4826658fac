// Local time and thread identifier on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

LocalDateTime LocalNow() {
    // One reading of the clock gives both the date and the time.
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalDateTime result;
    result.Year = now.wYear;
    result.Month = now.wMonth;
    result.Day = now.wDay;
    result.Hour = now.wHour;
    result.Minute = now.wMinute;
    result.Second = now.wSecond;
    result.Millisecond = now.wMilliseconds;
    return result;
}

uint64_t MonotonicMilliseconds() {
    return static_cast<uint64_t>(GetTickCount64());
}

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(GetCurrentThreadId());
}

}  // namespace platform
