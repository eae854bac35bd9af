#pragma once
// HRNSwipeToViewControllerConfigurations: what an ad answer says about swiping a full-screen
// store sheet into view from the ad: the product to show, the areas of the banner where a drag
// may start, the transition's length and the creative's metadata handed back with every swipe
// event. The creative switches the feature on later (its direction and whether the ad follows
// the sheet) through the enable message.
//
// Made and read on the main thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/render/Geometry.h"

class HRNSwipeToViewControllerConfigurations {
  public:
    // Each key is taken only when its value has the expected kind: "app_store_product_id"
    // (number), "swipeable_rectangles" (array of {"x", "y", "width", "height"}; invalid ones
    // skipped), "swipe_animation_transition_duration" (number; 1.0 when absent, 0 or less),
    // "swipe_event_creative_metadata" (dictionary).
    static std::shared_ptr<HRNSwipeToViewControllerConfigurations> initWithSwipeConfigurations(
        const platform::Dictionary& configurations);

    const std::optional<int64_t>& swipeableInAppStoreProductID() const { return productID_; }
    // std::nullopt when the configuration listed no valid rectangle.
    const std::optional<std::vector<platform::render::Rect>>& swipeableRectangles() const {
        return rectangles_;
    }
    // 0 none, 1 top to bottom, 2 bottom to top.
    int64_t swipeDirection() const { return swipeDirection_; }
    void setSwipeDirection(int64_t direction) { swipeDirection_ = direction; }
    bool isAdDraggable() const { return adDraggable_; }
    void setAdDraggable(bool draggable) { adDraggable_ = draggable; }
    double swipeAnimationTransitionDuration() const { return transitionDuration_; }
    const std::optional<platform::Dictionary>& swipeEventCreativeMetadata() const {
        return creativeMetadata_;
    }

  private:
    HRNSwipeToViewControllerConfigurations() = default;

    std::optional<int64_t> productID_;
    std::optional<std::vector<platform::render::Rect>> rectangles_;
    int64_t swipeDirection_ = 0;
    bool adDraggable_ = false;
    double transitionDuration_ = 1.0;
    std::optional<platform::Dictionary> creativeMetadata_;
};

// {"x", "y", "width", "height"} (numbers) as a rectangle; the zero rectangle and, when asked, an
// error ("cg_rect_conversion", code 1, "Invalid SDK Core rectangle ...") when one is missing or
// not a number.
platform::render::Rect HRNRectFromDictionary(const platform::Dictionary& dictionary,
                                             platform::Error* error);
platform::Dictionary HRNDictionaryFromRect(const platform::render::Rect& rect);
