// The forwarders through which every event of the SDK reaches the application's delegate:
// asynchronously on the main queue (reading the delegate when the call runs, so one that is
// gone receives nothing and a replaced one the call), or directly on the calling thread.

#include "platform/dispatch/Queue.h"
#include "puffin/core/Puffin.h"

std::shared_ptr<PuffinDelegate> Puffin::delegate() const {
    std::lock_guard guard(mutex_);
    return delegate_.lock();
}

void Puffin::onMainQueue(std::function<void(PuffinDelegate&)> call) {
    if (!delegate()) return;
    auto self = shared_from_this();
    platform::Queue::main()->async([self, call = std::move(call)] {
        if (auto d = self->delegate()) call(*d);
    });
}

namespace {

// A should-question: yes unless the delegate says no.
template <typename Ask>
bool ask(const std::shared_ptr<PuffinDelegate>& d, Ask question) {
    if (!d) return true;
    return question(*d).value_or(true);
}

}  // namespace

void Puffin::didInitialize(bool success) {
    onMainQueue([success](PuffinDelegate& d) { d.didInitialize(success); });
}
bool Puffin::shouldRequestInterstitial(const std::string& location) {
    return ask(delegate(),
               [&](PuffinDelegate& d) { return d.shouldRequestInterstitial(location); });
}
bool Puffin::shouldDisplayInterstitial(const std::string& location) {
    return ask(delegate(),
               [&](PuffinDelegate& d) { return d.shouldDisplayInterstitial(location); });
}
void Puffin::didDisplayInterstitial(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didDisplayInterstitial(location); });
}
void Puffin::didCacheInterstitial(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCacheInterstitial(location); });
}
void Puffin::didFailToLoadInterstitialWithError(const std::string& location, uint64_t error) {
    onMainQueue([location, error](PuffinDelegate& d) {
        d.didFailToLoadInterstitialWithError(location, error);
    });
}
void Puffin::didFailToRecordClickWithError(const std::string& location, uint64_t error) {
    if (auto d = delegate()) d->didFailToRecordClickWithError(location, error);
}
void Puffin::didDismissInterstitial(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didDismissInterstitial(location); });
}
void Puffin::didCloseInterstitial(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCloseInterstitial(location); });
}
void Puffin::didClickInterstitial(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didClickInterstitial(location); });
}
bool Puffin::shouldDisplayMoreApps(const std::string& location) {
    return ask(delegate(), [&](PuffinDelegate& d) { return d.shouldDisplayMoreApps(location); });
}
void Puffin::didDisplayMoreApps(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didDisplayMoreApps(location); });
}
void Puffin::didCacheMoreApps(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCacheMoreApps(location); });
}
void Puffin::didDismissMoreApps(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didDismissMoreApps(location); });
}
void Puffin::didCloseMoreApps(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCloseMoreApps(location); });
}
void Puffin::didClickMoreApps(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didClickMoreApps(location); });
}
void Puffin::didFailToLoadMoreAppsWithError(const std::string& location, uint64_t error) {
    onMainQueue([location, error](PuffinDelegate& d) {
        d.didFailToLoadMoreAppsWithError(location, error);
    });
}
void Puffin::didPrefetchVideos() {
    completeInitializationPhase(1);
    onMainQueue([](PuffinDelegate& d) { d.didPrefetchVideos(); });
}
bool Puffin::shouldDisplayRewardedVideo(const std::string& location) {
    return ask(delegate(),
               [&](PuffinDelegate& d) { return d.shouldDisplayRewardedVideo(location); });
}
void Puffin::didDisplayRewardedVideo(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didDisplayRewardedVideo(location); });
}
void Puffin::didCacheRewardedVideo(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCacheRewardedVideo(location); });
}
void Puffin::didFailToLoadRewardedVideoWithError(const std::string& location, uint64_t error) {
    onMainQueue([location, error](PuffinDelegate& d) {
        d.didFailToLoadRewardedVideoWithError(location, error);
    });
}
void Puffin::didDismissRewardedVideo(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didDismissRewardedVideo(location); });
}
void Puffin::didCloseRewardedVideo(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCloseRewardedVideo(location); });
}
void Puffin::didClickRewardedVideo(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didClickRewardedVideo(location); });
}
void Puffin::didCompleteRewardedVideoWithReward(const std::string& location, int32_t reward) {
    onMainQueue([location, reward](PuffinDelegate& d) {
        d.didCompleteRewardedVideoWithReward(location, reward);
    });
}
void Puffin::didCacheInPlay(const std::string& location) {
    onMainQueue([location](PuffinDelegate& d) { d.didCacheInPlay(location); });
}
void Puffin::didFailToLoadInPlayWithError(const std::string& location, uint64_t error) {
    onMainQueue(
        [location, error](PuffinDelegate& d) { d.didFailToLoadInPlayWithError(location, error); });
}
void Puffin::willDisplayVideo(const std::string& location) {
    if (auto d = delegate()) d->willDisplayVideo(location);
}
void Puffin::didCompleteAppStoreSheetFlow() {
    if (auto d = delegate()) d->didCompleteAppStoreSheetFlow();
}
void Puffin::didPauseClickForConfirmation() {
    if (auto d = delegate()) d->didPauseClickForConfirmation();
}
void Puffin::willDisplayView() {
    if (auto d = delegate()) d->willDisplayView();
}
void Puffin::didDismissView() {
    if (auto d = delegate()) d->didDismissView();
}
