// The ad server's MRAID scripts, checked against what MRAID 2.0 requires of an implementation:
// every method of the `mraid` object, the five events and the states, and the messages the
// SDK takes from the calls.

#include <gtest/gtest.h>

#include <functional>

#include "ads/pipeline/HRNAdServerFixture_test.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/web/WebView.h"

namespace {

using peers::AdServerResponse;

bool spin(const std::function<bool()>& done, double cap = 10) {
    return platform::RunLoop::main().runUntil(done, cap);
}

struct Messages : platform::web::WebViewDelegate {
    bool shouldStartLoadWithRequest(platform::web::WebView&,
                                    const platform::net::URLRequest& r,
                                    platform::web::NavigationType) override {
        if (r.url.scheme() != "hmsg") return true;
        sent.push_back(r.url.path().substr(1) + (r.url.query() ? "?" + *r.url.query() : ""));
        return false;
    }
    void webViewDidFinishLoad(platform::web::WebView&) override { loaded = true; }
    std::vector<std::string> sent;
    bool loaded = false;
};

class MRAIDScriptTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
  protected:
    void SetUp() override {
        AdServerResponse page;
        page.contentType = "text/html";
        page.body = std::string("<script src=\"/hads/static/mad/sdk/native/mraid/v2/") +
                    GetParam().first +
                    "\"></script><script>window.heard = [];"
                    "['ready','error','stateChange','viewableChange','sizeChange'].forEach("
                    "function (e) { mraid.addEventListener(e, function (a, b) {"
                    " heard.push(e + (a === undefined ? '' : ':' + a) +"
                    " (b === undefined ? '' : ':' + b)); }); });</script>";
        https.server.serve("/mraid-page.html", page);
        view->setDelegate(messages);
        view->loadRequest(platform::net::URLRequest(
            *platform::net::URL::parse(https.server.URLString("/mraid-page.html"))));
        ASSERT_TRUE(spin([&] { return messages->loaded; }));
    }

    std::string js(const std::string& script) {
        return view->stringByEvaluatingJavaScriptFromString(script);
    }
    void sdkSends(const std::string& name, const std::string& payload = "undefined") {
        js("HSDK_ReceiveMessage('" + name + "', " + payload + ");");
    }

    hrntest::HTTPSAdServer https;
    std::shared_ptr<platform::web::WebView> view =
        std::make_shared<platform::web::WebView>(platform::ui::Rect(0, 0, 320, 480));
    std::shared_ptr<Messages> messages = std::make_shared<Messages>();
};

TEST_P(MRAIDScriptTest, TheInterfaceOfMRAIDTwo) {
    for (const char* method : {"getVersion",
                               "addEventListener",
                               "removeEventListener",
                               "open",
                               "close",
                               "useCustomClose",
                               "expand",
                               "getExpandProperties",
                               "setExpandProperties",
                               "getState",
                               "getPlacementType",
                               "isViewable",
                               "resize",
                               "getResizeProperties",
                               "setResizeProperties",
                               "getOrientationProperties",
                               "setOrientationProperties",
                               "getCurrentPosition",
                               "getDefaultPosition",
                               "getMaxSize",
                               "getScreenSize",
                               "supports",
                               "storePicture",
                               "createCalendarEvent",
                               "playVideo"})
        EXPECT_EQ(js(std::string("typeof mraid.") + method), "function") << method;
    EXPECT_EQ(js("mraid.getVersion()"), "2.0");
    EXPECT_EQ(js("mraid.getPlacementType()"), GetParam().second);
    EXPECT_EQ(js("mraid.getState()"), "loading");
    EXPECT_EQ(js("String(mraid.isViewable())"), "false");
    ASSERT_FALSE(messages->sent.empty());
    EXPECT_EQ(messages->sent.front(), "mraidLoaded");  // the SDK hears that MRAID is here
}

TEST_P(MRAIDScriptTest, TheSDKsReportsBecomeStateAndEvents) {
    sdkSends("onScreenInfoChanged", R"({"width": 320, "height": 568, "maxSizeWidth": 320,
                                       "maxSizeHeight": 548, "isOrientationLandscape": 0})");
    sdkSends("onDeviceFeaturesReceived", R"({"sms": true, "tel": false, "calendar": true,
                                           "storePicture": true, "inlineVideo": true})");
    sdkSends("onReadyEventReceived", R"({"js": "hsdk-i-v3.1.0"})");
    EXPECT_EQ(js("heard.join()"), "ready");
    EXPECT_EQ(js("mraid.getState()"), "default");
    EXPECT_EQ(js("JSON.stringify(mraid.getScreenSize())"), R"({"width":320,"height":568})");
    EXPECT_EQ(js("JSON.stringify(mraid.getMaxSize())"), R"({"width":320,"height":548})");
    EXPECT_EQ(
        js("[mraid.supports('sms'), mraid.supports('tel'), mraid.supports('teleport')].join()"),
        "true,false,false");
    sdkSends("onAdVisibilityChanged", R"({"visible": "1"})");
    sdkSends("onSizeChanged", R"({"x": 0, "y": 20, "width": 320, "height": 480})");
    sdkSends("onDefaultPositionReceived", R"({"x": 0, "y": 20, "width": 320, "height": 480})");
    sdkSends("onError", R"({"message": "no", "action": "resize"})");
    sdkSends("onStateChanged", R"({"state": "hidden"})");
    EXPECT_EQ(js("heard.join()"),
              "ready,viewableChange:true,sizeChange:320:480,error:no:resize,stateChange:hidden");
    EXPECT_EQ(js("JSON.stringify(mraid.getCurrentPosition())"),
              R"({"x":0,"y":20,"width":320,"height":480})");
    EXPECT_EQ(js("String(mraid.isViewable())"), "true");
}

TEST_P(MRAIDScriptTest, CallsBecomeMessagesToTheSDK) {
    sdkSends("onDeviceFeaturesReceived", R"({"storePicture": true, "calendar": true})");
    sdkSends("onReadyEventReceived", R"({})");
    messages->sent.clear();
    js("mraid.useCustomClose(true);"
       "mraid.open('https://landing.test/a b');"
       "mraid.setOrientationProperties({allowOrientationChange: false, forceOrientation: "
       "'landscape'});"
       "mraid.storePicture('https://img.test/p.png');"
       "mraid.createCalendarEvent({description: 'Sale', start: '2016-01-01'});"
       "mraid.playVideo('https://v.test/v.mp4');"
       "mraid.close();");
    ASSERT_TRUE(spin([&] { return messages->sent.size() == 7; }));
    EXPECT_EQ(messages->sent[0], "customClose?custom_close=1");
    EXPECT_EQ(messages->sent[1], "open?a=browser&u=https%3A%2F%2Flanding.test%2Fa%20b");
    EXPECT_EQ(
        messages->sent[2],
        "mraid?a=setOrientationProperties&allowOrientationChange=false&forceOrientation=landscape");
    EXPECT_EQ(messages->sent[3], "mraid?a=storePicture&iurl=https%3A%2F%2Fimg.test%2Fp.png");
    EXPECT_EQ(messages->sent[4], "mraid?a=createCalendarEvent&description=Sale&start=2016-01-01");
    EXPECT_EQ(messages->sent[5], "open?a=video&u=https%3A%2F%2Fv.test%2Fv.mp4");
    EXPECT_EQ(messages->sent[6], "close");

    // Misuse is told to the page as an error, and asks nothing of the SDK.
    messages->sent.clear();
    js("mraid.addEventListener('teleport', function () {});"
       "mraid.setResizeProperties({width: 10, height: 10});"
       "mraid.setOrientationProperties({forceOrientation: 'sideways'});");
    spin([] { return false; }, 0.2);
    EXPECT_TRUE(messages->sent.empty());
    EXPECT_EQ(js("heard.filter(function (h) { return h.indexOf('error') === 0; }).length"), "3");
}

INSTANTIATE_TEST_SUITE_P(Scripts,
                         MRAIDScriptTest,
                         ::testing::Values(std::make_pair("mraid_app_banner.js", "inline"),
                                           std::make_pair("mraid_app_interstitial.js",
                                                          "interstitial")));

}  // namespace
