#pragma once
// HRNInterstitial: the full-screen ad an application makes for one ad unit, loads once, asks
// whether it is ready, and presents over one of its view controllers. One object serves one ad;
// the application makes a new one for the next.
//
// Threads: call it on the main thread. loadRequest always continues on the main queue, so a
// load started in one run-loop turn takes effect in a later one; delegate calls come on the
// main thread. The delegate is held weakly and only called while it exists.
//
// Loading: the SDK cannot fetch ads yet, so every load fails with a network error (code 2) and
// the interstitial is never ready.

#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace platform::ui {
class ViewController;
}
class HRNInterstitial;
class HRNRequest;

// Every operation is optional: the defaults stand for a delegate that does not answer it.
class HRNInterstitialDelegate {
  public:
    virtual ~HRNInterstitialDelegate() = default;
    virtual void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) {}
    // The error is a HRNRequestError or another error.
    virtual void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                         const platform::Error&) {}
    virtual void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) {}
};

class HRNInterstitial : public std::enable_shared_from_this<HRNInterstitial> {
  public:
    // Keeps a copy of the ad unit ID; loads nothing yet. Hold the object in a std::shared_ptr.
    explicit HRNInterstitial(std::string adUnitID = "");
    static std::shared_ptr<HRNInterstitial> create(std::string adUnitID);

    const std::string& adUnitID() const { return adUnitID_; }

    std::shared_ptr<HRNInterstitialDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNInterstitialDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // Copies the request and loads on the main queue; the result reaches the delegate.
    void loadRequest(const std::shared_ptr<HRNRequest>& request);

    // Whether an ad has loaded and not been shown yet.
    bool isReady() const;

    // Shows the loaded ad full screen; when there is none, logs that it is not ready.
    void presentFromRootViewController(const std::shared_ptr<platform::ui::ViewController>& root);

  private:
    void loadCopiedRequest(const std::shared_ptr<HRNRequest>& request);
    void didFailToLoadAdContentWithError(const platform::Error& error);

    std::string adUnitID_;
    std::weak_ptr<HRNInterstitialDelegate> delegate_;
};
