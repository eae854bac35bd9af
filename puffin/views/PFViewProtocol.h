#pragma once
// What every Puffin ad view offers its presenter (PFDefaultViewController) and its impression:
// preparing from the ad response, readiness, the callbacks through which it reports (ready,
// shown, clicked, closed, failed, played to the end), orientation, and the audio events the
// facade hands on. PFInterstitialPlayback adds the start and stop of playback.
//
// The impression installs the callbacks; the view calls them (the web and native views always
// asynchronously on the main queue). Callback accessors may be used from any thread; everything
// else is main-thread only, as the views are.

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform::ui {
class View;
}

class PFViewProtocol {
  public:
    using MoreDataCallback = std::function<void(const platform::Dictionary& moreData)>;
    // The URL to open (none: the ad's own link), what the view knows of the click, and one
    // optional detail (the click's coordinates, or the more-apps entry clicked).
    using ClickCallback = std::function<void(const std::optional<std::string>& url,
                                             const platform::Dictionary& moreData,
                                             const std::optional<platform::Value>& detail)>;
    using PlainCallback = std::function<void()>;
    // A PFLoadError code.
    using FailCallback = std::function<void(uint64_t code)>;

    virtual ~PFViewProtocol() = default;

    // The view as a node of the view tree.
    virtual std::shared_ptr<platform::ui::View> view() = 0;

    virtual bool canDisplay() = 0;
    // Builds the content; answers values derived from the response (the web view's reward).
    virtual platform::Dictionary prepareWithResponse(const platform::Dictionary& response) = 0;
    // Releases the content; called once the dismiss animation ended.
    virtual void destroy() = 0;
    virtual bool shouldAdjustFrameForStatusBar() = 0;
    virtual void audioInterruptShouldResume() = 0;
    virtual void audioRoutePhoneCall() = 0;
    virtual void audioRouteHeadphones() = 0;

    virtual int64_t orientation() const = 0;
    virtual void setOrientation(int64_t orientation) = 0;
    // One bit per interface orientation: bit n for orientation n (2, 4, 8, 16).
    virtual uint64_t supportedOrientations() const = 0;

    // Optional operations: whether the view has them.
    virtual bool answersCloseNoRetryCallback() const { return false; }
    virtual bool answersSetVideoConfirmationEnabled() const { return false; }
    virtual void setVideoConfirmationEnabled(bool /*enabled*/) {}
    virtual bool answersPlayAndPause() const { return false; }
    virtual void play() {}
    virtual void pause() {}

    MoreDataCallback readyToDisplayCallback() const { return get(readyToDisplay_); }
    void setReadyToDisplayCallback(MoreDataCallback c) { set(readyToDisplay_, std::move(c)); }
    MoreDataCallback displayCallback() const { return get(display_); }
    void setDisplayCallback(MoreDataCallback c) { set(display_, std::move(c)); }
    ClickCallback clickCallback() const { return get(click_); }
    void setClickCallback(ClickCallback c) { set(click_, std::move(c)); }
    PlainCallback closeCallback() const { return get(close_); }
    void setCloseCallback(PlainCallback c) { set(close_, std::move(c)); }
    PlainCallback closeNoRetryCallback() const { return get(closeNoRetry_); }
    void setCloseNoRetryCallback(PlainCallback c) { set(closeNoRetry_, std::move(c)); }
    PlainCallback playbackCompletedCallback() const { return get(playbackCompleted_); }
    void setPlaybackCompletedCallback(PlainCallback c) { set(playbackCompleted_, std::move(c)); }
    FailCallback failCallback() const { return get(fail_); }
    void setFailCallback(FailCallback c) { set(fail_, std::move(c)); }

  private:
    template <typename T>
    T get(const T& field) const {
        std::lock_guard lock(callbackMutex_);
        return field;
    }
    template <typename T>
    void set(T& field, T value) {
        std::lock_guard lock(callbackMutex_);
        field = std::move(value);
    }

    mutable std::mutex callbackMutex_;
    MoreDataCallback readyToDisplay_;
    MoreDataCallback display_;
    ClickCallback click_;
    PlainCallback close_;
    PlainCallback closeNoRetry_;
    PlainCallback playbackCompleted_;
    FailCallback fail_;
};

// Playback of the video views.
class PFInterstitialPlayback {
  public:
    virtual ~PFInterstitialPlayback() = default;
    virtual void startPlayback() = 0;
    virtual void stopPlayback() = 0;
    // Seconds, for the click and completion reports; NaN when unknown.
    virtual double currentItemPlayableDuration() const { return std::nan(""); }
    virtual double currentItemPlayTime() const { return std::nan(""); }
};
