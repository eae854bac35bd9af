#pragma once
// What the Plover tests share: the Plover API peer on loopback HTTPS with a certificate of its
// own that the SDK's loads trust, the SDK's API base pointed at it through the user default
// "plover.api_endpoint", the virtual clock, and a delegate that records every call.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "peers/plover-api/PloverAPIServer.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/UserDefaults.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverCacheManager.h"
#include "plover/PloverNetworkTrust.h"
#include "plover/PloverSDK.h"

namespace plovertest {

// Every delegate call, in order, as text ("willShowAd", "playable 1", ...), with the close
// call's view information.
class RecordingDelegate : public PloverSDKDelegate {
  public:
    void ploverSDKwillShowAd() override { add("willShowAd"); }
    void ploverSDKwillCloseAdWithViewInfo(const platform::Value& info, bool sheet) override {
        viewInfo = info;
        add(std::string("willClose ") + (sheet ? "sheet" : "nosheet"));
    }
    void ploverSDKwillCloseProductSheet(
        const std::shared_ptr<platform::ui::ViewController>&) override {
        add("willCloseProductSheet");
    }
    void ploverSDKhasCachedAdAvailable() override { add("hasCachedAd"); }
    void ploverSDKAdPlayableChanged(bool playable) override {
        add(playable ? "playable 1" : "playable 0");
    }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    bool heard(const std::string& call) const {
        const auto all = calls();
        return std::find(all.begin(), all.end(), call) != all.end();
    }
    platform::Value viewInfo;

  private:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Collects what the SDK logs.
class RecordingLogger : public PloverLogger {
  public:
    void log(const std::string& message) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(message);
    }
    bool contains(const std::string& text) const {
        std::lock_guard lock(mutex_);
        for (const auto& line : lines_)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class PloverPeerTest : public ::testing::Test {
  protected:
    static constexpr double kStart = 1'800'000'000;  // wall clock of the virtual start

    void SetUp() override {
        platform::Clock::useVirtual(kStart);
        ASSERT_GT(server.start(0), 0);
        PloverNetworkTrust::setAdditionalTrustedCertificates({certificate.der()});
        platform::UserDefaults::standard().set("plover.api_endpoint", server.apiBaseURL());
    }

    // The SDK, made on first use with the API base above, with a recording delegate.
    std::shared_ptr<PloverSDK> sdk() {
        auto made = PloverSDK::sharedSDK();
        if (!made->delegate()) made->setDelegate(delegate);
        if (!loggerAttached_) {
            made->attachLogger(logger);
            loggerAttached_ = true;
        }
        return made;
    }

    bool waitFor(const std::function<bool()>& predicate, double seconds = 30) {
        return platform::RunLoop::main().runUntil(predicate, seconds);
    }

    // Runs the main loop until the virtual clock reached `seconds` after now (timers on the
    // way fire), or the real-time cap passed.
    void runFor(double seconds) {
        const double until = platform::Clock::now() + seconds;
        platform::Queue::main()->after(seconds, [] {});  // something for the clock to reach
        platform::RunLoop::main().runUntil([&] { return platform::Clock::now() >= until; }, 60);
    }

    std::filesystem::path cachePath() const { return platform::AppHome::caches() / "plover"; }

    peers::TestCertificate certificate = peers::TestCertificate::selfSigned();
    peers::PloverAPIServer server{certificate.pem(), certificate.privateKeyPem(),
                                  QEN_PLOVER_BUNDLES_DIR};
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();

  private:
    bool loggerAttached_ = false;
};

}  // namespace plovertest
