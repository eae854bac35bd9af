#pragma once
// Runs a piece of start-up work exactly once per flag, whichever thread asks first; the others
// wait until it has finished and then see everything it wrote. For process-wide objects made
// on first use (a function-local static does the same for a single object).

#include <mutex>
#include <utility>

namespace platform {

using OnceFlag = std::once_flag;

template <class Fn>
void once(OnceFlag& flag, Fn&& fn) {
    std::call_once(flag, std::forward<Fn>(fn));
}

}  // namespace platform
