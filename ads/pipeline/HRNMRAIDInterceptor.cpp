#include "ads/pipeline/HRNMRAIDInterceptor.h"

#include <mutex>

namespace {

std::mutex& classLock() {
    static std::mutex lock;
    return lock;
}

bool gAllowed = false;  // under classLock()

}  // namespace

void HRNMRAIDInterceptor::allow() {
    std::lock_guard lock(classLock());
    gAllowed = true;
}

bool HRNMRAIDInterceptor::allowed() {
    std::lock_guard lock(classLock());
    return gAllowed;
}
