#include "ads/pipeline/HRNClickTracker.h"

#include <cctype>

#include "ads/formats/HRNRequestError.h"

HRNClickTracker::~HRNClickTracker() {
    if (tracker_) {
        tracker_->setDelegate({});
        tracker_->invalidate();
    }
    endBackgroundTask();
}

void HRNClickTracker::beginBackgroundTask() {
    endBackgroundTask();
    std::weak_ptr<HRNClickTracker> weakSelf = weak_from_this();
    backgroundTaskID_ =
        platform::ui::Application::shared().beginBackgroundTaskWithExpirationHandler([weakSelf] {
            if (auto self = weakSelf.lock()) self->reset();
        });
}

void HRNClickTracker::endBackgroundTask() {
    if (backgroundTaskID_ == platform::ui::kBackgroundTaskInvalid) return;
    platform::ui::Application::shared().endBackgroundTask(backgroundTaskID_);
    backgroundTaskID_ = platform::ui::kBackgroundTaskInvalid;
}

void HRNClickTracker::trackURL(const std::optional<platform::net::URL>& url) {
    reset();
    if (!url) return;
    trackingURL_ = url;
    beginBackgroundTask();
    tracker_ = HRNCachedFile::create(*url);
    tracker_->setDelegate(weak_from_this());
    if (!cacheEnabled_)
        tracker_->setCachePolicy(platform::net::CachePolicy::ReloadIgnoringLocalCacheData);
    tracker_->validate();
}

void HRNClickTracker::reset() {
    hasTracked_ = false;
    if (tracker_) {
        auto tracker = std::move(tracker_);
        tracker->setDelegate({});
        tracker->invalidate();
    }
    endBackgroundTask();
}

std::optional<platform::Error> HRNClickTracker::cachedFileShouldRedirectToURL(
    HRNCachedFile& file,
    const platform::net::URL& url) {
    std::string scheme = url.scheme();
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme.rfind("http", 0) == 0) return std::nullopt;
    // An app link: the ping has done its work.
    cachedFileDownloadDidEnd(file);
    return platform::Error(kHRNErrorDomain, 0);
}

void HRNClickTracker::cachedFileDownloadDidEnd(HRNCachedFile& file) {
    if (hasTracked_) return;
    hasTracked_ = true;
    auto self = shared_from_this();
    if (auto delegate = delegate_.lock())
        delegate->trackerDidRedirect(*this, file.HTTPDestinationURL());
    endBackgroundTask();
}

void HRNClickTracker::cachedFileDownloadDidFail(HRNCachedFile&,
                                                const std::optional<platform::Error>& error) {
    if (hasTracked_) return;
    hasTracked_ = true;
    auto self = shared_from_this();
    if (auto delegate = delegate_.lock()) delegate->trackerDidFailWithError(*this, error);
    endBackgroundTask();
}
