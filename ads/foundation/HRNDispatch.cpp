#include "ads/foundation/HRNDispatch.h"

#include "platform/dispatch/Queue.h"

void HRNDispatchToMainThread(std::function<void()> block) {
    if (!block) return;
    const auto& main = platform::Queue::main();
    if (main->isCurrent())
        block();
    else
        main->async(std::move(block));
}
