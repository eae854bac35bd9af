// An ad page's navigations as its creative makes them: each URL is offered to the ad web view's
// delegate, which decides whether the page may load it and hands "hmsg://" page messages along
// its chain of handlers (viewability, opener, default, MRAID, video, precache, timing, rewarded
// video, orientation, video metadata, refresh); a message none knows is posted as a
// notification. The view has a listener for the rewarded video's messages, as the interstitial
// behind a rewarded video is. Pings and opened pages reach a loopback server that answers with nothing.
//
// Input: URLs, one a line; a line that starts with "!" is a navigation by a tapped link.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ads/pipeline/messages/HRNAdViewDelegate.h"
#include "ads/pipeline/messages/HRNSmallHMSGHandlers.h"
#include "ads/rendering/views/HRNAdView.h"
#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/net/URL.h"

namespace {

// Last in the chain: hears the mark sent after the run's messages, which are handled in order.
class Mark : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override {
        static const ActionBlockDictionary actions = {
            {"qenFuzzRunEnded",
             [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>&, const Parameters&) {
                 static_cast<Mark&>(handler).reached = true;
             }}};
        return actions;
    }
    bool reached = false;
};

// What the interstitial behind a rewarded video is to the page's "reward" messages: without it
// the handler leaves "video_start" and "grant" (and the amount's reading) alone.
class RewardListener : public HRNRewardBasedVideoAdHMSGHandlerDelegate {
  public:
    void rewardBasedVideoAdHMSGHandlerDidReceiveStartVideoNotification(
        HRNRewardBasedVideoAdHMSGHandler&) override {
        ++starts;
    }
    void rewardBasedVideoAdHMSGHandlerDidReceiveRewardNotificationWithRewardItem(
        HRNRewardBasedVideoAdHMSGHandler&,
        const std::shared_ptr<const HRNAdReward>& reward) override {
        if (reward) ++grants;
    }
    int starts = 0;
    int grants = 0;
};

qen::fuzz::LoopbackServer*& server() {
    static qen::fuzz::LoopbackServer* instance = nullptr;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    server() = new qen::fuzz::LoopbackServer();  // lives as long as the process
    server()->becomeProxyForOtherHosts();
    server()->setAnswer("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto view = HRNAdView::create(platform::ui::Rect(0, 0, 320, 50));
    auto delegate = std::make_shared<HRNAdViewDelegate>();
    auto mark = std::make_shared<Mark>();
    delegate->addHMSGHandler(mark);
    view->setDelegate(delegate);
    auto rewards = std::make_shared<RewardListener>();
    view->setRewardBasedVideoAdHMSGHandlerDelegate(rewards);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (auto line : qen::fuzz::split(input, "\n", 32)) {
        line = line.substr(0, line.find('\n'));
        auto type = platform::web::NavigationType::Other;
        if (!line.empty() && line.front() == '!') {
            type = platform::web::NavigationType::LinkClicked;
            line.remove_prefix(1);
        }
        auto url = platform::net::URL::parse(std::string(line));
        if (!url) continue;
        delegate->adViewShouldStartLoadWithRequestNavigationType(
            view, platform::net::URLRequest(*url), type);
    }
    delegate->adViewShouldStartLoadWithRequestNavigationType(
        view, platform::net::URLRequest(*platform::net::URL::parse("hmsg://x/qenFuzzRunEnded")),
        platform::web::NavigationType::Other);
    platform::RunLoop::main().runUntil([&] { return mark->reached; }, 30);
    view->removeFromSuperview();
    return 0;
}
