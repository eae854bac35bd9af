#pragma once
// HRNClickTracker: fires one click or tracking URL through an HRNCachedFile, follows HTTP
// redirects only, and tells its delegate once how the ping ended. A redirect to a scheme that
// is not http(s) (an app link) counts as the end of the ping. HRNClickTrackerCollection keeps
// trackers alive until they are done.
//
// Threading: main thread only; delegate calls come on the main thread from the main run loop,
// at most one per trackURL.

#include <memory>
#include <optional>

#include "ads/foundation/HRNCachedFile.h"
#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "platform/ui/Application.h"

class HRNClickTracker;

// Both operations are optional.
class HRNClickTrackerDelegate {
  public:
    virtual ~HRNClickTrackerDelegate() = default;
    // The ping ended; `finalURL` is the URL of the last request (or of the app link).
    virtual void trackerDidRedirect(HRNClickTracker& /*tracker*/,
                                    const std::optional<platform::net::URL>& /*finalURL*/) {}
    virtual void trackerDidFailWithError(HRNClickTracker& /*tracker*/,
                                         const std::optional<platform::Error>& /*error*/) {}
};

class HRNClickTracker : public HRNCachedFileDelegate,
                        public std::enable_shared_from_this<HRNClickTracker> {
  public:
    HRNClickTracker() = default;
    ~HRNClickTracker() override;

    // Abandons any ping in flight (silently), then pings `url`; nothing more without one.
    void trackURL(const std::optional<platform::net::URL>& url);
    // Forgets the ping: no delegate call comes for it.
    void reset();

    bool hasTracked() const { return hasTracked_; }
    bool isCacheEnabled() const { return cacheEnabled_; }
    // false: the ping ignores locally cached answers.
    void setCacheEnabled(bool enabled) { cacheEnabled_ = enabled; }
    std::shared_ptr<HRNClickTrackerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNClickTrackerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    const std::optional<platform::net::URL>& trackingURL() const { return trackingURL_; }

    // HRNCachedFileDelegate
    std::optional<platform::Error> cachedFileShouldRedirectToURL(
        HRNCachedFile& file,
        const platform::net::URL& url) override;
    void cachedFileDownloadDidEnd(HRNCachedFile& file) override;
    void cachedFileDownloadDidFail(HRNCachedFile& file,
                                   const std::optional<platform::Error>& error) override;

  private:
    // The ping asks for time to finish when the app leaves the foreground; when that time runs
    // out, the ping is forgotten.
    void beginBackgroundTask();
    void endBackgroundTask();

    std::shared_ptr<HRNCachedFile> tracker_;
    platform::ui::BackgroundTaskIdentifier backgroundTaskID_ = platform::ui::kBackgroundTaskInvalid;
    bool hasTracked_ = false;
    bool cacheEnabled_ = true;
    std::weak_ptr<HRNClickTrackerDelegate> delegate_;
    std::optional<platform::net::URL> trackingURL_;
};
