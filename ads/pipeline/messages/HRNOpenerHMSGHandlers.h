#pragma once
// The handlers of an ad view's chain that act through its opener: HRNOpenerHMSGHandler (second
// in the chain: "click", "open", "fetchAppStore"), HRNMRAIDHMSGHandler (fourth: "mraidLoaded",
// "mraid") and HRNAdRefreshHMSGHandler (eleventh: "refresh"). Each holds its place in the chain
// and its opener. HRNMRAIDHMSGHandler takes "mraidLoaded": the page's MRAID script is up, and
// the slot whose own ad view sent it starts its MRAID reporting. The other messages come with
// the click-through opener, the MRAID actions and the banner's refresh control, and until then
// they are not taken (an unhandled message goes on as the chain's end decides).
//
// Main thread only.

#include <memory>

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNOpener;

class HRNOpenerHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNOpenerHMSGHandler(std::shared_ptr<HRNOpener> opener) : opener_(std::move(opener)) {}
    const std::shared_ptr<HRNOpener>& opener() const { return opener_; }

  private:
    std::shared_ptr<HRNOpener> opener_;
};

class HRNMRAIDHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNMRAIDHMSGHandler(std::shared_ptr<HRNOpener> opener) : opener_(std::move(opener)) {}
    const std::shared_ptr<HRNOpener>& opener() const { return opener_; }
    const ActionBlockDictionary& actionBlockDictionary() const override;

  private:
    std::shared_ptr<HRNOpener> opener_;
};

class HRNAdRefreshHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNAdRefreshHMSGHandler(std::shared_ptr<HRNOpener> opener)
        : opener_(std::move(opener)) {}
    const std::shared_ptr<HRNOpener>& opener() const { return opener_; }

  private:
    std::shared_ptr<HRNOpener> opener_;
};
