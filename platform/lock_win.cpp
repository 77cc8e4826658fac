// Re-entrant lock on Windows: a critical section.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

RecursiveLock::RecursiveLock() : FImpl(new CRITICAL_SECTION) {
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(FImpl));
}

RecursiveLock::~RecursiveLock() {
    CRITICAL_SECTION* section = static_cast<CRITICAL_SECTION*>(FImpl);
    DeleteCriticalSection(section);
    delete section;
}

void RecursiveLock::Enter() {
    EnterCriticalSection(static_cast<CRITICAL_SECTION*>(FImpl));
}

void RecursiveLock::Leave() {
    LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(FImpl));
}

}  // namespace platform
