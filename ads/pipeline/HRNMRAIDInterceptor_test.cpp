#include "ads/pipeline/HRNMRAIDInterceptor.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>

#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

namespace {

using peers::AdServerResponse;

bool spin(const std::function<bool()>& done, double cap = 10) {
    return platform::RunLoop::main().runUntil(done, cap);
}

platform::net::URLRequest scriptRequest(const std::string& url, const std::string& referer) {
    platform::net::URLRequest request(*platform::net::URL::parse(url));
    request.setValueForHeader("Referer", referer);
    return request;
}

// What the URL loading system would hear from the interceptor.
struct Client : platform::net::URLProtocolClient {
    void didReceiveResponse(const platform::net::HTTPURLResponse& r) override {
        std::lock_guard lock(mutex);
        response = r;
    }
    void didLoadData(const platform::Data& data) override {
        std::lock_guard lock(mutex);
        body.append(data);
    }
    void didFinishLoading() override {
        std::lock_guard lock(mutex);
        finished = true;
    }
    void didFailWithError(const platform::Error& e) override {
        std::lock_guard lock(mutex);
        error = e;
    }
    bool done() {
        std::lock_guard lock(mutex);
        return finished || error.has_value();
    }
    std::mutex mutex;
    std::optional<platform::net::HTTPURLResponse> response;
    platform::Data body;
    bool finished = false;
    std::optional<platform::Error> error;
};

class MRAIDInterceptorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        ASSERT_GT(https.port, 0);
        HRNMRAIDInterceptor::initialize();
        slot = HRNSlot::create(platform::ui::Rect(0, 0, 320, 480));  // an interstitial slot
        slot->adView()->setURLForView(page, slot->adView());
    }
    void TearDown() override { slot->cancelPendingAndFutureActions(); }

    std::shared_ptr<Client> serve(const std::string& scriptURL) {
        auto client = std::make_shared<Client>();
        interceptor.startLoading(scriptRequest(scriptURL, page->absoluteString()), client);
        return client;
    }

    hrntest::HTTPSAdServer https;
    std::shared_ptr<HRNSlot> slot;
    std::optional<platform::net::URL> page = platform::net::URL::parse("https://ads.test/ad?u=1");
    HRNMRAIDInterceptor interceptor;
};

TEST_F(MRAIDInterceptorTest, OnlyMRAIDScriptsOfStashedPagesWhileASlotLoads) {
    const std::string referer = page->absoluteString();
    auto asked = [&](const std::string& url, const std::string& from) {
        return interceptor.canHandle(scriptRequest(url, from));
    };
    EXPECT_FALSE(asked("https://cdn.test/mraid.js", referer));  // no slot loading
    HRNMRAIDInterceptor::enableCanInitWithRequest();
    EXPECT_TRUE(asked("https://cdn.test/mraid.js", referer));
    EXPECT_TRUE(asked("https://cdn.test/lib/mraid.js?v=2", referer));
    EXPECT_FALSE(asked("https://cdn.test/mraid.json", referer));
    EXPECT_FALSE(asked("https://cdn.test/mraid.js", "https://elsewhere.test/"));
    EXPECT_FALSE(asked(*HRNMRAIDInterceptor::bannerImplementationPath(), referer));
    HRNMRAIDInterceptor::disallow();
    EXPECT_FALSE(asked("https://cdn.test/mraid.js", referer));
    HRNMRAIDInterceptor::allow();
    EXPECT_TRUE(asked("https://cdn.test/mraid.js", referer));
    HRNMRAIDInterceptor::disableCanInitWithRequest();
    HRNMRAIDInterceptor::disableCanInitWithRequest();  // one too many
    EXPECT_EQ(HRNMRAIDInterceptor::canInitWithRequestCounter(), 0);
    EXPECT_FALSE(asked("https://cdn.test/mraid.js", referer));
}

TEST_F(MRAIDInterceptorTest, TheScriptOfTheAdViewsKindIsServed) {
    auto client = serve("https://cdn.test/mraid.js");
    ASSERT_TRUE(spin([&] { return client->done(); }));
    ASSERT_TRUE(client->finished);
    EXPECT_EQ(client->response->MIMEType(), "application/javascript");
    EXPECT_EQ(client->response->url().absoluteString(), "https://cdn.test/mraid.js");
    EXPECT_EQ(client->response->expectedContentLength(), static_cast<int64_t>(client->body.size()));
    const std::string script(reinterpret_cast<const char*>(client->body.data()),
                             client->body.size());
    EXPECT_NE(script.find("var PLACEMENT = 'interstitial';"), std::string::npos);
    // A banner slot's page gets the banner script.
    slot->setAdTypeAndReloadRequest(HRNAdType::bannerAdTypeForSize(kHRNAdSizeBanner), false);
    auto banner = serve("https://cdn.test/mraid.js");
    ASSERT_TRUE(spin([&] { return banner->done(); }));
    EXPECT_EQ(https.server.requestCount("/hads/static/mad/sdk/native/mraid/v2/mraid_app_banner.js"),
              1u);
}

TEST_F(MRAIDInterceptorTest, AScriptThatCannotBeReadFailsInsteadOfAnsweringNothing) {
    HRNMRAIDInterceptor::setInterstitialImplementationPath(https.server.URLString("/missing.js"));
    auto missing = serve("https://cdn.test/mraid.js");
    ASSERT_TRUE(spin([&] { return missing->done(); }));
    EXPECT_FALSE(missing->finished);
    EXPECT_TRUE(missing->error);

    AdServerResponse late;
    late.body = "late";
    late.delay = 60;  // seconds on the virtual clock
    https.server.serve("/late.js", late);
    HRNMRAIDInterceptor::setInterstitialImplementationPath(https.server.URLString("/late.js"));
    auto slow = serve("https://cdn.test/mraid.js");
    ASSERT_TRUE(spin([&] { return https.server.requestCount("/late.js") == 1; }));
    platform::Clock::advance(HRNMRAIDInterceptor::kScriptTimeout + 1);
    ASSERT_TRUE(spin([&] { return slow->done(); }));
    ASSERT_TRUE(slow->error);
    EXPECT_EQ(slow->error->code, platform::net::kURLErrorTimedOut);
}

}  // namespace
