#include "ads/rendering/opener/HRNOpener.h"

#include "ads/foundation/HRNLogger.h"

namespace {

void notYetOpened(const char* what, const std::optional<platform::net::URL>& url) {
    HRNLogFormat("%s %s: click-through actions are not available in this build.", what,
                 url ? url->absoluteString().c_str() : "(no URL)");
}

}  // namespace

void HRNOpener::openApp(const std::optional<platform::net::URL>& url) {
    notYetOpened("Open", url);
}

void HRNOpener::openBrowserToURLSupportedOrientations(const std::optional<platform::net::URL>& url,
                                                      uint64_t) {
    notYetOpened("Browser", url);
}

void HRNOpener::openEmailComposer(const std::optional<platform::net::URL>& url) {
    notYetOpened("Mail", url);
}

void HRNOpener::openSmsComposer(const std::optional<platform::net::URL>& url) {
    notYetOpened("Messages", url);
}
