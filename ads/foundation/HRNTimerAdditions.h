#pragma once
// Timers that run a block without keeping their owner alive: the timer holds only a small
// target with the block, the caller captures its owner weakly in the block, and the owner
// invalidates the timer when it goes away. Used by the scheduler and by the SDK's periodic
// work (token refresh, viewability sampling, screen walks).
//
// The timer runs on the main run loop (platform::Timer on the main queue, reading the Clock):
// each fire calls the block on the main thread with the timer. The first fire comes one
// interval after scheduling. Call from any thread.

#include <functional>
#include <memory>

#include "platform/dispatch/Timer.h"

// A timer with the interval and repeat flag, its tolerance set when above 0, already scheduled.
std::shared_ptr<platform::Timer> hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
    double interval,
    bool repeats,
    double tolerance,
    std::function<void(platform::Timer&)> block);
