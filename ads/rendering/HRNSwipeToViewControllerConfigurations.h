#pragma once
// HRNSwipeToViewControllerConfigurations: an ad's swipe-to-open settings, the JSON that the ad
// response's "x-hsdk-swipe-to-view-controller" header carries, kept as received for the
// presentation that reads it. Immutable once made; any thread.

#include "platform/foundation/Value.h"

class HRNSwipeToViewControllerConfigurations {
  public:
    explicit HRNSwipeToViewControllerConfigurations(platform::Value swipeConfigurations)
        : configurations_(std::move(swipeConfigurations)) {}
    const platform::Value& swipeConfigurations() const { return configurations_; }

  private:
    platform::Value configurations_;
};
