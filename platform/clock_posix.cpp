// Local time and thread identifier on POSIX systems.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

LocalDateTime LocalNow() {
    // One reading of the clock gives both the date and the time.
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    time_t seconds = now.tv_sec;
    struct tm local = {};
    localtime_r(&seconds, &local);
    LocalDateTime result;
    result.Year = local.tm_year + 1900;
    result.Month = local.tm_mon + 1;
    result.Day = local.tm_mday;
    result.Hour = local.tm_hour;
    result.Minute = local.tm_min;
    result.Second = local.tm_sec;
    result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
}

uint64_t MonotonicMilliseconds() {
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

}  // namespace platform
