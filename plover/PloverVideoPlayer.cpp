#include "plover/PloverVideoPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Text.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverAdViewController.h"
#include "plover/PloverSDK.h"

namespace fs = std::filesystem;
using platform::ui::Button;
using platform::ui::Color;
using platform::ui::ControlEvent;
using platform::ui::ControlState;
using platform::ui::Rect;

namespace {

constexpr double kTickInterval = 0.25;

std::shared_ptr<Button> makeButton(const std::string& name,
                                   const std::string& title,
                                   platform::ui::ImageRef image) {
    auto button = std::make_shared<Button>();
    button->setName(name);
    if (image) {
        button->setImage(image, ControlState::Normal);
    } else {
        button->setTitle(title, ControlState::Normal);
        button->setTitleFont(platform::render::Font::system(13, true));
        button->setBackgroundColor(Color::black().withAlpha(0.55));
    }
    return button;
}

}  // namespace

PloverVideoPlayer::PloverVideoPlayer(std::shared_ptr<PloverAdPart> part) : part_(std::move(part)) {}

std::shared_ptr<PloverVideoPlayer> PloverVideoPlayer::create(
    std::shared_ptr<PloverAdPart> part,
    const std::shared_ptr<PloverAdViewController>& controller) {
    std::shared_ptr<PloverVideoPlayer> player(new PloverVideoPlayer(std::move(part)));
    player->build(controller);
    return player;
}

PloverVideoPlayer::~PloverVideoPlayer() {
    if (endObserver_) platform::NotificationCenter::defaultCenter().removeObserver(endObserver_);
    if (player_ && timeObserver_) player_->removeTimeObserver(timeObserver_);
    if (item_ && statusObserver_) item_->removeStatusObserver(statusObserver_);
    if (player_) player_->pause();
}

std::shared_ptr<PloverAdLegacy> PloverVideoPlayer::bundle() const {
    return part_ ? part_->bundle() : nullptr;
}

void PloverVideoPlayer::build(const std::shared_ptr<PloverAdViewController>& controller) {
    controller_ = controller;
    setBackgroundColor(Color::black());
    auto sdk = PloverSDK::sharedSDK();
    std::weak_ptr<PloverVideoPlayer> weak =
        std::static_pointer_cast<PloverVideoPlayer>(shared_from_this());

    const fs::path file = part_ ? part_->localPath() : fs::path();
    if (!file.empty())
        if (auto url =
                platform::net::URL::parse("file://" + platform::percentEscape(file.string(), "/")))
            item_ = platform::media::PlayerItem::create(*url);
    player_ = platform::media::Player::create(item_);
    layer_ = platform::ui::PlayerLayer::withPlayer(player_);
    layer_->setName("video");
    layer_->setUserInteractionEnabled(false);
    addSubview(layer_);

    if (item_) {
        statusObserver_ = item_->addStatusObserver(
            [weak](platform::media::PlayerItemStatus status) {
                auto self = weak.lock();
                if (self && status == platform::media::PlayerItemStatus::Failed && self->started_)
                    self->reachedEnd();
            },
            false);
        endObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
            platform::media::kPlayerItemDidPlayToEndTimeNotification, item_.get(),
            [weak](const platform::Notification&) {
                if (auto self = weak.lock()) self->reachedEnd();
            });
    }

    closeButton_ = makeButton("close", "Close", sdk->getInternalImageNamed("closeButton"));
    muteButton_ = makeButton("mute", "Sound", sdk->getInternalImageNamed("muteButton-normal"));
    ctaButton_ = makeButton("cta", "Download", sdk->getInternalImageNamed("ctaButton"));
    countdown_ = std::make_shared<platform::ui::Label>();
    countdown_->setName("countdown");
    countdown_->setTextColor(Color::white());
    countdown_->setTextAlignment(platform::render::TextAlignment::Center);
    countdown_->setBackgroundColor(Color::black().withAlpha(0.55));
    closeButton_->setHidden(true);
    ctaButton_->setHidden(true);
    countdown_->setHidden(true);
    closeButton_->addTarget(
        [weak](platform::ui::Control&, ControlEvent) {
            if (auto self = weak.lock()) self->closeTapped();
        },
        ControlEvent::TouchUpInside);
    muteButton_->addTarget(
        [weak](platform::ui::Control&, ControlEvent) {
            if (auto self = weak.lock()) self->muteTapped();
        },
        ControlEvent::TouchUpInside);
    ctaButton_->addTarget(
        [weak](platform::ui::Control&, ControlEvent) {
            if (auto self = weak.lock()) self->ctaTapped();
        },
        ControlEvent::TouchUpInside);
    addSubview(countdown_);
    addSubview(muteButton_);
    addSubview(ctaButton_);
    addSubview(closeButton_);
    updateMuteButton();
    layoutSubviews();
}

void PloverVideoPlayer::layoutSubviews() {
    const Rect b = bounds();
    if (layer_) layer_->setFrame(b);
    if (closeButton_) closeButton_->setFrame(Rect(b.width() - 60, 10, 50, 30));
    if (muteButton_) muteButton_->setFrame(Rect(10, 10, 56, 30));
    if (countdown_) countdown_->setFrame(Rect(10, b.height() - 40, 44, 30));
    if (ctaButton_) ctaButton_->setFrame(Rect(b.width() - 110, b.height() - 46, 100, 36));
}

bool PloverVideoPlayer::canPlay() const {
    std::error_code ec;
    if (!item_ || !part_ || !fs::is_regular_file(part_->localPath(), ec)) return false;
    return item_->status() != platform::media::PlayerItemStatus::Failed;
}

bool PloverVideoPlayer::isPlaying() const {
    return player_ && player_->rate() > 0 && !finished_;
}

double PloverVideoPlayer::videoLength() const {
    if (!item_) return 0;
    const double duration = item_->duration();
    return std::isfinite(duration) && duration > 0 ? duration : 0;
}

double PloverVideoPlayer::currentPosition() const {
    if (!player_) return 0;
    const double time = player_->currentTime();
    return std::isfinite(time) && time > 0 ? time : 0;
}

std::string PloverVideoPlayer::originalVideoUrl() const {
    return part_ ? part_->url() : std::string();
}

void PloverVideoPlayer::play() {
    if (stopped_ || !player_) return;
    if (!started_) {
        beginPlay();
        return;
    }
    if (!finished_) player_->play();
}

void PloverVideoPlayer::beginPlay() {
    started_ = true;
    finished_ = false;
    touched_ = false;
    startTime_ = platform::Clock::wallNow();
    playStartedAt_ = platform::Clock::now();
    const uint64_t play = ++play_;
    auto sdk = PloverSDK::sharedSDK();
    player_->setMuted(sdk->muted());
    updateMuteButton();
    std::weak_ptr<PloverVideoPlayer> weak =
        std::static_pointer_cast<PloverVideoPlayer>(shared_from_this());
    if (!timeObserver_)
        timeObserver_ = player_->addPeriodicTimeObserver(kTickInterval, [weak](double time) {
            if (auto self = weak.lock()) self->tick(time);
        });
    auto reveal = [weak, play](double delay, std::function<void(PloverVideoPlayer&)> show) {
        platform::Queue::main()->after(std::max(0.0, delay), [weak, play, show] {
            auto self = weak.lock();
            if (self && self->play_ == play && !self->stopped_) show(*self);
        });
    };
    auto settings = bundle();
    const bool incentivized = settings && settings->incentivized() != 0;
    const double closeDelay =
        settings ? (incentivized ? settings->closeDelayIncentivized() : settings->closeDelay()) : 0;
    closeButton_->setHidden(true);
    reveal(closeDelay, [](PloverVideoPlayer& self) { self.closeButton_->setHidden(false); });
    countdown_->setHidden(true);
    reveal(settings ? settings->countdownDelay() : 0,
           [](PloverVideoPlayer& self) { self.countdown_->setHidden(self.finished_); });
    ctaButton_->setHidden(true);
    if (settings && settings->ctaEnabled() && !settings->ctaDisplayOntouch())
        reveal(settings->ctaShowDelay(), [](PloverVideoPlayer& self) { self.showCallToAction(); });
    player_->play();
    tick(currentPosition());
}

void PloverVideoPlayer::showCallToAction() {
    if (!finished_) ctaButton_->setHidden(false);
}

void PloverVideoPlayer::tick(double time) {
    const double length = videoLength();
    if (length > 0) {
        const double left = std::max(0.0, length - (std::isfinite(time) ? time : 0));
        char text[32];
        std::snprintf(text, sizeof text, "%d", static_cast<int>(std::ceil(left)));
        countdown_->setText(text);
    }
    if (finished_ || !started_) return;
    if (auto controller = controller_.lock()) controller->updateLatestPlayInfo();
}

void PloverVideoPlayer::reachedEnd() {
    if (finished_ || stopped_ || !started_) return;
    finished_ = true;
    player_->pause();
    countdown_->setHidden(true);
    ctaButton_->setHidden(true);
    if (alert_) {
        alert_->dismissWithClickedButtonIndex(alert_->cancelButtonIndex(), false);
        alert_.reset();
    }
    auto self = std::static_pointer_cast<PloverVideoPlayer>(shared_from_this());
    if (auto controller = controller_.lock()) controller->ploverVideoPlayerDidFinish(*self);
}

void PloverVideoPlayer::stop() {
    stopped_ = true;
    if (player_) player_->pause();
}

void PloverVideoPlayer::pause() {
    if (player_) player_->pause();
}

void PloverVideoPlayer::rewindAndPlay() {
    if (!player_) return;
    stopped_ = false;
    started_ = false;
    finished_ = false;
    player_->seekToTime(0);
    play();
}

void PloverVideoPlayer::closeTapped() {
    if (finished_) return;
    auto settings = bundle();
    if (settings && settings->incentivized() != 0) {
        // A rewarded play closed early: ask before giving up the reward.
        pause();
        const auto texts = platform::Value(PloverSDK::sharedSDK()->incentivizedAlertText());
        auto text = [&](const char* key) {
            const platform::Value* v = texts.find(key);
            return v ? v->asString() : std::string();
        };
        alert_ = std::make_shared<platform::ui::AlertView>(
            text("title"), text("body"),
            std::static_pointer_cast<PloverVideoPlayer>(shared_from_this()), text("close"),
            std::vector<std::string>{text("continue")});
        alert_->show();
        return;
    }
    reachedEnd();
}

void PloverVideoPlayer::alertViewClickedButtonAtIndex(platform::ui::AlertView&, int64_t index) {
    alert_.reset();
    if (index == 0) {
        reachedEnd();
    } else if (player_ && !finished_) {
        player_->play();
    }
}

void PloverVideoPlayer::muteTapped() {
    auto sdk = PloverSDK::sharedSDK();
    sdk->setMuted(!sdk->muted());
    if (player_) player_->setMuted(sdk->muted());
    updateMuteButton();
}

void PloverVideoPlayer::updateMuteButton() {
    if (!muteButton_) return;
    auto sdk = PloverSDK::sharedSDK();
    const bool muted = sdk->muted();
    if (auto image = sdk->getInternalImageNamed(muted ? "muteButton-muted" : "muteButton-normal")) {
        muteButton_->setImage(image, ControlState::Normal);
    } else {
        muteButton_->setTitle(muted ? "Muted" : "Sound", ControlState::Normal);
    }
    muteButton_->setSelected(muted);
}

void PloverVideoPlayer::ctaTapped() {
    if (finished_) return;
    auto self = std::static_pointer_cast<PloverVideoPlayer>(shared_from_this());
    if (auto controller = controller_.lock()) controller->videoCTAClicked(*self);
}

void PloverVideoPlayer::touchesEnded(const platform::ui::Touches& touches) {
    auto settings = bundle();
    if (!settings || !settings->ctaEnabled() || finished_ || touches.empty()) return;
    if (settings->ctaDisplayOntouch() && ctaButton_->isHidden()) {
        // The first touch brings the call-to-action up (after its delay, counted from the start).
        if (!touched_) {
            touched_ = true;
            const double waited = platform::Clock::now() - playStartedAt_;
            std::weak_ptr<PloverVideoPlayer> weak =
                std::static_pointer_cast<PloverVideoPlayer>(shared_from_this());
            const uint64_t play = play_;
            platform::Queue::main()->after(std::max(0.0, settings->ctaShowDelay() - waited),
                                           [weak, play] {
                                               auto self = weak.lock();
                                               if (self && self->play_ == play && !self->stopped_)
                                                   self->showCallToAction();
                                           });
        }
        return;
    }
    if (ctaButton_->isHidden()) return;
    // A tap inside the click area (that share of the video, centred) is a click.
    const double area = std::clamp(static_cast<double>(settings->ctaClickArea()), 0.0, 1.0);
    const Rect b = bounds();
    const double w = b.width() * std::sqrt(area), h = b.height() * std::sqrt(area);
    const Rect clickable((b.width() - w) / 2, (b.height() - h) / 2, w, h);
    const auto point = touches.front()->locationInView(this);
    if (point.x >= clickable.origin.x && point.x < clickable.maxX() &&
        point.y >= clickable.origin.y && point.y < clickable.origin.y + clickable.size.height)
        ctaTapped();
}
