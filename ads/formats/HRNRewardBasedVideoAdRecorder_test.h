#pragma once
// A rewarded-video delegate for tests: the calls it heard in order ("receive", "open", "start",
// "reward", "close", "fail"), with the rewards and load failures they carried.

#include <memory>
#include <string>
#include <vector>

#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/mediation/HRNAdReward.h"

namespace hrntest {

struct VideoRecorder : HRNRewardBasedVideoAdDelegate {
    std::vector<std::string> events;
    std::vector<std::shared_ptr<const HRNAdReward>> rewards;
    std::vector<platform::Error> failures;
    void rewardBasedVideoAdDidReceiveAd(const std::shared_ptr<HRNRewardBasedVideoAd>&) override {
        events.push_back("receive");
    }
    void rewardBasedVideoAdDidOpen(const std::shared_ptr<HRNRewardBasedVideoAd>&) override {
        events.push_back("open");
    }
    void rewardBasedVideoAdDidStartPlaying(const std::shared_ptr<HRNRewardBasedVideoAd>&) override {
        events.push_back("start");
    }
    void rewardBasedVideoAdDidRewardUserWithReward(
        const std::shared_ptr<HRNRewardBasedVideoAd>&,
        const std::shared_ptr<const HRNAdReward>& reward) override {
        events.push_back("reward");
        rewards.push_back(reward);
    }
    void rewardBasedVideoAdDidClose(const std::shared_ptr<HRNRewardBasedVideoAd>&) override {
        events.push_back("close");
    }
    void rewardBasedVideoAdDidFailToLoadWithError(const std::shared_ptr<HRNRewardBasedVideoAd>&,
                                                  const platform::Error& error) override {
        events.push_back("fail");
        failures.push_back(error);
    }
};

}  // namespace hrntest
