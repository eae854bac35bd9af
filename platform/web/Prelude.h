#pragma once
// The DOM written in JavaScript, run in every page's context before the page. It stands on
// the object `__native` (tree parsing, URL resolution, navigation, timers, fetches, console)
// and leaves `__dom` for the native side to drive the load. Main thread only.

namespace platform::web {

extern const char* const kPrelude;

}  // namespace platform::web
