#include "ads/foundation/HRNAdURLStash.h"

#include <map>
#include <mutex>
#include <string>

#include "platform/ui/View.h"

namespace {

struct Stash {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<platform::ui::View>> views;
};

Stash& stash() {
    static Stash* shared = new Stash();
    return *shared;
}

}  // namespace

std::optional<platform::net::URL> HRNAdURLStash::canonicalURLForURL(
    const std::optional<platform::net::URL>& url) {
    if (!url) return std::nullopt;
    if (url->port() || !url->hasAuthority() || url->host().empty()) return url;
    std::string text = url->absoluteString();
    // The port goes after the host of the authority: the authority ends at the first "/", "?"
    // or "#" after "//"; the same text elsewhere in the URL stays as it is.
    const auto slashes = text.find("//");
    if (slashes == std::string::npos) return url;
    const auto authorityEnd = text.find_first_of("/?#", slashes + 2);
    text.insert(authorityEnd == std::string::npos ? text.size() : authorityEnd, ":80");
    const auto hash = text.rfind('#');
    if (hash != std::string::npos) text.resize(hash);
    if (!text.empty() && text.back() == '/') text.pop_back();
    return platform::net::URL::parse(text);
}

void HRNAdURLStash::addForView(const std::optional<platform::net::URL>& url,
                               const std::shared_ptr<platform::ui::View>& view) {
    auto canonical = canonicalURLForURL(url);
    if (!canonical || !view) return;
    std::lock_guard lock(stash().lock);
    stash().views[canonical->absoluteString()] = view;
}

void HRNAdURLStash::remove(const std::optional<platform::net::URL>& url) {
    auto canonical = canonicalURLForURL(url);
    if (!canonical) return;
    std::lock_guard lock(stash().lock);
    stash().views.erase(canonical->absoluteString());
}

std::shared_ptr<platform::ui::View> HRNAdURLStash::viewForURL(
    const std::optional<platform::net::URL>& url) {
    auto canonical = canonicalURLForURL(url);
    if (!canonical) return nullptr;
    std::lock_guard lock(stash().lock);
    auto it = stash().views.find(canonical->absoluteString());
    return it == stash().views.end() ? nullptr : it->second.lock();
}

bool HRNAdURLStash::hasStashedURLs() {
    std::lock_guard lock(stash().lock);
    return !stash().views.empty();
}
