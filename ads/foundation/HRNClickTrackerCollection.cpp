#include "ads/foundation/HRNClickTrackerCollection.h"

#include "platform/dispatch/Queue.h"

std::shared_ptr<HRNClickTrackerCollection> HRNClickTrackerCollection::sharedInstance() {
    // Never destroyed: trackers may be in flight when the process ends.
    static const auto* shared = new std::shared_ptr<HRNClickTrackerCollection>(
        std::make_shared<HRNClickTrackerCollection>());
    return *shared;
}

HRNClickTrackerCollection::~HRNClickTrackerCollection() {
    for (auto& tracker : trackers_)
        tracker->reset();
}

void HRNClickTrackerCollection::trackURL(const std::optional<platform::net::URL>& url) {
    trackURLCacheEnabled(url, true);
}

void HRNClickTrackerCollection::trackURLCacheEnabled(const std::optional<platform::net::URL>& url,
                                                     bool cacheEnabled) {
    if (!url) return;
    auto tracker = std::make_shared<HRNClickTracker>();
    tracker->setDelegate(weak_from_this());
    tracker->setCacheEnabled(cacheEnabled);
    trackers_.push_back(tracker);
    tracker->trackURL(url);
}

void HRNClickTrackerCollection::trackURLsCacheEnabled(const std::vector<platform::net::URL>& urls,
                                                      bool cacheEnabled) {
    for (const auto& url : urls)
        trackURLCacheEnabled(url, cacheEnabled);
}

void HRNClickTrackerCollection::trackURLsCacheEnabled(const platform::Array& urls,
                                                      bool cacheEnabled) {
    for (const auto& element : urls) {
        const std::string* text = element.string();
        if (!text) continue;
        auto url = platform::net::URL::parse(*text);
        if (url && url->isAbsolute()) trackURLCacheEnabled(url, cacheEnabled);
    }
}

void HRNClickTrackerCollection::cleanupTrackers() {
    std::vector<std::shared_ptr<HRNClickTracker>> kept;
    for (auto& tracker : trackers_) {
        if (tracker->hasTracked())
            tracker->setDelegate({});
        else
            kept.push_back(tracker);
    }
    trackers_.swap(kept);
}

void HRNClickTrackerCollection::scheduleCleanup() {
    platform::Queue::main()->async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->cleanupTrackers();
    });
}

void HRNClickTrackerCollection::trackerDidRedirect(HRNClickTracker&,
                                                   const std::optional<platform::net::URL>&) {
    scheduleCleanup();
}

void HRNClickTrackerCollection::trackerDidFailWithError(HRNClickTracker&,
                                                        const std::optional<platform::Error>&) {
    scheduleCleanup();
}
