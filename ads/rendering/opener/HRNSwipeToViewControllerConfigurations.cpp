#include "ads/rendering/opener/HRNSwipeToViewControllerConfigurations.h"

#include "ads/foundation/HRNDevice.h"
#include "platform/foundation/PropertyList.h"

std::shared_ptr<HRNSwipeToViewControllerConfigurations>
HRNSwipeToViewControllerConfigurations::initWithSwipeConfigurations(
    const platform::Dictionary& configurations) {
    if (!HRNDevice::sharedInstance()->isOSAtLeastMajorMinorPatch(7, 0, 0)) return nullptr;
    auto result = std::shared_ptr<HRNSwipeToViewControllerConfigurations>(
        new HRNSwipeToViewControllerConfigurations());
    auto find = [&configurations](const char* key) -> const platform::Value* {
        auto found = configurations.find(key);
        return found == configurations.end() ? nullptr : &found->second;
    };
    if (const platform::Value* id = find("app_store_product_id"); id && id->isNumber())
        result->productID_ = id->asInteger();
    if (const platform::Value* list = find("swipeable_rectangles"); list && list->array()) {
        for (const platform::Value& element : *list->array()) {
            if (!element.dictionary()) continue;
            platform::Error error;
            const platform::render::Rect rect =
                HRNRectFromDictionary(*element.dictionary(), &error);
            if (!error.domain.empty()) continue;
            if (!result->rectangles_) result->rectangles_.emplace();
            result->rectangles_->push_back(rect);
        }
    }
    if (const platform::Value* duration = find("swipe_animation_transition_duration");
        duration && duration->isNumber() && duration->asReal() > 0)
        result->transitionDuration_ = duration->asReal();
    if (const platform::Value* metadata = find("swipe_event_creative_metadata");
        metadata && metadata->dictionary())
        result->creativeMetadata_ = *metadata->dictionary();
    return result;
}

platform::render::Rect HRNRectFromDictionary(const platform::Dictionary& dictionary,
                                             platform::Error* error) {
    double parts[4];
    const char* keys[4] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        auto found = dictionary.find(keys[i]);
        if (found == dictionary.end() || !found->second.isNumber() || found->second.isBool()) {
            if (error) {
                *error = platform::Error::withDescription(
                    "cg_rect_conversion", 1,
                    "Invalid SDK Core rectangle " +
                        platform::json::serialize(platform::Value(dictionary)).value_or("") + ".");
            }
            return platform::render::Rect();
        }
        parts[i] = found->second.asReal();
    }
    return platform::render::Rect(parts[0], parts[1], parts[2], parts[3]);
}

platform::Dictionary HRNDictionaryFromRect(const platform::render::Rect& rect) {
    return {{"x", rect.origin.x},
            {"y", rect.origin.y},
            {"width", rect.size.width},
            {"height", rect.size.height}};
}
