#include "plover/PloverAdViewController.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/Digest.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/URLOpening.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverCacheManager.h"
#include "plover/PloverSDK.h"
#include "plover/PloverUtil.h"
#include "plover/PloverVideoPlayer.h"
#include "plover/PloverWebView.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

// The vendor's privacy page, opened in the browser by the end card's privacy action.
constexpr const char* kPrivacyURL = "https://www.plover-video.com/privacy/";
// The event fired as the video passes each quarter (sub-category 0, 0.25, 0.5, 0.75, 1).
constexpr const char* kProgressEvent = "play_percentage";

int64_t ms(double seconds) {
    return PloverUtil::roundHalfAwayFromZero(seconds * 1000);
}

// A sub-category as the key of the displayed-events count: "(null)" when there is none.
std::string subCategoryText(const std::optional<Value>& value) {
    if (!value || value->isNull()) return "(null)";
    if (const std::string* text = value->string()) return *text;
    if (value->isInteger()) return std::to_string(value->asInteger());
    if (value->isReal() || value->isBool()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", value->asReal());
        return buffer;
    }
    return platform::json::serialize(*value).value_or("");
}

}  // namespace

PloverAdViewController::PloverAdViewController(std::shared_ptr<PloverAdLegacy> bundle)
    : bundle_(std::move(bundle)) {}

PloverAdViewController::~PloverAdViewController() {
    if (videoPlayer_) videoPlayer_->stop();
}

std::shared_ptr<PloverAdViewController> PloverAdViewController::create(
    std::shared_ptr<PloverAdLegacy> bundle) {
    std::shared_ptr<PloverAdViewController> controller(
        new PloverAdViewController(std::move(bundle)));
    controller->build();
    return controller;
}

void PloverAdViewController::loadView() {
    auto root = std::make_shared<platform::ui::View>(platform::ui::Screen::main().bounds());
    root->setBackgroundColor(platform::ui::Color::black());
    setView(root);
}

void PloverAdViewController::build() {
    auto self = std::static_pointer_cast<PloverAdViewController>(shared_from_this());
    auto root = view();
    incentivized_ = bundle_->incentivized() != 0;
    willShowProductView_ = false;
    delegateCloseNotified_ = false;
    didDownload_ = false;
    for (const auto& part : bundle_->parts()) {
        if (part->type() == PloverAdPart::kTypeVideo && !videoPlayer_) {
            videoPlayer_ = PloverVideoPlayer::create(part, self);
        } else if (part->type() == PloverAdPart::kTypePostBundle && !webView_) {
            webView_ = std::make_shared<PloverWebView>(part);
            webView_->setFrame(root->bounds());
            webView_->prepareView();
        }
    }
    if (videoPlayer_) {
        videoPlayer_->setFrame(root->bounds());
        root->addSubview(videoPlayer_);
    }
    if (webView_) {
        webView_->setAdViewController(self);
        root->addSubview(webView_);
        webviewAdded_ = true;
    }
    views_.clear();
    appStoreId_ = validInAppDownloadUrl(bundle_->ctaURLResolved());
    prepareStoreViewControllerWithAppID(appStoreId_);
    events_ = bundle_->tpatEvents();
    eventsDisplayed_.clear();
    firstView_ = true;
    didPlayOnce_ = false;
    clickSequence_.clear();
    storeLoaded_ = false;
}

uint64_t PloverAdViewController::supportedInterfaceOrientations() const {
    return PloverSDK::sharedSDK()->supportedOrientations();
}

bool PloverAdViewController::shouldAutorotateToInterfaceOrientation(int64_t orientation) const {
    if (orientation < 0 || orientation > 63) return false;
    return (supportedInterfaceOrientations() >> orientation) & 1u;
}

std::shared_ptr<platform::store::StoreProductViewController>
PloverAdViewController::storeViewController() const {
    return store_.controller();
}

// ----------------------------------------------------------------------------------------------
// Appearance

void PloverAdViewController::viewWillAppear(bool) {
    auto& app = platform::ui::Application::shared();
    // Remembered as it was before the ad, not as the ad left it when the sheet went away.
    if (!statusBarRemembered_) {
        statusBarHidden_ = app.isStatusBarHidden();
        statusBarRemembered_ = true;
    }
    app.setStatusBarHidden(true);
}

void PloverAdViewController::viewDidAppear(bool) {
    removeLastBundle_ = false;
    if (didPlayOnce_) return;
    didPlayOnce_ = true;
    videoIsPlaying_ = true;
    adStart_ = platform::Clock::wallNow();
    bundle_->setViewed(true);
    if (const auto campaign = bundle_->campaign())
        PloverSDK::sharedSDK()->cacheManager()->markCampaignViewed(*campaign, true,
                                                                   bundle_->expireDate());
    updateReportAd();
    if (videoPlayer_ && videoPlayer_->canPlay()) {
        videoPlayer_->play();
        return;
    }
    if (videoPlayer_) videoPlayer_->stop();
    removeLastBundle_ = true;
    // Nothing to watch: on to the end card, or away, as after the video.
    std::weak_ptr<PloverAdViewController> weak =
        std::static_pointer_cast<PloverAdViewController>(shared_from_this());
    platform::Queue::main()->async([weak] {
        auto self = weak.lock();
        if (self && self->videoPlayer_)
            self->ploverVideoPlayerDidFinish(*self->videoPlayer_);
        else if (self)
            self->dismissViewController(true);
    });
}

void PloverAdViewController::viewWillDisappear(bool animated) {
    auto sdk = PloverSDK::sharedSDK();
    if (auto target = sdk->delegate(); target && !delegateCloseNotified_) {
        delegateCloseNotified_ = true;
        const Value info = viewInfo();
        const bool sheet = willShowProductView_;
        platform::Queue::main()->async(
            [target, info, sheet] { target->ploverSDKwillCloseAdWithViewInfo(info, sheet); });
    }
    if (!willShowProductView_) {
        finishAdView(!animated);
        platform::ui::Application::shared().setStatusBarHidden(statusBarHidden_);
    }
    if (removeLastBundle_)
        if (const auto campaign = bundle_->campaign())
            sdk->cacheManager()->removeBundleByCampaign(*campaign);
}

void PloverAdViewController::takeWatchedTime() {
    // What the viewer saw counts, also when the ad closes before the video reported its end.
    if (!videoPlayer_) return;
    if (videoPlayer_->videoLength() > 0) videoLength_ = videoPlayer_->videoLength();
    if (!videoPlayer_->isFinished())
        timeViewed_ = std::max(timeViewed_, videoPlayer_->currentPosition());
}

Value PloverAdViewController::viewInfo() {
    takeWatchedTime();
    // A video of unknown length (one that never played) is never a completed view.
    // Compared in single precision, as the factor is: exactly 80 % counts.
    const bool completed = videoLength_ > 0 && static_cast<float>(timeViewed_) >=
                                                   0.8f * static_cast<float>(videoLength_);
    return Dictionary{{"completedView", completed},
                      {"playTime", timeViewed_},
                      {"didDownload", didDownload_},
                      {"videoLength", videoLength_}};
}

void PloverAdViewController::finishAdView(bool leavingForBackground) {
    if (finished_) return;
    updateReportAd();
    finished_ = true;
    auto sdk = PloverSDK::sharedSDK();
    if (!leavingForBackground) {
        sdk->sendReportAdRequest();
        sdk->delayNextPlay(bundle_->preventPlayDelay());
        // The bundle just played is not needed again: its folder goes now.
        sdk->cacheManager()->cleanCache();
        sdk->requestAd();
    }
    if (sdk->currentAdViewController().get() == this) sdk->setCurrentAdViewController(nullptr);
}

// ----------------------------------------------------------------------------------------------
// The player's reports

Dictionary PloverAdViewController::playRecord(double startTime) const {
    const double length = videoPlayer_ ? videoPlayer_->videoLength() : 0;
    const double viewed = videoPlayer_ ? videoPlayer_->currentPosition() : 0;
    return Dictionary{
        {"startTime", ms(startTime)}, {"videoLength", ms(length)}, {"videoViewed", ms(viewed)}};
}

void PloverAdViewController::appendPlayRecord(double startTime) {
    views_.emplace_back();
    views_.back() = playRecord(startTime);
}

void PloverAdViewController::ploverVideoPlayerDidFinish(PloverVideoPlayer& player) {
    videoIsPlaying_ = false;
    if (player.videoLength() > 0) videoLength_ = player.videoLength();
    timeViewed_ = std::max(timeViewed_, player.currentPosition());
    appendPlayRecord(player.startTime());
    platform::files::remove(PloverSDK::sharedSDK()->savedLatestPlayInfoPath());
    if (videoLength_ > 0 && player.currentPosition() >= videoLength_) {
        lastCheckpoint_ = 1;
        dispatchEventNamed(kProgressEvent, Value(1.0), 1);
    }
    if (webView_) {
        if (firstView_) dispatchEventNamed("postroll_view", std::nullopt, 1);
        firstView_ = false;
        player.setHidden(true);
        webView_->setHidden(false);
        webView_->load();
        return;
    }
    std::weak_ptr<PloverAdViewController> weak =
        std::static_pointer_cast<PloverAdViewController>(shared_from_this());
    platform::Queue::main()->after(0.1, [weak] {
        if (auto self = weak.lock()) self->dismissViewController(true);
    });
}

void PloverAdViewController::videoCTAClicked(PloverVideoPlayer& player) {
    takeWatchedTime();
    player.pause();
    player.setHidden(true);
    appendPlayRecord(player.startTime());
    presentAppStoreWithDelegate();
    downloadTime_ = platform::Clock::wallNow();
}

void PloverAdViewController::updateLatestPlayInfo() {
    if (!videoPlayer_) return;
    platform::plist::writeFile(PloverSDK::sharedSDK()->savedLatestPlayInfoPath(),
                               Value(playRecord(videoPlayer_->startTime())));
    checkpoint();
}

void PloverAdViewController::checkpoint() {
    const double length = videoPlayer_->videoLength();
    if (length <= 0) return;
    const double share = videoPlayer_->currentPosition() / length;
    for (double point : {0.0, 0.25, 0.5, 0.75}) {
        if (share + 1e-9 < point || point <= lastCheckpoint_) continue;
        lastCheckpoint_ = point;
        dispatchEventNamed(kProgressEvent, Value(point), 1);
    }
}

Dictionary PloverAdViewController::reportAd() const {
    auto sdk = PloverSDK::sharedSDK();
    char seed[96];
    std::snprintf(seed, sizeof seed, "%f %d", platform::Clock::wallNow(), std::rand());
    Dictionary report{{"incentivized", bundle_->incentivized() != 0},
                      {"adStartTime", ms(adStart_)},
                      {"adDuration", ms(platform::Clock::wallNow() - adStart_)},
                      {"ttDownload", ms(downloadTime_)},
                      {"id", platform::security::sha256Hex(std::string(seed))},
                      {"campaign", bundle_->campaign().value_or("")},
                      {"app_id", bundle_->appId().value_or("")},
                      {"url", videoPlayer_ ? videoPlayer_->originalVideoUrl() : std::string()},
                      {"plays", views_},
                      {"clickedThrough", clickSequence_}};
    if (auto placement = sdk->placement()) report["placement"] = *placement;
    if (auto extra = sdk->extraInfo()) report["extraInfo"] = *extra;
    if (auto user = bundle_->user()) report["user"] = *user;
    return report;
}

void PloverAdViewController::updateReportAd() {
    if (finished_) return;
    platform::plist::writeFile(PloverSDK::sharedSDK()->savedReportAdPath(), Value(reportAd()));
}

// ----------------------------------------------------------------------------------------------
// The end card, the background, the sheet

void PloverAdViewController::ploverPostRollAction(int action) {
    switch (action) {
        case 0:
            dismissViewController(true);
            break;
        case 1:
            downloadTime_ = platform::Clock::wallNow();
            presentAppStoreWithDelegate();
            dispatchEventNamed("postroll_click", std::nullopt, 1);
            firstView_ = false;
            didDownload_ = true;
            break;
        case 2:
            firstView_ = false;
            if (webView_) webView_->setHidden(true);
            if (videoPlayer_) {
                videoPlayer_->setHidden(false);
                videoPlayer_->rewindAndPlay();
            }
            videoIsPlaying_ = true;
            break;
        case 3:
            platform::ui::openURL(kPrivacyURL);
            break;
        default:
            break;
    }
}

void PloverAdViewController::reactToAppEnteringBackground() {
    auto sheet = store_.controller();
    const bool sheetShown = sheet && presentedViewController() == sheet;
    if (videoPlayer_ && videoPlayer_->isHidden()) {
        // The end card (or the sheet over it) is showing: the ad ends with the app's visit.
        finishAdView(true);
        if (webView_) webView_->setAdViewController(nullptr);
        if (sheetShown) {
            if (auto target = PloverSDK::sharedSDK()->delegate())
                target->ploverSDKwillCloseProductSheet(sheet);
            willShowProductView_ = false;
        }
        // Down to the controller that presented the ad: the sheet goes with it.
        if (auto presenter = presentingViewController()) presenter->dismissViewController(false);
        return;
    }
    if (videoPlayer_) videoPlayer_->pause();
}

void PloverAdViewController::productViewControllerDidFinish(
    platform::store::StoreProductViewController& sheet) {
    std::weak_ptr<PloverAdViewController> weak =
        std::static_pointer_cast<PloverAdViewController>(shared_from_this());
    auto shown = std::static_pointer_cast<platform::store::StoreProductViewController>(
        sheet.shared_from_this());
    dismissViewController(true, [weak, shown] {
        auto self = weak.lock();
        if (!self) return;
        self->willShowProductView_ = false;
        self->dismissViewController(true);
        auto sdk = PloverSDK::sharedSDK();
        if (sdk->currentAdViewController() == self) sdk->setCurrentAdViewController(nullptr);
        if (auto target = sdk->delegate()) target->ploverSDKwillCloseProductSheet(shown);
    });
}

// ----------------------------------------------------------------------------------------------
// Tracking and the click-through

void PloverAdViewController::dispatchEventNamed(const std::string& name,
                                                const std::optional<Value>& subCategory,
                                                int max) {
    if (!events_.isDictionary() || !events_.find(name)) return;
    const std::string key = name + "-" + subCategoryText(subCategory);
    const auto shown = eventsDisplayed_.find(key);
    const int64_t count = shown == eventsDisplayed_.end() ? 1 : shown->second.asInteger() + 1;
    eventsDisplayed_[key] = count;
    if (max >= 1 && count > max) return;
    const Value* entry = events_.find(name);
    if (!entry || entry->isNull()) {
        PloverSDK::sharedSDK()->log("Invalid TPAT event: '" + name + "'");
        return;
    }
    if (!entry->isArray() || entry->size() == 0) return;
    const Array& list = *entry->array();
    if (!list.front().isDictionary()) {
        dispatchEventURLs(*entry);
        return;
    }
    const double wanted = subCategory ? PloverUtil::doubleValue(&*subCategory) : 0;
    for (const Value& item : list) {
        const Value* point = item.find("checkpoint");
        if (!point || point->isNull()) continue;
        if (std::fabs(PloverUtil::floatValue(point) - static_cast<float>(wanted)) < 0.0001) {
            if (const Value* urls = item.find("urls")) dispatchEventURLs(*urls);
            return;
        }
    }
}

void PloverAdViewController::dispatchEventURLs(const Value& urls) {
    if (!urls.isArray()) return;
    // "%timestamp%" is Unix time in whole seconds, as every other time the SDK sends.
    const std::string timestamp =
        std::to_string(PloverUtil::roundHalfAwayFromZero(platform::Clock::wallNow()));
    auto sdk = PloverSDK::sharedSDK();
    for (const Value& url : *urls.array()) {
        if (!url.isString()) continue;
        std::string text = *url.string();
        for (size_t at = text.find("%timestamp%"); at != std::string::npos;
             at = text.find("%timestamp%", at + timestamp.size()))
            text.replace(at, 11, timestamp);
        auto op = PloverNetworkOperation::create(text);
        op->setName("Dispatch Ad Event Network Operation");
        sdk->sendRequest(op);
    }
}

bool PloverAdViewController::presentAppStoreWithDelegate() {
    auto sdk = PloverSDK::sharedSDK();
    const auto ctaURL = bundle_->ctaURL();
    if (storeLoaded_) {
        if (auto sheet = store_.controller()) {
            sheet->setDelegate(
                std::static_pointer_cast<PloverAdViewController>(shared_from_this()));
            willShowProductView_ = true;
            std::weak_ptr<PloverAdViewController> weak =
                std::static_pointer_cast<PloverAdViewController>(shared_from_this());
            platform::Queue::main()->after(0.1, [weak] {
                if (auto self = weak.lock()) self->presentStoreDelayed();
            });
        }
    } else if (bundle_->hasUsableCTAURLResolved()) {
        // Whether the resolved URL can be opened is this bundle's own fact, not the last reply's.
        const std::string url = *bundle_->ctaURLResolved();
        platform::Queue::main()->after(0.2, [url] { platform::ui::openURL(url); });
    } else {
        if (ctaURL) {
            const std::string url = *ctaURL;
            platform::Queue::main()->after(0.2, [url] { platform::ui::openURL(url); });
        }
        return true;
    }
    if (ctaURL) {
        auto op = PloverNetworkOperation::create(*ctaURL);
        op->setName("CTA Network Operation (Background)");
        sdk->sendRequest(op);
    }
    return true;
}

void PloverAdViewController::presentStoreDelayed() {
    if (auto sheet = store_.controller()) presentViewController(sheet, true);
}

std::optional<int64_t> PloverAdViewController::validInAppDownloadUrl(
    const std::optional<std::string>& url) {
    if (!url) return std::nullopt;
    static const std::regex pattern(R"((itms|https?)://itunes\.apple\.com/\S*app\S*/id(\d+))",
                                    std::regex::icase);
    std::smatch match;
    if (!std::regex_search(*url, match, pattern) || match.size() < 3) return std::nullopt;
    const std::string digits = match[2].str();
    if (digits.empty() || digits.size() > 18) return std::nullopt;
    return std::stoll(digits);
}

void PloverAdViewController::prepareStoreViewControllerWithAppID(std::optional<int64_t> appId) {
    if (!appId || !PloverStoreProductViewController::deviceHasStoreKit()) return;
    store_.buildController();
    std::weak_ptr<PloverAdViewController> weak =
        std::static_pointer_cast<PloverAdViewController>(shared_from_this());
    store_.loadProduct(*appId, [weak](bool loaded, const std::optional<platform::Error>& error) {
        auto self = weak.lock();
        if (!self) return;
        if (loaded) {
            self->storeLoaded_ = true;
        } else if (error) {
            PloverSDK::sharedSDK()->log("error preparing app store: " +
                                        error->localizedDescription());
        }
    });
}
