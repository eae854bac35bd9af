#include "puffin/core/PFImpression.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/URLOpening.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/Puffin.h"
#include "puffin/views/PFNativeInterstitialView.h"
#include "puffin/views/PFWebVideoView.h"

using platform::Dictionary;
using platform::Value;

namespace {

std::optional<std::string> textAt(const Dictionary& response, const char* key) {
    auto it = response.find(key);
    if (it == response.end()) return std::nullopt;
    if (it->second.isString()) return *it->second.string();
    if (it->second.isNumber()) return platform::json::serialize(it->second);
    return std::nullopt;
}

bool isInterstitialKind(int32_t type) {
    return type == PFImpression::Interstitial || type == PFImpression::RewardedVideo ||
           type == PFImpression::VideoInterstitial;
}

// Runs `work` on the main thread: at once there, else waiting for the main queue.
void onMainThread(const std::function<void()>& work) {
    if (platform::Queue::main()->isCurrent())
        work();
    else
        platform::Queue::main()->sync(work);
}

}  // namespace

std::shared_ptr<PFImpression> PFImpression::initWithResponseTypeLocationDelegate(
    const Dictionary& response,
    int32_t type,
    const std::optional<std::string>& location,
    std::weak_ptr<PFImpressionProtocol> delegate) {
    std::shared_ptr<PFImpression> impression(new PFImpression());
    if (textAt(response, "type") == "native") {
        impression->format_ = 0;
        if (type != MoreApps && !response.count("link")) return nullptr;
    } else {
        impression->format_ = 1;
    }
    impression->delegate_ = std::move(delegate);
    impression->type_ = type;
    impression->location_ = location;
    impression->responseContext_ = response;
    impression->responseDate_ = platform::Clock::wallNow();
    if (auto it = response.find("show_loading"); it != response.end())
        impression->showLoading_ = it->second.asBool();
    impression->downloadAssets();
    return impression;
}

PFImpression::~PFImpression() {
    // Views live and die on the main thread: the last reference may go elsewhere.
    std::shared_ptr<PFViewProtocol> view = std::move(view_);
    if (view && !platform::Queue::main()->isCurrent()) platform::Queue::main()->async([view] {});
}

void PFImpression::downloadAssets() {
    // Both kinds start on the main queue: a view's downloads belong to the main thread, not to
    // the request manager's completion thread that made the impression.
    if (format_ == 1) {
        Dictionary response = responseContext_;
        platform::Queue::main()->async([response] { PFWebVideoView::prefetchAssets(response); });
    } else if (isInterstitialKind(type_)) {
        auto it = responseContext_.find("assets");
        Dictionary assets = it != responseContext_.end() && it->second.isDictionary()
                                ? *it->second.dictionary()
                                : Dictionary{};
        platform::Queue::main()->async(
            [assets] { PFNativeInterstitialView::prefetchAssets(assets); });
    }
}

void PFImpression::createView() {
    auto self = shared_from_this();
    onMainThread([self] { self->createViewOnMainThread(); });
}

void PFImpression::createViewOnMainThread() {
    const bool video = textAt(responseContext_, "media-type") == "video";
    platform::render::Rect frame{0, 0, 320, 568};
    if (auto pf = Puffin::sharedPuffin())
        if (auto window = pf->window()) frame = window->frame();
    std::shared_ptr<PFViewProtocol> view;
    if (format_ == 1 && isInterstitialKind(type_))
        view = PFWebVideoView::create(frame);
    else if (format_ == 0 && isInterstitialKind(type_))
        view = PFNativeInterstitialView::create(frame);
    if (!view) return;  // no view for this combination: nothing is wired
    setView(view);
    view->setReadyToDisplayCallback(createReadyToDisplayCallback());
    view->setDisplayCallback(createDisplayCallback());
    view->setClickCallback(createClickCallback());
    view->setCloseCallback(createCloseCallback());
    view->setFailCallback(createFailCallback());
    if (view->answersCloseNoRetryCallback())
        view->setCloseNoRetryCallback(createCloseNoRetryCallback());
    if (video || format_ == 1)
        view->setPlaybackCompletedCallback(createPlaybackCompletedCallback());
    const Dictionary derived = view->prepareWithResponse(responseContext_);
    std::lock_guard guard(mutex_);
    rewardAmount_ = textAt(responseContext_, "reward");
    if (!rewardAmount_) rewardAmount_ = textAt(derived, "rewardAmount");
    rewardCurrency_ = textAt(responseContext_, "currency-name");
    if (!rewardCurrency_) rewardCurrency_ = textAt(derived, "rewardCurrency");
}

bool PFImpression::canDisplay() {
    auto v = view();
    if (!v) return false;
    bool answer = false;
    onMainThread([&] { answer = v->canDisplay(); });
    return answer;
}

std::optional<std::string> PFImpression::adId() const {
    return textAt(responseContext_, "ad_id");
}

void PFImpression::setIsPlayAnotherVideo(bool value) {
    std::shared_ptr<PFViewProtocol> v;
    {
        std::lock_guard guard(mutex_);
        isPlayAnotherVideo_ = value;
        v = view_;
    }
    if (value && v && v->answersSetVideoConfirmationEnabled())
        v->setVideoConfirmationEnabled(false);
    PFLogVerbose("toggling video controls back off after timeout %i", value ? 1 : 0);
}

// ---- callbacks

PFViewProtocol::MoreDataCallback PFImpression::createReadyToDisplayCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak](const Dictionary& moreData) {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->impressionReadyToBeDisplayedMoreData(self, moreData);
    };
}

PFViewProtocol::MoreDataCallback PFImpression::createDisplayCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak](const Dictionary& moreData) {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->impressionDisplayedMoreData(self, moreData);
    };
}

PFViewProtocol::PlainCallback PFImpression::createCloseCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->impressionCloseTriggered(self);
    };
}

PFViewProtocol::PlainCallback PFImpression::createCloseNoRetryCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->type_ == RewardedVideo && self->format_ == 1) self->setPlaybackDidStart(true);
        if (auto d = self->delegate()) d->impressionCloseTriggered(self);
    };
}

PFViewProtocol::ClickCallback PFImpression::createClickCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak](const std::optional<std::string>& url, const Dictionary& moreData,
                  const std::optional<Value>& detail) {
        auto self = weak.lock();
        if (!self) return;
        auto [target, deepLink] = self->clickTarget(url, moreData);
        if (auto d = self->delegate())
            d->impressionClickTriggeredForURLMoreDataDeepLinkActiveWithClickCoordinates(
                self, target, moreData, deepLink, detail);
    };
}

PFViewProtocol::FailCallback PFImpression::createFailCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak](uint64_t code) {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->impressionFailedToInitializeWithError(self, code);
    };
}

PFViewProtocol::PlainCallback PFImpression::createPlaybackCompletedCallback() {
    std::weak_ptr<PFImpression> weak = weak_from_this();
    return [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->playbackCompleted(self);
    };
}

std::pair<std::optional<std::string>, bool> PFImpression::clickTarget(
    const std::optional<std::string>& url,
    const Dictionary& moreData) const {
    std::optional<std::string> target = url ? url : textAt(responseContext_, "link");
    for (const auto* source : {&responseContext_, &moreData}) {
        if (auto deepLink = textAt(*source, "deep-link");
            deepLink && platform::ui::canOpenURL(*deepLink))
            return {deepLink, true};
    }
    return {target, false};
}

// ---- fields

bool PFImpression::isPlayAnotherVideo() const {
    std::lock_guard guard(mutex_);
    return isPlayAnotherVideo_;
}
bool PFImpression::playbackDidComplete() const {
    std::lock_guard guard(mutex_);
    return playbackDidComplete_;
}
void PFImpression::setPlaybackDidComplete(bool value) {
    std::lock_guard guard(mutex_);
    playbackDidComplete_ = value;
}
bool PFImpression::playbackDidStart() const {
    std::lock_guard guard(mutex_);
    return playbackDidStart_;
}
void PFImpression::setPlaybackDidStart(bool value) {
    std::lock_guard guard(mutex_);
    playbackDidStart_ = value;
}
bool PFImpression::showLoading() const {
    std::lock_guard guard(mutex_);
    return showLoading_;
}
bool PFImpression::airFromCache() const {
    std::lock_guard guard(mutex_);
    return airFromCache_;
}
void PFImpression::setAirFromCache(bool value) {
    std::lock_guard guard(mutex_);
    airFromCache_ = value;
}
int32_t PFImpression::state() const {
    std::lock_guard guard(mutex_);
    return state_;
}
void PFImpression::setState(int32_t state) {
    std::lock_guard guard(mutex_);
    state_ = state;
}
std::optional<std::string> PFImpression::rewardAmount() const {
    std::lock_guard guard(mutex_);
    return rewardAmount_;
}
std::optional<std::string> PFImpression::rewardCurrency() const {
    std::lock_guard guard(mutex_);
    return rewardCurrency_;
}
std::optional<std::string> PFImpression::location() const {
    std::lock_guard guard(mutex_);
    return location_;
}
std::shared_ptr<PFViewProtocol> PFImpression::view() const {
    std::lock_guard guard(mutex_);
    return view_;
}
void PFImpression::setView(std::shared_ptr<PFViewProtocol> view) {
    std::lock_guard guard(mutex_);
    view_ = std::move(view);
}
std::shared_ptr<platform::ui::ViewController> PFImpression::presentingViewController() const {
    std::lock_guard guard(mutex_);
    return presentingViewController_;
}
void PFImpression::setPresentingViewController(
    std::shared_ptr<platform::ui::ViewController> controller) {
    std::lock_guard guard(mutex_);
    presentingViewController_ = std::move(controller);
}
