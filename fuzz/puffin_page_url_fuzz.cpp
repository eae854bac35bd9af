// The messages a web-ad page sends the video network's SDK: the navigations the web video view
// is asked to decide ("pfsdk://eventhandler/eventtype/<function>/<key>/<value>..."), split,
// decoded and acted on by a view showing no ad (the page's calls are the SDK's: close, click,
// show, the video's progress, errors, tracking URLs). Tracking loads reach a loopback server.
//
// Input: the rest of the URL after the prefix; an input starting "@" is a whole URL instead.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "puffin/views/PFWebVideoView.h"

namespace {

qen::fuzz::LoopbackServer*& server() {
    static qen::fuzz::LoopbackServer* instance = nullptr;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    server() = new qen::fuzz::LoopbackServer;  // lives as long as the process
    server()->setAnswer("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
    server()->becomeProxyForOtherHosts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string url = !input.empty() && input[0] == '@'
                                ? input.substr(1)
                                : "pfsdk://eventhandler/eventtype/" + input;
    auto view = PFWebVideoView::create(platform::ui::Rect(0, 0, 320, 480));
    view->processURL(url);
    // What the call left for the main queue runs before the view goes.
    bool drained = false;
    platform::Queue::main()->async([&] { drained = true; });
    platform::RunLoop::main().runUntil([&] { return drained; }, 5);
    view->destroy();
    return 0;
}
