#pragma once
// The ad SDK's one road to the main thread, for user-interface and delegate work.

#include <functional>

// Runs the block before returning when called on the main thread; otherwise queues it on the
// main queue, where it runs at the main run loop's next turn, after blocks queued before it.
void HRNDispatchToMainThread(std::function<void()> block);
