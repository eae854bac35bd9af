#pragma once
// A fixture for the ad tests: the API peer answering with the local network's ad catalog, the
// asset server with the catalog's templates, pictures and clips, a key window for the ad views,
// and a delegate that writes down every call it gets, checking that it came on the main thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "peers/puffin-api/PuffinAdCatalog.h"
#include "peers/puffin-api/PuffinAssetServer.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Window.h"
#include "puffin/core/PuffinDelegate.h"
#include "puffin/networking/PFAPIPeerFixture_test.h"

namespace pftest {

// Every call as "name location" (or "name location value"), in order of arrival.
class RecordingDelegate : public PuffinDelegate {
  public:
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    bool has(const std::string& call) const {
        auto all = calls();
        return std::find(all.begin(), all.end(), call) != all.end();
    }
    size_t count(const std::string& call) const {
        auto all = calls();
        return static_cast<size_t>(std::count(all.begin(), all.end(), call));
    }
    bool offMainThread() const { return offMain_; }
    // The answer to the should-questions (yes by default: not answered).
    std::optional<bool> answer;

    void didInitialize(bool success) override { add("didInitialize", success ? "YES" : "NO"); }
    std::optional<bool> shouldRequestInterstitial(const std::string& l) override {
        add("shouldRequestInterstitial", l, false);
        return answer;
    }
    std::optional<bool> shouldDisplayInterstitial(const std::string& l) override {
        add("shouldDisplayInterstitial", l, false);
        return answer;
    }
    std::optional<bool> shouldDisplayRewardedVideo(const std::string& l) override {
        add("shouldDisplayRewardedVideo", l, false);
        return answer;
    }
    void didDisplayInterstitial(const std::string& l) override { add("didDisplayInterstitial", l); }
    void didCacheInterstitial(const std::string& l) override { add("didCacheInterstitial", l); }
    void didFailToLoadInterstitialWithError(const std::string& l, uint64_t e) override {
        add("didFailToLoadInterstitial", l + " " + std::to_string(e));
    }
    void didFailToRecordClickWithError(const std::string& l, uint64_t e) override {
        add("didFailToRecordClick", l + " " + std::to_string(e), false);
    }
    void didDismissInterstitial(const std::string& l) override { add("didDismissInterstitial", l); }
    void didCloseInterstitial(const std::string& l) override { add("didCloseInterstitial", l); }
    void didClickInterstitial(const std::string& l) override { add("didClickInterstitial", l); }
    void didPrefetchVideos() override { add("didPrefetchVideos", ""); }
    void didDisplayRewardedVideo(const std::string& l) override {
        add("didDisplayRewardedVideo", l);
    }
    void didCacheRewardedVideo(const std::string& l) override { add("didCacheRewardedVideo", l); }
    void didFailToLoadRewardedVideoWithError(const std::string& l, uint64_t e) override {
        add("didFailToLoadRewardedVideo", l + " " + std::to_string(e));
    }
    void didDismissRewardedVideo(const std::string& l) override {
        add("didDismissRewardedVideo", l);
    }
    void didCloseRewardedVideo(const std::string& l) override { add("didCloseRewardedVideo", l); }
    void didClickRewardedVideo(const std::string& l) override { add("didClickRewardedVideo", l); }
    void didCompleteRewardedVideoWithReward(const std::string& l, int32_t reward) override {
        add("didCompleteRewardedVideo", l + " " + std::to_string(reward));
    }
    void willDisplayVideo(const std::string& l) override { add("willDisplayVideo", l, false); }

  private:
    void add(const std::string& name, const std::string& argument, bool onMain = true) {
        if (onMain && !platform::Queue::main()->isCurrent()) offMain_ = true;
        std::lock_guard lock(mutex_);
        calls_.push_back(argument.empty() ? name : name + " " + argument);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::atomic<bool> offMain_{false};
};

class AdFixture : public APIPeerFixture {
  protected:
    void SetUp() override {
        APIPeerFixture::SetUp();
        ASSERT_GT(assets.start(0), 0);
        peers::PuffinAdCatalog::install(assets, QEN_TEST_CLIPS_DIR);
        catalog = peers::PuffinAdCatalog(assets.baseURL());
        catalog.serveOn(server);
        manager();  // trusting the peer, online
        window = std::make_shared<platform::ui::Window>();
        window->makeKeyAndVisible();
    }

    // Starts the SDK with the recording delegate.
    void start() { Puffin::startWithAppIdAppSignatureDelegate(kAppId, kAppSignature, delegate); }
    // The paths of the API requests so far, in order of arrival.
    std::vector<std::string> apiPaths(bool withTrack = false) const {
        std::vector<std::string> paths;
        for (const auto& request : server.requests())
            if (withTrack || request.path != "/api/track") paths.push_back(request.path);
        return paths;
    }

    peers::PuffinAssetServer assets;
    peers::PuffinAdCatalog catalog{""};
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<platform::ui::Window> window;
};

}  // namespace pftest
