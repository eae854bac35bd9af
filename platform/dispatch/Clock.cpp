#include "platform/dispatch/Clock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "platform/dispatch/DispatchInternal.h"

namespace platform {

namespace {

std::atomic<bool> virtualMode{false};
std::atomic<double> virtualNow{0};
std::atomic<double> virtualWallOffset{0};  // wallNow() - now() on the virtual clock
std::mutex modeMutex;

double realNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double realWallNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

namespace detail {
// The scheduler moves the virtual clock as it steps through deadlines.
void setVirtualNow(double t) {
    virtualNow.store(t);
}
double virtualTime() {
    return virtualNow.load();
}
}  // namespace detail

double Clock::now() {
    return virtualMode.load() ? virtualNow.load() : realNow();
}

double Clock::wallNow() {
    return virtualMode.load() ? virtualNow.load() + virtualWallOffset.load() : realWallNow();
}

void Clock::sleepFor(double seconds) {
    if (virtualMode.load()) {
        advance(seconds);
        return;
    }
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void Clock::useVirtual(std::optional<double> wallStart) {
    {
        std::lock_guard lock(modeMutex);
        if (!virtualMode.load()) {
            // A whole second, so that sums of the usual delays stay exact.
            const double start = std::ceil(realNow());
            virtualNow.store(start);
            virtualWallOffset.store(realWallNow() - start);
            virtualMode.store(true);
        }
        if (wallStart) virtualWallOffset.store(*wallStart - virtualNow.load());
    }
    detail::scheduler::clockModeChanged();
}

bool Clock::isVirtual() {
    return virtualMode.load();
}

void Clock::advance(double seconds) {
    if (!virtualMode.load()) detail::fail("Clock::advance needs the virtual clock (useVirtual)");
    detail::scheduler::advanceBy(seconds > 0 ? seconds : 0);
}

}  // namespace platform
