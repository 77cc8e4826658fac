// Re-entrant lock on POSIX systems.
#include <mutex>

#include "platform/platform.h"

namespace platform {

RecursiveLock::RecursiveLock() : FImpl(new std::recursive_mutex) {}

RecursiveLock::~RecursiveLock() {
    delete static_cast<std::recursive_mutex*>(FImpl);
}

void RecursiveLock::Enter() {
    static_cast<std::recursive_mutex*>(FImpl)->lock();
}

void RecursiveLock::Leave() {
    static_cast<std::recursive_mutex*>(FImpl)->unlock();
}

}  // namespace platform
