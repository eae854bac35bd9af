// Pages as the web view loads them from an HTML text (ad creatives, the SDK-core page): the
// parse, the DOM built for scripts, inline scripts run, iframes offered and loaded, until the
// load finishes or fails. Everything a page fetches (scripts, images, frames, any host) reaches
// a loopback server that answers an empty page.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/web/WebView.h"

namespace {

using platform::web::WebView;

class Delegate : public platform::web::WebViewDelegate {
  public:
    void webViewDidFinishLoad(WebView&) override { done = true; }
    void didFailLoadWithError(WebView&, const platform::Error&) override { done = true; }
    bool done = false;
};

struct Page {
    qen::fuzz::LoopbackServer server;
    std::shared_ptr<WebView> view = std::make_shared<WebView>(platform::ui::Rect(0, 0, 320, 480));
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
};

Page*& page() {
    static Page* instance = nullptr;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    page() = new Page;  // lives as long as the process
    page()->server.setAnswer(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n");
    page()->server.becomeProxyForOtherHosts();
    page()->view->setDelegate(page()->delegate);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Page& p = *page();
    p.view->loadHTMLString(std::string(reinterpret_cast<const char*>(data), size),
                           platform::net::URL::parse(p.server.URLString("/ad/creative.html")));
    // Whatever the last run left loading was reported cancelled during the call: from here on
    // the delegate hears of this run's page (or of a page it navigated to).
    p.delegate->done = false;
    platform::RunLoop::main().runUntil([&] { return p.delegate->done; }, 30);
    return 0;
}
