#pragma once
// HRNAdURLStash: which ad view shows the page at a URL, so that a request made by that page
// (the MRAID script, recognised by its Referer) can be traced to its ad. Ad views add their
// page URLs and remove them when they go.
//
// Threading: any thread; every access holds one process-wide lock. Views are held weakly: the
// stash never keeps a view alive, and viewForURL hands back a strong reference taken under the
// lock (null once the view is gone).

#include <memory>
#include <optional>

#include "platform/net/URL.h"

namespace platform::ui {
class View;
}

class HRNAdURLStash {
  public:
    // Nothing when the URL has no canonical form.
    static void addForView(const std::optional<platform::net::URL>& url,
                           const std::shared_ptr<platform::ui::View>& view);
    static void remove(const std::optional<platform::net::URL>& url);
    static std::shared_ptr<platform::ui::View> viewForURL(
        const std::optional<platform::net::URL>& url);
    static bool hasStashedURLs();

    // The form URLs are compared in: port 80 added to the host (whatever the scheme), the text
    // cut at its last "#", one final "/" removed. A URL with an explicit port, or without a
    // host, is its own canonical form.
    static std::optional<platform::net::URL> canonicalURLForURL(
        const std::optional<platform::net::URL>& url);
};
