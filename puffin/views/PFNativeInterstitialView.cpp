#include "puffin/views/PFNativeInterstitialView.h"

#include <cmath>
#include <cstdio>

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/AudioSession.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFSmallStores.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/core/PFWebImageCache.h"
#include "puffin/core/Puffin.h"

using platform::Dictionary;
using platform::Value;
using platform::render::Color;
using platform::ui::Rect;

namespace {

constexpr double kResumeDelay = 3;
constexpr double kBarHeight = 30;

const Value* entryOf(const Dictionary& dictionary, const std::string& key) {
    auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

bool flag(const Dictionary& dictionary, const char* key) {
    const Value* value = entryOf(dictionary, key);
    return value && value->asBool();
}

std::optional<std::string> textOf(const Value* dictionary, const char* key) {
    if (!dictionary) return std::nullopt;
    const Value* value = dictionary->find(key);
    if (!value || !value->isString()) return std::nullopt;
    return *value->string();
}

std::string clock(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const int whole = static_cast<int>(std::ceil(seconds));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", whole / 60, whole % 60);
    return text;
}

std::shared_ptr<platform::ui::Button> customButton(const std::string& name) {
    auto button = std::make_shared<platform::ui::Button>();
    button->setOpaque(false);
    button->setName(name);
    return button;
}

std::shared_ptr<platform::ui::Label> label(double size, bool bold, Color color) {
    auto made = std::make_shared<platform::ui::Label>();
    made->setFont(platform::render::Font::system(size, bold));
    made->setTextColor(color);
    made->setBackgroundColor(Color::clear());
    return made;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& PFNativeInterstitialView::assetKeys() {
    static const std::vector<std::pair<std::string, std::string>> keys = {
        {"ad-landscape", "adScaleLandscape"},
        {"ad-portrait", "adScalePortrait"},
        {"frame-landscape", "frameScaleLandscape"},
        {"frame-portrait", "frameScalePortrait"},
        {"close-landscape", "closeScaleLandscape"},
        {"close-portrait", "closeScalePortrait"},
        {"replay-landscape", "replayScaleLandscape"},
        {"replay-portrait", "replayScalePortrait"},
        {"video-click-button", "videoAdControlClickButtonScale"},
        {"post-video-icon", "postVideoControlsIconScale"},
        {"post-video-button", "postVideoControlsButtonScale"},
        {"video-confirmation-button", "videoConfirmationButtonImageScale"},
        {"video-confirmation-icon", "videoConfirmationIconScale"},
        {"post-video-reward-icon", "postVideoNotificationIconImageScale"},
    };
    return keys;
}

void PFNativeInterstitialView::prefetchAssets(const Dictionary& assets) {
    for (const auto& [key, scaleKey] : assetKeys())
        prefetchWebImage(entryOf(assets, key));
}

void PFNativeInterstitialView::prefetchWebImage(const Value* entry) {
    if (!entry) return;
    auto url = textOf(entry, "url");
    if (!url) return;
    PFWebImageCache::sharedCache()->loadImageWithURLChecksumCallbackGroup(
        *url, textOf(entry, "checksum").value_or(""), [](const auto&) {}, nullptr);
}

// ---- making

std::shared_ptr<PFNativeInterstitialView> PFNativeInterstitialView::create(const Rect& frame) {
    auto view = std::make_shared<PFNativeInterstitialView>(frame);
    view->build();
    return view;
}

PFNativeInterstitialView::PFNativeInterstitialView(const Rect& frame) : View(frame) {}

PFNativeInterstitialView::~PFNativeInterstitialView() {
    if (playerItem_ && statusToken_) playerItem_->removeStatusObserver(statusToken_);
    if (endToken_) platform::NotificationCenter::defaultCenter().removeObserver(endToken_);
    if (player_ && timeToken_) player_->removeTimeObserver(timeToken_);
    if (currentHudTimer_) currentHudTimer_->invalidate();
    if (closeButtonTimer_) closeButtonTimer_->invalidate();
}

void PFNativeInterstitialView::build() {
    state_ = 0;
    setOpaque(false);
    setBackgroundColor(Color::clear());
    for (const auto& [key, scaleKey] : assetKeys())
        scales_[key] = 1.0;

    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    auto on = [weak](void (PFNativeInterstitialView::*action)()) {
        return [weak, action](platform::ui::Control&, platform::ui::ControlEvent) {
            if (auto self = weak.lock()) ((*self).*action)();
        };
    };
    using platform::ui::ControlEvent;

    fullscreenBackground_ = std::make_shared<platform::ui::View>();
    fullscreenBackground_->setBackgroundColor(Color::fromRGB255(0, 0, 0));
    fullscreenBackground_->setHidden(true);
    addSubview(fullscreenBackground_);

    frameUnit_ = std::make_shared<platform::ui::ImageView>();
    frameUnit_->setUserInteractionEnabled(false);
    adUnit_ = customButton("PFAd");
    adUnit_->addTarget(
        [weak](platform::ui::Control& sender, ControlEvent) {
            if (auto self = weak.lock()) self->clickForEvent(sender.frame().center());
        },
        ControlEvent::TouchUpInside);
    addSubview(adUnit_);
    addSubview(frameUnit_);

    playerLayer_ = std::make_shared<platform::ui::PlayerLayer>();
    playerLayer_->setUserInteractionEnabled(false);
    playerLayer_->setVideoGravity(platform::ui::VideoGravity::ResizeAspect);
    addSubview(playerLayer_);

    replayButton_ = customButton("PFReplay");
    replayButton_->setAlpha(0);
    replayButton_->addTarget(on(&PFNativeInterstitialView::replay), ControlEvent::TouchUpInside);
    addSubview(replayButton_);

    videoAdControlsView_ = std::make_shared<PFTouchCallbackView>();
    videoAdControlsView_->setHidden(true);
    videoAdControlsView_->touchUpCallback = [weak] {
        if (auto self = weak.lock()) self->clickForEvent(std::nullopt);
    };
    addSubview(videoAdControlsView_);
    darkBottom_ = std::make_shared<platform::ui::View>();
    darkTop_ = std::make_shared<platform::ui::View>();
    for (auto& bar : {darkBottom_, darkTop_}) {
        bar->setBackgroundColor(Color::fromRGB255(0, 0, 0, 0.6));
        videoAdControlsView_->addSubview(bar);
    }
    videoAdControlClickButton_ = customButton("PFVideoClick");
    videoAdControlClickButton_->setHidden(true);
    videoAdControlClickButton_->addTarget(
        [weak](platform::ui::Control&, ControlEvent) {
            if (auto self = weak.lock()) self->clickForEvent(std::nullopt);
        },
        ControlEvent::TouchUpInside);
    darkTop_->addSubview(videoAdControlClickButton_);
    progressIndicator_ = std::make_shared<PFFlatProgressBar>();
    darkBottom_->addSubview(progressIndicator_);
    progressTimer_ = label(12, false, Color::fromRGB255(255, 255, 255));
    progressTimer_->setText("00:00");
    progressTimer_->setTextAlignment(platform::ui::TextAlignment::Center);
    darkBottom_->addSubview(progressTimer_);

    const Color grey = Color::fromRGB255(0x5d, 0x5d, 0x5d);
    postVideoControls_ = std::make_shared<PFToasterView>(2);
    postVideoIcon_ = std::make_shared<platform::ui::ImageView>();
    postVideoIcon_->setClipsToBounds(true);
    postVideoButton_ = customButton("PFPostVideo");
    postVideoButton_->addTarget(on(&PFNativeInterstitialView::postVideoControlsClick),
                                ControlEvent::TouchUpInside);
    postVideoTitle_ = label(15, true, grey);
    postVideoTagline_ = label(12, false, grey);
    for (const std::shared_ptr<platform::ui::View>& part :
         std::initializer_list<std::shared_ptr<platform::ui::View>>{
             postVideoIcon_, postVideoButton_, postVideoTitle_, postVideoTagline_})
        postVideoControls_->contentView()->addSubview(part);
    addSubview(postVideoControls_);

    const bool pad = !platform::device::userInterfaceIdiomIsPhone();
    postVideoNotification_ = std::make_shared<PFToasterView>(2);
    postVideoNotificationIcon_ = std::make_shared<platform::ui::ImageView>();
    postVideoNotificationText_ = label(pad ? 20 : 15, false, grey);
    postVideoNotification_->contentView()->addSubview(postVideoNotificationIcon_);
    postVideoNotification_->contentView()->addSubview(postVideoNotificationText_);
    addSubview(postVideoNotification_);

    videoConfirmationView_ = std::make_shared<platform::ui::View>();
    videoConfirmationView_->setOpaque(false);
    videoConfirmationView_->setHidden(true);
    videoConfirmationButton_ = customButton("PFWatch");
    videoConfirmationButton_->addTarget(on(&PFNativeInterstitialView::videoConfirmationContinue),
                                        ControlEvent::TouchUpInside);
    videoConfirmationLabel_ = label(pad ? 20 : 15, true, Color::fromRGB255(255, 255, 255));
    videoConfirmationIcon_ = std::make_shared<platform::ui::ImageView>();
    videoConfirmationView_->addSubview(videoConfirmationButton_);
    videoConfirmationView_->addSubview(videoConfirmationLabel_);
    videoConfirmationView_->addSubview(videoConfirmationIcon_);
    addSubview(videoConfirmationView_);

    closeButton_ = customButton("PFClose");
    closeButton_->addTarget(on(&PFNativeInterstitialView::closeTapped), ControlEvent::TouchUpInside);
    addSubview(closeButton_);

    if (auto pf = Puffin::sharedPuffin()) orientation_ = pf->orientation();
}

// ---- preparing

Dictionary PFNativeInterstitialView::prepareWithResponse(const Dictionary& response) {
    auto text = [&](const char* key) {
        const Value* value = entryOf(response, key);
        return value && value->isString() ? *value->string() : std::string();
    };
    adId_ = text("ad_id");
    mediaType_ = text("media-type") == "video" ? 1 : 0;
    if (const Value* assets = entryOf(response, "assets"); assets && assets->isDictionary())
        assets_ = *assets->dictionary();
    if (const Value* ux = entryOf(response, "ux"); ux && ux->isDictionary()) ux_ = *ux->dictionary();
    const bool video = mediaType_ == 1;
    auto has = [&](const char* key) { return assets_.count(key) > 0; };
    if (has("ad-portrait") && has("frame-portrait") && has("close-portrait"))
        supportedOrientations_ |= 2 | 4;
    if (has("ad-landscape") && has("frame-landscape") && has("close-landscape") &&
        (!video || (has("video-landscape") && has("replay-landscape"))))
        supportedOrientations_ |= 8 | 16;

    group_ = std::make_shared<platform::Group>();
    for (const char* key : {"ad-landscape", "ad-portrait", "frame-landscape", "frame-portrait",
                            "close-landscape", "close-portrait"})
        loadImageScaleKeyAssetsGroup(key, entryOf(assets_, key));
    if (video) {
        fullscreen_ = flag(response, "fullscreen");
        prerollPopupFullscreen_ = flag(response, "preroll_popup_fullscreen");
        for (size_t i = 6; i < assetKeys().size(); ++i)
            loadImageScaleKeyAssetsGroup(assetKeys()[i].first, entryOf(assets_, assetKeys()[i].first));
        videoAdControlsView_->setHidden(false);
        videoControlsTogglable_ = flag(ux_, "video-controls-togglable");
        videoProgressTimerEnabled_ = flag(ux_, "video-progress-timer-enabled");
        if (videoControlsTogglable_) videoAdControlClickButton_->setHidden(false);
        if (!has("video-click-button")) darkTop_->setAlpha(0);
        const Value* asset = entryOf(assets_, "video-landscape");
        if (!asset) asset = entryOf(assets_, "video-portrait");
        videoId_ = textOf(asset, "id").value_or("");
        auto url = PFVideoPrefetcher::shared()->videoURLWithIDLocalFile(videoId_,
                                                                       textOf(asset, "local-file"));
        if (!url) {
            if (failCallback()) {
                platform::log("PFLoadErrorInternal: videoUrl is null");
                callOnMain([](PFNativeInterstitialView& view) {
                    if (auto fail = view.failCallback()) fail(PFLoadErrorInternal);
                });
            }
            return {};
        }
        playerItem_ = platform::media::PlayerItem::create(*url);
        std::weak_ptr<PFNativeInterstitialView> weak =
            std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
        platform::media::AudioSession::shared().setCategory(
            platform::media::kAudioSessionCategoryAmbient, nullptr);
        player_ = platform::media::Player::create(playerItem_);
        playerLayer_->setPlayer(player_);
        statusToken_ = playerItem_->addStatusObserver(
            [weak](platform::media::PlayerItemStatus status) {
                if (auto self = weak.lock()) self->itemStatusChanged(status);
            },
            true);
        applyUX(ux_);
    }
    if (!video) displayUI();
    return {};
}

void PFNativeInterstitialView::applyUX(const Dictionary& ux) {
    if (const Value* progress = entryOf(ux, "progress")) {
        auto background = textOf(progress, "background-color");
        auto border = textOf(progress, "border-color");
        auto fill = textOf(progress, "progress-color");
        const Value* radius = progress->find("radius");
        if (background && border && fill && radius && radius->isNumber()) {
            // A bad server colour leaves the bar's own.
            if (auto c = PFColor::colorWithHexString(*background)) progressIndicator_->backgroundColor_ = *c;
            if (auto c = PFColor::colorWithHexString(*border)) progressIndicator_->borderColor = *c;
            if (auto c = PFColor::colorWithHexString(*fill)) progressIndicator_->progressColor = *c;
            progressIndicator_->radius = radius->asReal();
        }
    }
    if (auto color = textOf(entryOf(ux, "video-controls-background"), "color"))
        if (auto c = PFColor::colorWithHexString(*color)) {
            darkBottom_->setBackgroundColor(*c);
            darkTop_->setBackgroundColor(*c);
        }
    const Value* toaster = entryOf(ux, "post-video-toaster");
    auto title = textOf(toaster, "title");
    auto tagline = textOf(toaster, "tagline");
    if (title && tagline) {
        postVideoToasterEnabled_ = true;
        postVideoTitle_->setText(*title);
        postVideoTagline_->setText(*tagline);
    }
    const Value* confirmation = entryOf(ux, "confirmation");
    auto confirmationText = textOf(confirmation, "text");
    auto confirmationColor = textOf(confirmation, "color");
    if (confirmationText && confirmationColor) {
        videoConfirmationEnabled_ = true;
        if (auto c = PFColor::colorWithHexString(*confirmationColor))
            videoConfirmationView_->setBackgroundColor(*c);
        videoConfirmationLabel_->setText(*confirmationText);
    }
    if (const Value* reward = entryOf(ux, "post-video-reward-toaster")) {
        postVideoNotificationEnabled_ = true;
        postVideoNotification_->setPosition(textOf(reward, "position") == "inside-top" ? 1 : 2);
        postVideoNotificationText_->setText(textOf(reward, "text").value_or(""));
    }
    if (const Value* delay = entryOf(ux, "delay"); delay && delay->isNumber())
        closeButtonDelayInSeconds_ = std::max(0.0, delay->asReal());
    if (const Value* timer = entryOf(ux, "timer"); timer && timer->isNumber())
        hudTimerSeconds_ = std::max(0.0, timer->asReal());
}

void PFNativeInterstitialView::loadImageScaleKeyAssetsGroup(const std::string& key,
                                                            const Value* entry) {
    if (!entry) return;
    if (const Value* scale = entry->find("scale"); scale && scale->isNumber() && scale->asReal() > 0)
        scales_[key] = scale->asReal();
    auto url = textOf(entry, "url");
    if (!url) return;
    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    PFWebImageCache::sharedCache()->loadImageWithURLChecksumCallbackGroup(
        *url, textOf(entry, "checksum").value_or(""),
        [weak, key, url = *url](const std::optional<platform::render::Image>& image) {
            auto self = weak.lock();
            if (!self) return;
            if (!image) {
                PFLogInfo("PFWebImageCache:loadImageWithURL failed for %s", url.c_str());
                return;
            }
            self->images_[key] = std::make_shared<const platform::render::Image>(*image);
        },
        group_);
}

bool PFNativeInterstitialView::trioLoaded(const char* orientation) const {
    const std::string o = orientation;
    for (const char* kind : {"ad-", "frame-", "close-"})
        if (!images_.count(kind + o)) return false;
    return true;
}

void PFNativeInterstitialView::displayUI() {
    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    group_->notify(platform::Queue::main(), [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->mediaType_ == 1 && !self->videoLoadSuccess_) return;
        if (self->trioLoaded("landscape") || self->trioLoaded("portrait")) {
            self->setNeedsLayout();
            if (self->videoConfirmationEnabled_ && (!self->images_.count("video-confirmation-button") ||
                                                    !self->images_.count("video-confirmation-icon")))
                self->videoConfirmationEnabled_ = false;
            self->callOnMain([](PFNativeInterstitialView& view) {
                if (auto ready = view.readyToDisplayCallback()) ready(view.moreData());
            });
            return;
        }
        platform::log("PFLoadErrorInternal: displayUI failed");
        self->callOnMain([](PFNativeInterstitialView& view) {
            if (auto fail = view.failCallback()) fail(PFLoadErrorErrorDownloadingAsset);
        });
    });
}

void PFNativeInterstitialView::itemStatusChanged(platform::media::PlayerItemStatus status) {
    using platform::media::PlayerItemStatus;
    switch (status) {
        case PlayerItemStatus::Failed: {
            const std::string error =
                playerItem_ && playerItem_->error() ? playerItem_->error()->localizedDescription() : "";
            PFLogError("PFLoadErrorInternal: loading video error: \n%s", error.c_str());
            videoLoadSuccess_ = false;
            callOnMain([](PFNativeInterstitialView& view) {
                if (auto fail = view.failCallback()) fail(PFLoadErrorInternal);
            });
            break;
        }
        case PlayerItemStatus::ReadyToPlay:
            if (videoLoadSuccess_) break;  // the first time only
            videoLoadSuccess_ = true;
            videoDuration_ = playerItem_->duration();
            displayUI();
            break;
        case PlayerItemStatus::Unknown:
            PFLogInfo("AVPlayerItem status: AVPlayerStatusUnknown");
            videoLoadSuccess_ = false;
            break;
    }
}

bool PFNativeInterstitialView::canDisplay() {
    if (mediaType_ == 1 && !videoLoadSuccess_) return false;
    return trioLoaded("landscape") || trioLoaded("portrait");
}

bool PFNativeInterstitialView::shouldAdjustFrameForStatusBar() {
    auto pf = Puffin::sharedPuffin();
    return pf && pf->statusBarBehavior() == 2;
}

void PFNativeInterstitialView::setVideoConfirmationEnabled(bool enabled) {
    videoConfirmationEnabled_ = enabled;
    if (!enabled) videoConfirmationView_->setHidden(true);
}

void PFNativeInterstitialView::callOnMain(std::function<void(PFNativeInterstitialView&)> work) {
    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    platform::Queue::main()->async([weak, work = std::move(work)] {
        if (auto self = weak.lock()) work(*self);
    });
}

Dictionary PFNativeInterstitialView::moreData() const {
    return Dictionary{{"ad_id", adId_}};
}

// ---- playback

void PFNativeInterstitialView::startPlayback() {
    state_ = 2;
    callOnMain([](PFNativeInterstitialView& view) {
        if (auto display = view.displayCallback()) display(view.moreData());
    });
    if (mediaType_ == 0) {
        showCloseButton();
        return;
    }
    // The close button comes after the ad's delay.
    closeButton_->setAlpha(0);
    closeButton_->setUserInteractionEnabled(false);
    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    closeButtonTimer_ = platform::Timer::scheduled(closeButtonDelayInSeconds_, false,
                                                   [weak](platform::Timer&) {
                                                       if (auto self = weak.lock())
                                                           self->showCloseButton();
                                                   });
    PFTrack::trackVideoPlayerCloseShowWithAdIdWithDelay("native", adId_,
                                                        static_cast<int>(closeButtonDelayInSeconds_));
    timeToken_ = player_->addPeriodicTimeObserver(0.25, [weak](double time) {
        if (auto self = weak.lock()) self->updateProgress(time);
    });
    endToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::media::kPlayerItemDidPlayToEndTimeNotification, playerItem_.get(),
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->videoDidPlayToEndTime();
        });
    PFLogInfo("starting video ad playback, 0s / %.2fs", videoDuration_);
    setControlsVisible(true);
    if (videoControlsTogglable_ && hudTimerSeconds_ > 0)
        currentHudTimer_ = platform::Timer::scheduled(hudTimerSeconds_, false, [weak](platform::Timer&) {
            if (auto self = weak.lock()) {
                PFLogInfo("controls %s automatically from timer", "hidden");
                self->setControlsVisible(false);
            }
        });
    if (videoConfirmationEnabled_) {
        videoConfirmationView_->setHidden(false);  // the video waits for "watch"
        return;
    }
    ++playCount_;
    play();
}

void PFNativeInterstitialView::showCloseButton() {
    closeButton_->setUserInteractionEnabled(true);
    platform::ui::View::animate(0.2555, [this] { closeButton_->setAlpha(1); });
}

void PFNativeInterstitialView::videoConfirmationContinue() {
    videoConfirmationView_->setHidden(true);
    videoConfirmationEnabled_ = false;
    ++playCount_;
    play();
}

void PFNativeInterstitialView::play() {
    if (state_ != 2 || videoFinished_ || !player_) return;
    playerLayer_->setHidden(false);
    videoPlaying_ = true;
    player_->play();
}

void PFNativeInterstitialView::delayedPlay() {
    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    platform::Queue::main()->after(kResumeDelay, [weak] {
        if (auto self = weak.lock(); self && self->state_ == 2) self->play();
    });
}

void PFNativeInterstitialView::pause() {
    if (!videoPlaying_) return;
    if (player_) player_->pause();
    videoPlaying_ = false;
}

void PFNativeInterstitialView::stopPlayback() {
    pause();
    if (mediaType_ != 1 || !videoFinished_) return;
    setControlsVisible(false);
    if (postVideoToasterEnabled_) postVideoControls_->show();
    if (postVideoNotificationEnabled_) postVideoNotification_->show();
    platform::ui::View::animate(0.2555, [this] { replayButton_->setAlpha(1); });
    showCloseButton();
}

void PFNativeInterstitialView::videoDidPlayToEndTime() {
    videoFinished_ = true;
    updateProgress(videoDuration_);
    stopPlayback();
    if (playCount_ <= 1)
        callOnMain([](PFNativeInterstitialView& view) {
            if (auto completed = view.playbackCompletedCallback()) completed();
        });
}

void PFNativeInterstitialView::replay() {
    if (!player_ || !videoFinished_) return;
    videoFinished_ = false;
    ++playCount_;
    PFTrack::trackVideoPlayerReplayWithAdId("native", adId_);
    postVideoControls_->hide();
    postVideoNotification_->hide();
    replayButton_->setAlpha(0);
    setControlsVisible(true);
    std::weak_ptr<PFNativeInterstitialView> weak =
        std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
    player_->seekToTime(0, [weak](bool) {
        if (auto self = weak.lock()) self->play();
    });
}

void PFNativeInterstitialView::updateProgress(double time) {
    if (!(videoDuration_ > 0)) return;
    progressIndicator_->setProgress(time / videoDuration_);
    progressTimer_->setText(clock(videoDuration_ - time));
}

void PFNativeInterstitialView::setControlsVisible(bool visible) {
    videoControlsViewVisible_ = visible;
    darkBottom_->setHidden(!visible);
    darkTop_->setHidden(!visible);
}

void PFNativeInterstitialView::toggleHudControls() {
    setControlsVisible(!videoControlsViewVisible_);
    PFTrack::trackVideoPlayerControlsToggleWithAdIdWithValue("native", adId_,
                                                             videoControlsViewVisible_);
}

double PFNativeInterstitialView::currentItemPlayableDuration() const {
    if (!playerItem_ || playerItem_->status() != platform::media::PlayerItemStatus::ReadyToPlay)
        return std::nan("");
    const double now = playerItem_->currentTime();
    for (const auto& range : playerItem_->loadedTimeRanges())
        if (now >= range.start && now <= range.end()) return range.end();
    return 0;  // no loaded range holds the current time: nothing is playable from here
}

double PFNativeInterstitialView::currentItemPlayTime() const {
    if (!player_ || !player_->currentItem()) return std::nan("");
    return player_->currentTime();
}

// ---- touches

void PFNativeInterstitialView::clickForEvent(std::optional<platform::ui::Point> where) {
    if (videoControlsTogglable_ && videoPlaying_ && !where) {
        toggleHudControls();  // a touch on the playing video shows or hides its controls
        return;
    }
    std::optional<Value> coordinates;
    if (where) coordinates = Dictionary{{"x", where->x}, {"y", where->y}};
    callOnMain([coordinates](PFNativeInterstitialView& view) {
        if (auto click = view.clickCallback()) click(std::nullopt, view.moreData(), coordinates);
    });
}

void PFNativeInterstitialView::postVideoControlsClick() {
    clickForEvent(postVideoButton_->frame().center());
}

void PFNativeInterstitialView::closeTapped() {
    if (closing_) return;
    const Value* popup = entryOf(ux_, "cancel-popup");
    auto title = textOf(popup, "title");
    auto text = textOf(popup, "text");
    auto cancel = textOf(popup, "cancel");
    auto confirm = textOf(popup, "confirm");
    if (mediaType_ == 1 && !videoFinished_ && title && text && cancel && confirm) {
        pause();
        auto alert = PFAlertViewWrapper::initWithTitle(*title, *text, *cancel, *confirm);
        std::weak_ptr<PFNativeInterstitialView> weak =
            std::static_pointer_cast<PFNativeInterstitialView>(shared_from_this());
        alert->showWithCallback([weak](bool confirmed) {
            auto self = weak.lock();
            if (!self) return;
            if (confirmed)
                self->finishClose();
            else
                self->play();
        });
        return;
    }
    finishClose();
}

void PFNativeInterstitialView::finishClose() {
    if (closing_) return;
    closing_ = true;
    pause();
    callOnMain([](PFNativeInterstitialView& view) {
        if (auto close = view.closeCallback()) close();
    });
}

// ---- layout

void PFNativeInterstitialView::layoutSubviews() {
    const Rect bounds = this->bounds();
    const bool landscape = bounds.size.width > bounds.size.height &&
                           (supportedOrientations_ & (8 | 16)) != 0;
    const std::string o = landscape ? "landscape" : "portrait";
    fullscreenBackground_->setFrame(bounds);
    fullscreenBackground_->setHidden(!fullscreen());

    auto sized = [&](const std::string& key) -> platform::ui::Size {
        auto it = images_.find(key);
        if (it == images_.end()) return {0, 0};
        const double scale = scales_.count(key) ? scales_.at(key) : 1.0;
        return {it->second->size().width / scale, it->second->size().height / scale};
    };
    auto offset = [&](const std::string& key, Rect rect) {
        if (const Value* entry = entryOf(assets_, key))
            if (const Value* shift = entry->find("offset")) {
                rect.origin.x += shift->find("x") ? shift->find("x")->asReal() : 0;
                rect.origin.y += shift->find("y") ? shift->find("y")->asReal() : 0;
            }
        return rect;
    };
    // The ad fits the view, centred.
    platform::ui::Size ad = sized("ad-" + o);
    if (ad.width <= 0 || ad.height <= 0) ad = bounds.size;
    const double fit = std::min({1.0, bounds.size.width / ad.width, bounds.size.height / ad.height});
    const Rect adRect = offset("ad-" + o, {(bounds.size.width - ad.width * fit) / 2,
                                           (bounds.size.height - ad.height * fit) / 2,
                                           ad.width * fit, ad.height * fit});
    adUnit_->setFrame(adRect);
    if (auto it = images_.find("ad-" + o); it != images_.end())
        adUnit_->setBackgroundImage(it->second, platform::ui::ControlState::Normal);
    frameUnit_->setFrame(adRect);
    if (auto it = images_.find("frame-" + o); it != images_.end()) frameUnit_->setImage(it->second);

    const platform::ui::Size close = sized("close-" + o);
    const double closeSide = close.width > 0 ? close.width : 30;
    closeButton_->setFrame(offset("close-" + o, {adRect.origin.x + adRect.size.width - closeSide - 5,
                                                 adRect.origin.y + 5, closeSide,
                                                 close.height > 0 ? close.height : 30}));
    if (auto it = images_.find("close-" + o); it != images_.end())
        closeButton_->setBackgroundImage(it->second, platform::ui::ControlState::Normal);

    const platform::ui::Size replay = sized("replay-" + o);
    replayButton_->setFrame({adRect.center().x - replay.width / 2,
                             adRect.center().y - replay.height / 2, replay.width, replay.height});
    if (auto it = images_.find("replay-" + o); it != images_.end())
        replayButton_->setBackgroundImage(it->second, platform::ui::ControlState::Normal);

    const Rect videoRect = fullscreen() ? bounds : adRect;
    playerLayer_->setFrame(videoRect);
    playerLayer_->setHidden(mediaType_ != 1);
    videoAdControlsView_->setFrame(videoRect);
    darkBottom_->setFrame({0, videoRect.size.height - kBarHeight, videoRect.size.width, kBarHeight});
    darkTop_->setFrame({0, 0, videoRect.size.width, kBarHeight});
    progressIndicator_->setFrame({8, 11, videoRect.size.width - 70, 8});
    progressTimer_->setFrame({videoRect.size.width - 56, 0, 50, kBarHeight});
    const platform::ui::Size clickButton = sized("video-click-button");
    videoAdControlClickButton_->setFrame({8, (kBarHeight - clickButton.height) / 2,
                                          clickButton.width, clickButton.height});
    if (auto it = images_.find("video-click-button"); it != images_.end())
        videoAdControlClickButton_->setBackgroundImage(it->second,
                                                       platform::ui::ControlState::Normal);

    const double toastWidth = bounds.size.width - 20;
    postVideoControls_->setFrame({10, bounds.size.height - 90, toastWidth, 80});
    postVideoIcon_->setFrame({10, 10, 60, 60});
    if (auto it = images_.find("post-video-icon"); it != images_.end()) postVideoIcon_->setImage(it->second);
    postVideoTitle_->setFrame({80, 12, toastWidth - 210, 22});
    postVideoTagline_->setFrame({80, 40, toastWidth - 210, 20});
    postVideoButton_->setFrame({toastWidth - 125, 20, 115, 40});
    if (auto it = images_.find("post-video-button"); it != images_.end())
        postVideoButton_->setBackgroundImage(it->second, platform::ui::ControlState::Normal);
    postVideoNotification_->setFrame({10, postVideoNotification_->position() == 1 ? 10.0 : bounds.size.height - 60,
                                      toastWidth, 50});
    postVideoNotificationIcon_->setFrame({8, 5, 40, 40});
    if (auto it = images_.find("post-video-reward-icon"); it != images_.end())
        postVideoNotificationIcon_->setImage(it->second);
    postVideoNotificationText_->setFrame({56, 10, toastWidth - 64, 30});

    videoConfirmationView_->setFrame(videoRect);
    videoConfirmationLabel_->setFrame({10, videoRect.size.height / 2 - 60, videoRect.size.width - 20, 30});
    videoConfirmationButton_->setFrame({videoRect.size.width / 2 - 70, videoRect.size.height / 2, 140, 44});
    if (auto it = images_.find("video-confirmation-button"); it != images_.end())
        videoConfirmationButton_->setBackgroundImage(it->second, platform::ui::ControlState::Normal);
    videoConfirmationIcon_->setFrame({videoRect.size.width / 2 - 22, videoRect.size.height / 2 - 110, 44, 44});
    if (auto it = images_.find("video-confirmation-icon"); it != images_.end())
        videoConfirmationIcon_->setImage(it->second);
}

void PFNativeInterstitialView::destroy() {
    removeFromSuperview();
    removeAllAnimations();
    if (currentHudTimer_) currentHudTimer_->invalidate();
    if (closeButtonTimer_) closeButtonTimer_->invalidate();
    if (endToken_) platform::NotificationCenter::defaultCenter().removeObserver(endToken_);
    endToken_ = 0;
    if (playerItem_ && statusToken_) playerItem_->removeStatusObserver(statusToken_);
    statusToken_ = 0;
    if (player_ && timeToken_) player_->removeTimeObserver(timeToken_);
    timeToken_ = 0;
    if (player_) player_->pause();
    group_.reset();
    videoAdControlsView_->touchUpCallback = nullptr;
}

std::shared_ptr<platform::ui::View> PFNativeInterstitialView::subviewNamed(const std::string& name) {
    return viewNamed(name);
}

std::optional<platform::ui::ImageRef> PFNativeInterstitialView::image(const std::string& assetKey) const {
    auto it = images_.find(assetKey);
    if (it == images_.end()) return std::nullopt;
    return it->second;
}

double PFNativeInterstitialView::scale(const std::string& assetKey) const {
    auto it = scales_.find(assetKey);
    return it == scales_.end() ? 1.0 : it->second;
}
