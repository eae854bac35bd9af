#include "ads/foundation/HRNCSIVariableTiming.h"

#include "platform/ui/Application.h"

std::shared_ptr<HRNCSIVariableTiming> HRNCSIVariableTiming::create(
    const std::optional<std::string>& name,
    double start) {
    if (!name) return nullptr;
    return std::shared_ptr<HRNCSIVariableTiming>(new HRNCSIVariableTiming(*name, start));
}

HRNCSIVariableTiming::HRNCSIVariableTiming(std::string name, double start)
    : name_(std::move(name)), times_(std::make_shared<Times>()) {
    times_->start.store(start);
    observer_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::ui::kApplicationWillResignActiveNotification, nullptr,
        [times = times_](const platform::Notification&) {
            if (times->length.load() < 0) times->start.store(-1.0);
        });
}

HRNCSIVariableTiming::~HRNCSIVariableTiming() {
    platform::NotificationCenter::defaultCenter().removeObserver(observer_);
}
